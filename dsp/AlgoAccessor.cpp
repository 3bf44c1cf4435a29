#include "dsp/AlgoAccessor.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#include "dsp/SavedState.h"
#include "dsp/SilenceTest.h"
#include "interfaces/IByteStream.h"

namespace DSP {

AlgoAccessor::AlgoAccessor(double, uint32_t, int32_t parameterCount, const Param::ParameterRecord* table)
    : parameterCount_(table && parameterCount > 0 ? parameterCount : 0),
      records_(new ValueRecord[static_cast<size_t>(parameterCount_)]()),
      table_(table) {
    for (int32_t i = 0; i < parameterCount_; ++i) {
        if (table_[i].flags & Param::ParameterRecord::kBypass) {
            bypassParameterId_ = static_cast<int32_t>(table_[i].id);
            break;
        }
    }
}

AlgoAccessor::~AlgoAccessor() {
    if (algorithm_) algorithm_->terminate();
}

static_assert(std::atomic_ref<double>::is_always_lock_free, "the audio thread must never take a hidden lock");

void AlgoAccessor::storeValue(ValueRecord& record, double value) {
    std::atomic_ref<double>(record.value).store(value, std::memory_order_relaxed);
}

double AlgoAccessor::loadValue(const ValueRecord& record) {
    return std::atomic_ref<double>(const_cast<double&>(record.value)).load(std::memory_order_relaxed);
}

void AlgoAccessor::setValue(int32_t id, double value) {
    if (algorithm_) algorithm_->setValue(id, value);
    int32_t index = 0;
    if (findValueIndex(id, index) == 0) storeValue(records_[static_cast<size_t>(index)], value);
}

void AlgoAccessor::setActive(bool state) {
    if (algorithm_) algorithm_->setActive(state);
}

void AlgoAccessor::setMaxSamplesPerCall(uint32_t samples) {
    if (algorithm_) algorithm_->setMaxSamplesPerCall(samples);
    pushAllValues();
}

int32_t AlgoAccessor::setSampleRate(double rate) { return algorithm_ ? algorithm_->setSampleRate(rate) : 0; }

int32_t AlgoAccessor::setChannels(int32_t inputs, int32_t outputs, int32_t aux) {
    if (inputs != outputs || inputs == 0) return 1;
    if (algorithm_ && algorithm_->setChannels(inputs, outputs, aux) == 1) return 1;
    inputs_ = inputs;
    outputs_ = outputs;
    aux_ = aux;
    pushAllValues();
    return 0;
}

int32_t AlgoAccessor::setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux,
                                                uint64_t arrangement) {
    if (inputs != outputs || inputs == 0) return 1;
    if (algorithm_ && algorithm_->setChannelsAndArrangement(inputs, outputs, aux, arrangement) == 1) return 1;
    inputs_ = inputs;
    outputs_ = outputs;
    aux_ = aux;
    pushAllValues();
    return 0;
}

int32_t AlgoAccessor::setArrangements(uint64_t input, uint64_t output, uint64_t aux) {
    const int32_t in = std::popcount(input), out = std::popcount(output), side = std::popcount(aux);
    int32_t result = algorithm_ ? algorithm_->setArrangements(input, output, aux) : Zel::kNotImplemented;
    // An algorithm that knows only channel counts is given those.
    if (result == Zel::kNotImplemented) return setChannels(in, out, side);
    if (result == 0) {
        inputs_ = in;
        outputs_ = out;
        aux_ = side;
        pushAllValues();
    }
    return result;
}

bool AlgoAccessor::isActive() { return algorithm_ && algorithm_->isActive(); }

void AlgoAccessor::process(float** in, float** out, int32_t count) { processRoutine(in, out, count); }

void AlgoAccessor::processWithAux(float** in, float** out, float** aux, int32_t count) {
    processWithAuxRoutine(in, out, aux, count);
}

void AlgoAccessor::processRoutine(float** in, float** out, int32_t count) {
    if (algorithm_) algorithm_->process(in, out, count);
}

void AlgoAccessor::processWithAuxRoutine(float** in, float** out, float** aux, int32_t count) {
    if (algorithm_) algorithm_->processWithAux(in, out, aux, count);
}

void AlgoAccessor::processSilence(int32_t count) {
    if (algorithm_) algorithm_->processSilence(count);
}

