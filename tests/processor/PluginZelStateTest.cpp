// The processor's state read from bytes a host hands back: values that are no
// number at all must not survive into the parameters.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "TestProcessor.h"
#include "base/LittleEndianStream.h"
#include "controller/ParameterIds.h"
#include "controller/ParameterTables.h"
#include "host/MemoryStream.h"
#include "processor/VazEzaruZel.h"

namespace ProcessorTesting {
namespace {

using NivoloHost::MemoryStream;

struct Entry {
    uint32_t id;
    double value;
};

// A state as the processor writes it: the length word, then 140-byte entries.
IPtr<MemoryStream> state(const std::vector<Entry>& entries) {
    std::vector<uint8_t> bytes;
    LittleEndianWriter writer(bytes);
    writer.writeInt32(static_cast<int32_t>(entries.size()) * 144);
    for (const Entry& e : entries) {
        writer.writeFixedString("entry", 128);
        writer.writeInt32(static_cast<int32_t>(e.id));
        writer.writeFloat64(e.value);
    }
    return IPtr<MemoryStream>::adopt(new MemoryStream(std::move(bytes)));
}

std::map<uint32_t, double> savedValues(VazEzaruZel& processor) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    EXPECT_EQ(processor.getState(stream.get()), kResultOk);
    std::map<uint32_t, double> values;
    const std::vector<uint8_t>& bytes = stream->bytes();
    for (size_t at = 4; at + 140 <= bytes.size(); at += 140) {
        uint32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, bytes.data() + at + 128, 4);
        std::memcpy(&value, bytes.data() + at + 132, 8);
        values[id] = value;
    }
    return values;
}

double minimumOf(uint32_t id) {
    for (int32_t i = 0; i < Param::kMeterParameterCount; ++i)
        if (Param::meterParameters()[i].id == id) return Param::meterParameters()[i].minValue;
    ADD_FAILURE() << "no parameter " << id;
    return 0.0;
}

TEST(ProcessorStateRead, ValuesThatAreNoNumberTakeTheBottomOfTheirRange) {
    auto host = makeHost();
    auto processor = IPtr<VazEzaruZel>::adopt(new VazEzaruZel);
    ASSERT_EQ(processor->initialize(static_cast<IHostApp*>(host.get())), kResultOk);
    // Bypassed and in LU first, so that the damaged state has something to undo.
    ASSERT_EQ(processor->setState(state({{Param::kBypass, 1.0}, {Param::kScaleModeLoudness, 1.0}}).get()), kResultOk);
    ASSERT_EQ(processor->loudnessOffset(), VazEzaruZel::kLuOffset);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<uint32_t> ids = {Param::kBypass, Param::kScaleModeLoudness, Param::kLoudnessRange,
                                       Param::kTruePeak};
    std::vector<Entry> damaged;
    for (uint32_t id : ids) damaged.push_back({id, nan});
    ASSERT_EQ(processor->setState(state(damaged).get()), kResultOk);

    const auto values = savedValues(*processor);
    for (uint32_t id : ids) EXPECT_EQ(values.at(id), minimumOf(id)) << "parameter " << id;
    EXPECT_EQ(processor->loudnessOffset(), 0.0f) << "the unit switch follows its restored value";
    processor->terminate();
}

} // namespace
} // namespace ProcessorTesting
