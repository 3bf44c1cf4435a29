// The processor's state restored into the controller, whatever its byte count
// or length; the interfaces of the controller's objects; the unit table; the
// level-meter layer's values and messages.

#include "tests/hostview/HostViewTestSupport.h"

#include "controller/CUnitInfo.h"
#include "controller/EditController2Vu.h"
#include "controller/ParameterTables.h"
#include "editor/LinearVuMeterPhData.h"
#include "host/HostMessage.h"
#include "interfaces/IAudioProcessor.h"
#include "interfaces/IUnitInfo.h"

namespace HostViewTest {
namespace {

using namespace Param;

// Every record with a control except the time text, each away from its default of 0.
const std::vector<std::pair<uint32_t, double>> kState = {
    {kBypass, 1},         {kLoudnessM, -20},     {kLoudnessS, -21},       {kLoudnessI, -22},  {kResetLoudness, 1},
    {kResetLoudnessMMax, 1}, {kResetTruePeak, 1}, {kLoudnessMMax, -10},  {kLoudnessSTMax, -11}, {kLoudnessRange, 7},
    {kTruePeak, -3},      {kTruePeakOver, 1},    {kLoudnessIOver, 1},     {kScaleModeLoudness, 1}, {kAbout, 1}};

// The first n entries of kState arrived, the others kept their defaults.
void expectRestored(MeterRig& rig, size_t n, const std::string& what) {
    for (size_t i = 0; i < kState.size(); ++i) {
        const auto [id, value] = kState[i];
        EXPECT_NEAR(rig.controller->normalizedValueOf(int32_t(id)), rig.normalized(id, i < n ? value : 0.0), 1e-6)
            << what << ", entry " << i;
    }
}

// The same entries at their defaults.
IPtr<NivoloHost::MemoryStream> defaults() {
    std::vector<std::pair<uint32_t, double>> entries = kState;
    for (auto& entry : entries) entry.second = 0.0;
    return stateStream(entries);
}

TEST(ControllerStateRestore, ExactlyTheEntriesTheByteCountNamesArriveWhether140Or144BytesEach) {
    MeterRig rig;
    for (int32_t n = 0; n <= int32_t(kState.size()); ++n)
        for (int32_t stride : {140, 144}) {
            rig.controller->applyProcessorState(defaults().get());
            ASSERT_EQ(rig.controller->applyProcessorState(stateStream(kState, stride * n).get()), kResultOk);
            expectRestored(rig, size_t(n), "byte count " + std::to_string(stride * n));
        }
    // A damaged count claims a million entries; the stream holds one.
    rig.controller->applyProcessorState(defaults().get());
    ASSERT_EQ(rig.controller->applyProcessorState(stateStream({kState[0]}, 1000000 * 144).get()), kResultOk);
    expectRestored(rig, 1, "a count past the stream");
}

TEST(ControllerStateRestore, ACutStreamRestoresItsWholeEntriesAndNothingElse) {
    MeterRig rig;
    const std::vector<uint8_t> whole = stateStream(kState)->bytes();
    for (size_t length = 0; length <= whole.size(); ++length) {
        rig.controller->applyProcessorState(defaults().get());
        auto cut = IPtr<NivoloHost::MemoryStream>::adopt(
            new NivoloHost::MemoryStream(std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(length))));
        ASSERT_EQ(rig.controller->applyProcessorState(cut.get()), kResultOk);
        const size_t entries = length < 4 ? 0 : (length - 4) / DSP::SavedState::kRecordSize;
        expectRestored(rig, entries, "length " + std::to_string(length));
        if (HasFailure()) return;
    }
}

TEST(ControllerStateRestore, ValuesAreRoundedUnknownIdsSkippedAndNothingIsSentToTheHost) {
    MeterRig rig;
    rig.reading(kLoudnessM, -23.0);
    ASSERT_GT(rig.controller->momentaryMeter()->maximum(0), 0.0f);
    auto state = stateStream({{77, 9.0}, {kResetTruePeak, 0.5}, {kResetLoudnessMMax, 0.7}, {kScaleModeLoudness, 0.5},
                              {kAbout, 0.49}, {kResetLoudness, 1.0}});
    ASSERT_EQ(rig.controller->applyProcessorState(state.get()), kResultOk);
    EXPECT_EQ(rig.control("resetTruePeak")->getIntValue(), 0) << "a switch turns on only above one half";
    EXPECT_EQ(rig.control("resetLoudnessMMax")->getIntValue(), 1);
    EXPECT_EQ(rig.control("scaleModeLoudness")->getIntValue(), 1) << "integers round";
    EXPECT_EQ(rig.control("about")->getIntValue(), 0);
    EXPECT_EQ(rig.controller->momentaryMeter()->maximum(0), 0.0f) << "the restored reset clears the maxima";
    EXPECT_TRUE(rig.handler->edits().empty()) << "a restored value is not the user's edit";
    EXPECT_FALSE(rig.controller->isLoading());
}

TEST(ControllerStateRestore, WithoutAFrameworkNothingIsReadAndTheAnswerIsOk) {
    MeterRig bare(false);
    auto untouched = stateStream(kState);
    EXPECT_EQ(bare.controller->applyProcessorState(untouched.get()), kResultOk);
    int64_t position = -1;
    untouched->tell(&position);
    EXPECT_EQ(position, 0) << "without a framework nothing is read";
}

// ---- interfaces -------------------------------------------------------------------------

// Each interface asked for is answered by the object itself (same() tells) with a
// reference for the caller; every other is refused with a null answer.
template <class T, class Same>
void expectInterfaces(T* object, Same same, std::vector<const TUID*> answered, std::vector<const TUID*> refused) {
    auto references = [&] { return object->AddRef(), object->Release(); };
    const uint32_t before = references();
    for (const TUID* iid : answered) {
        void* out = nullptr;
        ASSERT_EQ(object->QueryInterface(*iid, &out), kResultOk) << tuidToRegistry(*iid);
        EXPECT_TRUE(same(out)) << tuidToRegistry(*iid);
        EXPECT_EQ(references(), before + 1) << tuidToRegistry(*iid);
        object->Release();
    }
    for (const TUID* iid : refused) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(object->QueryInterface(*iid, &out), kNoInterface) << tuidToRegistry(*iid);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(references(), before);
}

TEST(ControllerObjects, AnswerTheirInterfacesWithThemselvesAndAReferenceEachAndRefuseOthers) {
    MeterRig rig;
    const TUID unrelated = tuidFromRegistry("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    FUnknown* controller = rig.controller->unknownCast();
    expectInterfaces(
        controller, [&](void* out) { return identityOf(static_cast<FUnknown*>(out)) == controller; },
        {&FUnknown_iid, &IEditController_iid, &IEditController2_iid, &IPlugController_iid, &IPlugController4_iid,
         &IViewBuilder_iid, &IIdleHandler_iid, &IValueStringRepresentation_iid, &IConnectionPoint_iid, &IPluginBase_iid},
        {&IAudioProcessor_iid, &unrelated});
    auto units = IPtr<CUnitInfo>::adopt(new CUnitInfo(unitRecords(), kUnitCount));
    expectInterfaces(
        units.get(), [&](void* out) { return out == static_cast<IUnitInfo*>(units.get()); },
        {&IUnitInfo_iid, &FUnknown_iid}, {&IParameterInfoContainer::iid, &unrelated});
    auto* accessor = new ParameterInfoAccessor(meterParameters(), kMeterParameterCount);
    expectInterfaces(
        accessor, [&](void* out) { return out == static_cast<IParameterInfoContainer*>(accessor); },
        {&IParameterInfoContainer::iid, &FUnknown_iid}, {&IUnitInfo_iid, &unrelated});
    accessor->Release();
    IPtr<IUnitInfo> controllerUnits = queryInterface<IUnitInfo>(controller);
    ASSERT_TRUE(controllerUnits);
    EXPECT_EQ(controllerUnits->unitCount(), 2);
}

TEST(ControllerObjects, UnitsAreDescribedWithTheirNamesWidenedAndCut) {
    struct {
        UnitRecord unit;
        char after[16]; // a reader running past the name reads these
    } block;
    std::memset(&block, 'x', sizeof block);
    block.unit = UnitRecord{3, 0, {}, -1};
    for (size_t i = 0; i < sizeof block.unit.name; ++i) block.unit.name[i] = char('a' + i % 26);
    block.unit.name[1] = char(0xE9); // Latin-1: widened without sign extension
    struct Case {
        CUnitInfo info;
        int32_t index, id, parent;
        std::u16string name;
    } cases[] = {{{unitRecords(), kUnitCount}, 0, 0, -1, u"Global"},
                 {{unitRecords(), kUnitCount}, 1, 1, 0, u"Meter"},
                 {{&block.unit, 1}, 0, 3, 0, u""}};
    for (Case& c : cases) {
        UnitInfo out;
        std::memset(&out, 0xA5, sizeof out);
        ASSERT_EQ(c.info.describeUnit(c.index, out), kResultOk);
        EXPECT_EQ(out.id, c.id);
        EXPECT_EQ(out.parentUnitId, c.parent);
        EXPECT_EQ(out.programListId, -1);
        const std::u16string name(out.name);
        if (!c.name.empty()) {
            EXPECT_EQ(name, c.name);
        } else { // unterminated: cut at 127 units
            ASSERT_EQ(name.size(), 127u);
            EXPECT_EQ(name[1], char16_t{0xE9});
            EXPECT_EQ(name[126], char16_t('a' + 126 % 26));
        }
    }
    UnitInfo out;
    EXPECT_EQ(CUnitInfo(nullptr, 2).describeUnit(0, out), kResultFalse);
}

// ---- the level-meter layer ----------------------------------------------------------------

constexpr int32_t kIn0 = 20, kIn1 = 21, kInPeak = 22, kOut0 = 30, kOutPeak = 31;

ParameterRecord levelRecord(uint32_t id) {
    ParameterRecord r{};
    r.id = id;
    r.maxValue = 1.0;
    r.kind = ParameterRecord::kContinuous;
    std::strcpy(r.format, "%.1f");
    return r;
}
const ParameterRecord kLevelTable[3] = {levelRecord(kIn0), levelRecord(kIn1), levelRecord(kOut0)};

// The layer as a plug-in with two input meters and one output meter uses it.
class LevelController : public EditController2Vu {
public:
    LevelController() : EditController2Vu(kLevelTable, 3, nullptr, 0, nullptr, 0) {
        setMeterRanges(kIn0, 2, kInPeak, kOut0, 1, kOutPeak);
    }
};

TEST(LevelMeters, ShowDecibelsAndTheAnnouncedChannelsOnTheTickAndAskForTheirSidesReset) {
    MeterRig host; // lends its framework, already acquired
    auto vu = IPtr<LevelController>::adopt(new LevelController);
    EXPECT_EQ(vu->setNormalizedValue(kIn1, 0.5), kResultOk) << "levels may come before initialize";
    vu->initialize(static_cast<IHostApp*>(host.context.get()));
    vu->connect(host.peer.get());
    auto text = [&](int32_t id, double v) {
        String128 wide;
        vu->valueToText(id, v, wide);
        char out[64];
        utf16ToUtf8(wide, 128, out, sizeof out);
        return std::string(out);
    };
    EXPECT_EQ(text(kIn0, 0.0), "-\u221E");
    EXPECT_EQ(text(kIn0, 1e-10), "-\u221E");
    EXPECT_EQ(text(kIn0, 1.0), "0.0");
    EXPECT_EQ(text(kOut0, 0.5), "-6.0");

    auto send = [&](const char* id, const char* key, int64_t value) {
        auto message = IPtr<NivoloHost::HostMessage>::adopt(new NivoloHost::HostMessage);
        message->assignMessageId(id);
        message->attributeSet()->setInt(key, value);
        vu->notify(message.get());
    };
    auto level = [&](int32_t id) {
        float value = -1.0f;
        vu->inputMeterData()->getValue(id, value);
        return value;
    };
    send(MeterMessages::kChannels, MeterMessages::kChannelsIn, 1);
    send(MeterMessages::kMetersProcessing, MeterMessages::kMetersProcessing, 1);
    vu->setNormalizedValue(kIn0, 1.0);
    vu->setNormalizedValue(kIn1, 1.0);
    EXPECT_EQ(level(kIn0), 0.0f) << "nothing before the tick";
    host.framework->tick();
    EXPECT_GT(level(kIn0), 0.9f);
    EXPECT_EQ(level(kIn1), 0.0f) << "one input channel announced";
    // Stopped meters feed silence: a quarter second later the level has fallen.
    send(MeterMessages::kMetersProcessing, MeterMessages::kMetersProcessing, 0);
    host.framework->clock().setAudioClockSeconds(10.25);
    host.framework->tick();
    EXPECT_LT(level(kIn0), 0.9f);

    host.peer->received.clear();
    vu->inputMeterData()->notifyOwner(DataObject2::kMsgPeakReset);
    vu->outputMeterData()->notifyOwner(DataObject2::kMsgPeakReset);
    EXPECT_EQ(host.peer->received, (std::vector<std::string>{"resetMaxLevelIn", "resetMaxLevelOut"}));
    vu->terminate();
}

} // namespace
} // namespace HostViewTest