int32_t AlgoAccessor::getLatency() { return algorithm_ ? algorithm_->getLatency() : 0; }
int32_t AlgoAccessor::getLatencyAgain() { return algorithm_ ? algorithm_->getLatencyAgain() : 0; }
int32_t AlgoAccessor::reservedQuery() { return algorithm_ ? algorithm_->reservedQuery() : 0; }

double AlgoAccessor::getValue(int32_t id) {
    int32_t index = 0;
    if (id == bypassParameterId_ && findValueIndex(id, index) == 0) return records_[static_cast<size_t>(index)].value;
    return algorithm_ ? algorithm_->getValue(id) : 0.0;
}

void AlgoAccessor::setParameterTable(const Param::ParameterRecord* table) {
    table_ = table;
    if (algorithm_) {
        algorithm_->initialize();
        algorithm_->reset();
    }
    recordOrder_.clear();
    idToIndex_.clear();
    if (!table_) return;
    for (int32_t i = 0; i < parameterCount_; ++i) {
        const Param::ParameterRecord& parameter = table_[i];
        ValueRecord& record = records_[static_cast<size_t>(i)];
        const char* name = parameter.name[0] != '\0' ? parameter.name : parameter.title;
        std::memset(record.name, 0, sizeof record.name);
        std::memcpy(record.name, name, strnlen(name, sizeof record.name - 1));
        record.id = parameter.id;
        int32_t existing = 0;
        if (findValueIndex(static_cast<int32_t>(parameter.id), existing) != 0)
            idToIndex_.emplace_back(static_cast<int32_t>(parameter.id), i);
        record.value = parameter.defaultValue;
        recordOrder_.push_back(i);
    }
    openRecords_.reserve(recordOrder_.size()); // restoring from memory then allocates nothing
}

void AlgoAccessor::pushAllValues() {
    for (int32_t i = 0; i < parameterCount_; ++i) {
        const ValueRecord& record = records_[static_cast<size_t>(i)];
        setValue(static_cast<int32_t>(record.id), record.value);
    }
}

int32_t AlgoAccessor::findValueIndex(int32_t id, int32_t& index) {
    for (const auto& [mappedId, mappedIndex] : idToIndex_) {
        if (mappedId == id) {
            index = mappedIndex;
            return 0;
        }
    }
    return 1;
}

bool AlgoAccessor::matchRecord(std::vector<int32_t>& open, int32_t id, double value, bool clamp) {
    auto it = std::find_if(open.begin(), open.end(), [&](int32_t i) {
        return records_[static_cast<size_t>(i)].id == static_cast<uint32_t>(id);
    });
    if (it == open.end()) return false;
    if (clamp) {
        const Param::ParameterRecord& parameter = table_[*it];
        value = std::min(value, parameter.maxValue);
        value = std::max(value, parameter.minValue);
    }
    storeValue(records_[static_cast<size_t>(*it)], value);
    open.erase(it);
    return true;
}

int32_t AlgoAccessor::readValues(Zel::IByteStream* stream, int32_t length) {
    if (!stream || !table_ || length < 0) return 1;
    const int32_t count = length / SavedState::kRecordStride;
    if (count > parameterCount_) return 1;
    // The whole state is read before any value changes, so a short stream
    // leaves every value as it was.
    std::vector<ValueRecord> read(static_cast<size_t>(count));
    for (ValueRecord& record : read)
        if (!SavedState::readRecord(stream, record)) return 1;
    std::vector<int32_t> open = recordOrder_;
    for (const ValueRecord& record : read) matchRecord(open, static_cast<int32_t>(record.id), record.value, true);
    pushAllValues();
    return 0;
}

int32_t AlgoAccessor::readValuesFromMemory(const ValueRecord* records, int32_t byteLength) {
    if (!records || !table_ || byteLength < 0) return 1;
    const int32_t count = byteLength / static_cast<int32_t>(sizeof(ValueRecord));
    if (count < 0 || count > parameterCount_) return 1;
    openRecords_.assign(recordOrder_.begin(), recordOrder_.end());
    for (int32_t r = 0; r < count; ++r)
        matchRecord(openRecords_, static_cast<int32_t>(records[r].id), records[r].value, false);
    pushAllValues();
    return 0;
}

int32_t AlgoAccessor::writeValues(Zel::IByteStream* stream) {
    return SavedState::writeRecords(stream, records_.get(), parameterCount_) ? 0 : 1;
}

void AlgoAccessor::checkOutputSilence(float** out, int32_t count, int32_t channelCount) {
    outputSilent_ = looksSilent(out, channelCount, count, silenceThreshold_);
}

} // namespace DSP
