#pragma once
// Shared pieces of the accessor tests: an algorithm that records every call
// made to it, sample blocks, small parameter tables and state-stream helpers.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/LittleEndianStream.h"
#include "controller/ParameterTables.h"
#include "dsp/Algo.h"
#include "dsp/AlgoAccessor.h"
#include "host/MemoryStream.h"
#include "interfaces/ResultCodes.h"

namespace DSP::testing {

// Ids of the twelve meter parameters, in table order.
inline const std::vector<int32_t> kMeterIds = {1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0};

// Everything the algorithm saw. Lives outside the algorithm because the
// accessor destroys the algorithm it owns.
struct AlgoLog {
    std::vector<std::string> events; // every call but setValue and getValue, with its arguments, in order
    std::vector<std::pair<int32_t, double>> setValues;
    std::vector<int32_t> getValues;
};

class RecordingAlgo : public Algo<double> {
public:
    explicit RecordingAlgo(AlgoLog& log) : log_(log) {}
    ~RecordingAlgo() override { note("destroy"); }

    void setValue(int32_t id, double value) override { log_.setValues.emplace_back(id, value); }
    void setMaxSamplesPerCall(uint32_t samples) override {
        Algo<double>::setMaxSamplesPerCall(samples);
        note("maxSamples", {samples});
    }
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override {
        note("setChannels", {inputs, outputs, aux});
        if (channelsResult == 0) channels = outputs;
        return channelsResult;
    }
    int32_t setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux, uint64_t arrangement) override {
        note("setChannelsAndArrangement", {inputs, outputs, aux, static_cast<int64_t>(arrangement)});
        if (channelsResult == 0) channels = outputs;
        return channelsResult;
    }
    int32_t setArrangements(uint64_t input, uint64_t output, uint64_t aux) override {
        note("setArrangements",
             {static_cast<int64_t>(input), static_cast<int64_t>(output), static_cast<int64_t>(aux)});
        if (!implementsArrangements) return Algo<double>::setArrangements(input, output, aux);
        return arrangementsResult;
    }
    double getValue(int32_t id) override {
        log_.getValues.push_back(id);
        return id * 10.0 + 0.5; // distinct from anything the accessor stores
    }
    int32_t initialize() override {
        note("initialize");
        return 0;
    }
    int32_t terminate() override {
        note("terminate");
        return 0;
    }
    void reset() override { note("reset"); }
    void process(float** in, float** out, int32_t count) override {
        note("process");
        render(in, out, count);
    }
    void processWithAux(float** in, float** out, float**, int32_t count) override {
        note("processWithAux");
        render(in, out, count);
    }

    int32_t channelsResult = 0;
    bool implementsArrangements = false;
    int32_t arrangementsResult = 0;
    int32_t channels = 0;
    // Replaces the default in-to-out copy when set.
    std::function<void(float** in, float** out, int32_t count)> writer;

private:
    void note(std::string event, std::initializer_list<int64_t> arguments = {}) {
        for (int64_t a : arguments) event += " " + std::to_string(a);
        log_.events.push_back(event);
    }
    void render(float** in, float** out, int32_t count) {
        if (writer) {
            writer(in, out, count);
            return;
        }
        for (int32_t c = 0; c < channels; ++c)
            if (count > 0 && in[c] != out[c]) std::memcpy(out[c], in[c], sizeof(float) * static_cast<size_t>(count));
    }
    AlgoLog& log_;
};

// An accessor over table with a recording algorithm attached and the table
// bound, the way the meter's owner builds it.
template <typename Accessor = AlgoAccessor>
std::unique_ptr<Accessor> makeAccessor(AlgoLog& log, RecordingAlgo*& algo,
                                       const Param::ParameterRecord* table = Param::meterParameters(),
                                       int32_t count = Param::kMeterParameterCount) {
    auto accessor = std::make_unique<Accessor>(48000.0, 1024u, count, table);
    algo = new RecordingAlgo(log);
    accessor->attachAlgorithm(algo);
    accessor->setParameterTable(table);
    return accessor;
}

inline std::vector<double> storedValues(IAlgoAccessor<double>& accessor) {
    std::vector<double> values;
    for (int32_t i = 0; i < accessor.getParameterCount(); ++i) values.push_back(accessor.getValueRecords()[i].value);
    return values;
}

inline Param::ParameterRecord makeParameter(uint32_t id, const char* name, const char* title, double min, double max,
                                            double def, uint32_t flags = 0) {
    Param::ParameterRecord r{};
    r.id = id;
    std::strncpy(r.name, name, sizeof r.name - 1);
    std::strncpy(r.title, title, sizeof r.title - 1);
    r.minValue = min;
    r.maxValue = max;
    r.defaultValue = def;
    r.flags = flags;
    return r;
}

// Channel buffers of one block, zero-filled.
class Block {
public:
    Block(int32_t channels, int32_t count)
        : data_(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(count), 0.0f)) {
        for (auto& channel : data_) pointers_.push_back(channel.data());
    }
    float** get() { return pointers_.data(); }
    float& at(int32_t channel, int32_t i) { return data_[static_cast<size_t>(channel)][static_cast<size_t>(i)]; }
    void fill(float value) {
        for (auto& channel : data_) std::fill(channel.begin(), channel.end(), value);
    }

private:
    std::vector<std::vector<float>> data_;
    std::vector<float*> pointers_;
};

// One record as saved, built independently of the accessor.
struct SavedRecord {
    std::string name;
    int32_t id;
    double value;
};

inline std::vector<uint8_t> savedRecords(const std::vector<SavedRecord>& records) {
    std::vector<uint8_t> bytes;
    Zel::LittleEndianWriter writer(bytes);
    for (const auto& r : records) {
        writer.writeFixedString(r.name.c_str(), 128);
        writer.writeInt32(r.id);
        writer.writeFloat64(r.value);
    }
    return bytes;
}

// A whole component state: the processor's length word, then the records.
inline std::vector<uint8_t> savedState(const std::vector<SavedRecord>& records, int32_t lengthWord) {
    std::vector<uint8_t> bytes;
    Zel::LittleEndianWriter writer(bytes);
    writer.writeInt32(lengthWord);
    auto body = savedRecords(records);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

inline std::vector<uint8_t> savedState(const std::vector<SavedRecord>& records) {
    return savedState(records, static_cast<int32_t>(records.size() * sizeof(ValueRecord)));
}

// Reads the length word the way the processor does and hands the rest to the accessor.
inline int32_t restore(IAlgoAccessor<double>& accessor, Zel::IByteStream& stream) {
    uint8_t word[4] = {};
    int32_t got = 0;
    EXPECT_EQ(stream.read(word, 4, &got), Zel::kResultOk);
    EXPECT_EQ(got, 4);
    int32_t length = 0;
    Zel::LittleEndianReader(word, 4).readInt32(length);
    return accessor.readValues(&stream, length);
}

} // namespace DSP::testing
