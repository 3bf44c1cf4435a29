// The controller's parameter model over a table of its own: what the host is
// told about each parameter, and the processor's state applied to the controls.

#include <gtest/gtest.h>

#include <cstring>

#include "ControllerTestSupport.h"
#include "controller/EditController2.h"
#include "controller/ParameterIds.h"
#include "controller/SmallVazEzaruController.h"
#include "editor/HostFramework.h"

namespace ControllerTesting {
namespace {

using Param::ParameterRecord;
using R = ParameterRecord;

ParameterRecord record(uint32_t id, int32_t kind, double min, double max, double step, uint32_t flags = 0) {
    ParameterRecord r{};
    r.id = id;
    std::snprintf(r.name, sizeof r.name, "p%u", id);
    std::snprintf(r.title, sizeof r.title, "Parameter %u", id);
    r.minValue = min;
    r.maxValue = max;
    r.stepSize = step;
    r.kind = kind;
    r.flags = flags;
    std::strcpy(r.format, "%.1f");
    return r;
}

class TableController : public EditController2 {
public:
    explicit TableController(const std::vector<ParameterRecord>& table)
        : EditController2(table.data(), static_cast<int32_t>(table.size()), nullptr, 0, false) {}
};

using Rig = ControllerRig<TableController>;

ParameterInfo describe(IEditController& controller, int32_t index, tresult* result = nullptr) {
    ParameterInfo info;
    std::memset(&info, 0xA5, sizeof info);
    const tresult r = controller.describeParameter(index, info);
    if (result) *result = r;
    return info;
}

// ---- Parameters ----------------------------------------------------------------------

TEST(ControllerParameters, EveryRecordOfThePlugInsTableGetsAControlAndCounts) {
    ControllerRig<SmallVazEzaruController> rig(new SmallVazEzaruController);
    EXPECT_EQ(rig.controller->getParameterCount(), 16);
    for (uint32_t id : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 10u, 11u, 46u, 47u, 48u, 53u, 54u})
        EXPECT_NE(rig.control(static_cast<int32_t>(id)), nullptr) << "id " << id;
}

TEST(ControllerParameters, HiddenRecordIsNeverDescribed) {
    const std::vector<ParameterRecord> table = {record(1, R::kContinuous, 0, 1, 0), record(2, R::kHidden, 0, 1, 1),
                                                record(3, R::kOnOff, 0, 1, 1)};
    Rig rig(new TableController(table));
    tresult result = kResultOk;
    describe(*rig.controller, 1, &result);
    EXPECT_EQ(result, kResultFalse);
    ParameterInfo info;
    EXPECT_EQ(rig.controller->getParameterInfoByTag(2, info), kResultFalse);
    EXPECT_EQ(rig.controller->getParameterInfoByTag(3, info), kResultOk);
    EXPECT_EQ(info.id, 3);
    describe(*rig.controller, 3, &result);
    EXPECT_EQ(result, kResultFalse) << "past the table";
}

TEST(ControllerParameters, StepCountsAndFlagsOfThePlugInsRecords) {
    ControllerRig<SmallVazEzaruController> rig(new SmallVazEzaruController);
    auto byId = [&](uint32_t id) {
        int32_t index = -1;
        EXPECT_EQ(rig.controller->parameters()->getParameterIndex(id, index), kResultOk);
        return describe(*rig.controller, index);
    };
    const ParameterInfo reset = byId(Param::kResetLoudness); // on/off, 0..1 step 1
    EXPECT_EQ(reset.stepCount, 1);
    EXPECT_EQ(reset.flags, 0);
    const ParameterInfo bypass = byId(Param::kBypass);
    EXPECT_EQ(bypass.flags, 0x10001) << "a bypass is automatable";
    const ParameterInfo range = byId(Param::kLoudnessRange); // 0..100, step 0.1, continuous
    EXPECT_EQ(range.stepCount, 0);
    const ParameterInfo momentary = byId(Param::kLoudnessM);
    EXPECT_EQ(utf8(momentary.title), "Momentary");
    EXPECT_EQ(utf8(momentary.shortTitle), "loudnessM");
    EXPECT_DOUBLE_EQ(momentary.defaultNormalizedValue, (0.0 + 80.0) / 128.0); // default 0 over -80..48
}

TEST(ControllerParameters, StepCountFlagsAndListMarkOfOtherKinds) {
    const std::vector<ParameterRecord> table = {
        record(1, R::kInteger, 0, 10, 2, R::kInternal | R::kReadOnly), record(2, R::kList, 0, 3, 1),
        record(3, R::kInteger, 5, 5, 1), record(4, R::kContinuousNoSteps, 0, 10, 1), record(5, R::kInteger, 0, 1, 0)};
    Rig rig(new TableController(table));
    const ParameterInfo integer = describe(*rig.controller, 0);
    EXPECT_EQ(integer.stepCount, 5);
    EXPECT_EQ(integer.flags, 0x2) << "the internal bit never reaches the host";
    const ParameterInfo list = describe(*rig.controller, 1);
    EXPECT_EQ(list.stepCount, 3);
    EXPECT_EQ(list.flags, 0x8);
    EXPECT_EQ(describe(*rig.controller, 2).stepCount, -1) << "no range";
    EXPECT_EQ(describe(*rig.controller, 3).stepCount, 0);
    EXPECT_EQ(describe(*rig.controller, 4).stepCount, 0) << "no step size";
}

TEST(ControllerParameters, TextToValueTakesPlainNumbersOnly) {
    const std::vector<ParameterRecord> table = {record(1, R::kContinuous, -80, 48, 0)};
    Rig rig(new TableController(table));
    double value = -1.0;
    EXPECT_EQ(rig.controller->textToValue(1, u" -16 ", value), kResultOk);
    EXPECT_DOUBLE_EQ(value, 0.5);
    value = -1.0;
    EXPECT_EQ(rig.controller->textToValue(1, u"-16 dB", value), kResultFalse);
    EXPECT_EQ(rig.controller->textToValue(1, u"", value), kResultFalse);
    EXPECT_EQ(value, -1.0) << "a refused text leaves the value alone";
}

TEST(ControllerParameters, SelectRecordsCopiesListedIdsInListOrder) {
    const ParameterRecord source[3] = {record(1, R::kOnOff, 0, 1, 1), record(2, R::kInteger, 0, 9, 1),
                                       record(3, R::kContinuous, 0, 1, 0)};
    ParameterRecord destination[3] = {record(50, R::kInteger, 0, 1, 1), record(51, R::kInteger, 0, 1, 1),
                                      record(52, R::kInteger, 0, 1, 1)};
    const int32_t ids[3] = {3, 9, 1};
    int32_t count = -1;
    EditController2::selectRecords(source, 3, destination, count, ids, 3);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(destination[0].id, 3u);
    EXPECT_EQ(destination[1].id, 1u);
    EXPECT_EQ(destination[1].kind, R::kOnOff);
    EXPECT_EQ(destination[2].id, 52u) << "never visited";
    const int32_t unknown[1] = {9};
    EditController2::selectRecords(source, 3, destination, count, unknown, 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(destination[0].kind, R::kHidden) << "a visited slot without a match stays hidden";
}

// ---- State restore ---------------------------------------------------------------------

constexpr int32_t kFirstId = 100;

// A range of 128 keeps whole values exact through the controls' normalized single-precision values.
std::vector<ParameterRecord> sixteenContinuous() {
    std::vector<ParameterRecord> table;
    for (int32_t i = 0; i < 16; ++i) table.push_back(record(uint32_t(kFirstId + i), R::kContinuous, 0, 128, 0));
    return table;
}

// Writes 16 entries (entry i: value i + 1) behind the byte count; exactly the
// first n of them must arrive.
void expectEntriesRestored(int32_t byteCount, int32_t n) {
    const std::vector<ParameterRecord> table = sixteenContinuous();
    Rig rig(new TableController(table));
    std::vector<StateEntry> entries;
    for (int32_t i = 0; i < 16; ++i) entries.push_back({kFirstId + i, i + 1.0});
    ASSERT_EQ(rig.controller->applyProcessorState(stateStream(byteCount, entries).get()), kResultOk);
    for (int32_t i = 0; i < 16; ++i)
        EXPECT_EQ(rig.control(kFirstId + i)->getRealValue(), i < n ? i + 1.0f : 0.0f)
            << "byte count " << byteCount << ", entry " << i;
}

TEST(ControllerStateRestore, EntriesCountWholeWhether140Or144BytesLong) {
    for (int32_t n = 1; n <= 16; ++n) {
        expectEntriesRestored(140 * n, n);
        expectEntriesRestored(144 * n, n);
    }
}

TEST(ControllerStateRestore, SwitchesAndIntegersRoundTheirValues) {
    const std::vector<ParameterRecord> table = {record(1, R::kOnOff, 0, 1, 1), record(2, R::kInteger, 0, 10, 1),
                                                record(3, R::kOnOff, 0, 1, 1), record(4, R::kInteger, 0, 10, 1)};
    Rig rig(new TableController(table));
    auto state = stateStream(4 * 144, {{1, 0.7}, {2, 2.5}, {3, 0.5}, {4, 2.49}});
    rig.controller->applyProcessorState(state.get());
    EXPECT_EQ(rig.control(1)->getIntValue(), 1);
    EXPECT_EQ(rig.control(2)->getIntValue(), 3);
    EXPECT_EQ(rig.control(3)->getIntValue(), 0) << "a switch turns on only above one half";
    EXPECT_EQ(rig.control(4)->getIntValue(), 2);
}

TEST(ControllerStateRestore, UnknownIdsAreSkippedAndACutStateReadsZeros) {
    const std::vector<ParameterRecord> table = {record(1, R::kContinuous, 0, 128, 0),
                                                record(2, R::kContinuous, 0, 128, 0)};
    Rig rig(new TableController(table));
    rig.control(2)->setRealValue(50.0f, 0);
    // Three entries announced, two written: the third reads as id 0, value 0.
    auto state = stateStream(3 * 144, {{77, 9.0}, {1, 42.0}});
    rig.controller->applyProcessorState(state.get());
    EXPECT_EQ(rig.control(1)->getRealValue(), 42.0f);
    EXPECT_EQ(rig.control(2)->getRealValue(), 50.0f);
}

// Counts the reads that reach the stream.
class CountingStream : public NivoloHost::MemoryStream {
public:
    using MemoryStream::MemoryStream;
    tresult read(void* buffer, int32_t byteCount, int32_t* bytesRead) override {
        ++reads;
        return MemoryStream::read(buffer, byteCount, bytesRead);
    }
    int64_t reads = 0;
};

TEST(ControllerStateRestore, AByteCountBeyondTheStreamStopsReadingAtItsEnd) {
    const std::vector<ParameterRecord> table = {record(0, R::kOnOff, 0, 1, 1), record(5, R::kContinuous, 0, 128, 0)};
    Rig rig(new TableController(table));
    rig.control(0)->setIntValue(1, 0);
    // A damaged count claims a million entries; the stream holds one.
    auto state = IPtr<CountingStream>::adopt(new CountingStream(stateStream(1000000 * 144, {{5, 42.0}})->bytes()));
    ASSERT_EQ(rig.controller->applyProcessorState(state.get()), kResultOk);
    EXPECT_EQ(rig.control(5)->getRealValue(), 42.0f);
    // Nothing past the end is applied: the parameter the state does not hold keeps its value.
    EXPECT_EQ(rig.control(0)->getIntValue(), 1);
    // The byte count, the entry, the first read past the end.
    EXPECT_LE(state->reads, 1 + 1 + 1);
}

TEST(ControllerStateRestore, WithoutFrameworkNothingIsReadAndTheAnswerIsOk) {
    const std::vector<ParameterRecord> table = sixteenContinuous();
    Rig rig(new TableController(table), Rig::Framework::Without);
    auto state = stateStream(144, {{kFirstId, 1.0}});
    EXPECT_EQ(rig.controller->applyProcessorState(state.get()), kResultOk);
    int64_t position = -1;
    state->tell(&position);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(rig.controller->getParameterCount(), 0);
}

// ---- Shared framework ------------------------------------------------------------------

TEST(ControllerFramework, ControllersShareTheFrameworkUntilTheLastTerminates) {
    {
        const std::vector<ParameterRecord> table = sixteenContinuous();
        Rig first(new TableController(table));
        {
            Rig second(new TableController(table));
            EXPECT_EQ(HostFramework::controllerUsers(), 2);
            EXPECT_EQ(HostFramework::frameworkUsers(), 1);
        }
        EXPECT_EQ(HostFramework::controllerUsers(), 1);
        EXPECT_NE(HostFramework::root(), nullptr);
    }
    EXPECT_EQ(HostFramework::controllerUsers(), 0);
    EXPECT_EQ(HostFramework::root(), nullptr);
}

} // namespace
} // namespace ControllerTesting
