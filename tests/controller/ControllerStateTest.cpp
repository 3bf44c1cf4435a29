// The processor's state restored into the controller, whatever its byte count
// or length; the controller's interfaces; the level-meter layer.

#include "tests/hostview/HostViewTestSupport.h"

#include "controller/EditController2Vu.h"
#include "controller/ParameterTables.h"
#include "editor/LinearVuMeterPhData.h"
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
    // A damaged count claims a million entries; the stream holds one. Nothing past its end is applied.
    rig.controller->applyProcessorState(stateStream(kState).get());
    ASSERT_EQ(rig.controller->applyProcessorState(stateStream({{kLoudnessRange, 3.0}}, 1000000 * 144).get()), kResultOk);
    for (auto [id, value] : kState) {
        if (id == kLoudnessRange) value = 3.0;
        EXPECT_NEAR(rig.controller->normalizedValueOf(int32_t(id)), rig.normalized(id, value), 1e-6) << id;
    }
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
    EXPECT_TRUE(rig.controller->luMode()) << "the unit follows the restored record";
    EXPECT_EQ(rig.control("about")->getIntValue(), 0);
    EXPECT_EQ(rig.controller->momentaryMeter()->maximum(0), 0.0f) << "the restored reset clears the maxima";
    EXPECT_TRUE(rig.handler->edits().empty()) << "a restored value is not the user's edit";
}

// Each interface asked for is answered by the controller itself with a reference
// for the caller; every other is refused with a null answer.
TEST(ControllerObjects, TheControllerAnswersItsInterfacesWithItselfAndAReferenceEachAndRefusesOthers) {
    MeterRig rig;
    FUnknown* controller = rig.controller->unknownCast();
    auto references = [&] { return controller->AddRef(), controller->Release(); };
    const uint32_t before = references();
    for (const TUID* iid : {&FUnknown_iid, &IEditController_iid, &IEditController2_iid, &IPlugController_iid,
                            &IPlugController4_iid, &IViewBuilder_iid, &IIdleHandler_iid, &IValueStringRepresentation_iid,
                            &IConnectionPoint_iid, &IPluginBase_iid}) {
        void* out = nullptr;
        ASSERT_EQ(controller->QueryInterface(*iid, &out), kResultOk) << tuidToRegistry(*iid);
        EXPECT_EQ(identityOf(static_cast<FUnknown*>(out)), controller) << tuidToRegistry(*iid);
        EXPECT_EQ(references(), before + 1) << tuidToRegistry(*iid);
        controller->Release();
    }
    const TUID unrelated = tuidFromRegistry("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    for (const TUID* iid : {&IAudioProcessor_iid, &unrelated}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(controller->QueryInterface(*iid, &out), kNoInterface) << tuidToRegistry(*iid);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(references(), before);
    IPtr<IUnitInfo> units = queryInterface<IUnitInfo>(controller);
    ASSERT_TRUE(units);
    EXPECT_EQ(units->unitCount(), 2);
    // The parameter table it hands out answers with a reference too, or the caller's release destroys it.
    auto* table = new ParameterInfoAccessor(meterParameters(), kMeterParameterCount);
    void* out = nullptr;
    ASSERT_EQ(table->QueryInterface(IParameterInfoContainer::iid, &out), kResultOk);
    EXPECT_EQ(out, static_cast<IParameterInfoContainer*>(table));
    EXPECT_EQ(table->Release(), 1u);
    table->Release();
}

// The level-meter layer as a plug-in with two input meters and one output meter sets it up.
class LevelController : public EditController2Vu {
public:
    LevelController() : EditController2Vu(nullptr, 0, nullptr, 0, nullptr, 0) { setMeterRanges(20, 2, 22, 30, 1, 31); }
};

TEST(LevelMeters, LevelsArrivingBeforeInitializeAreTakenAndShownInDecibels) {
    auto vu = IPtr<LevelController>::adopt(new LevelController);
    for (int32_t id : {21, 30, 22}) EXPECT_EQ(vu->setNormalizedValue(id, 0.5), kResultOk) << id;
    EXPECT_EQ(vu->inputMeterData(), nullptr) << "the meter data comes with initialize";
    for (const auto& [value, text] : {std::pair{0.0, "-\u221E"}, {1e-10, "-\u221E"}, {1.0, "0.0"}}) {
        String128 wide;
        vu->valueToText(20, value, wide);
        char out[64];
        utf16ToUtf8(wide, 128, out, sizeof out);
        EXPECT_STREQ(out, text) << value;
    }
}

} // namespace
} // namespace HostViewTest
