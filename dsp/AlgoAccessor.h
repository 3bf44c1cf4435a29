#pragma once
// Owns one algorithm and stands between it and the processor: forwards its
// operations, keeps the current value of every parameter, saves and restores
// them as the component state, and tells whether the last output was silent.

#include <memory>
#include <vector>

#include "dsp/IAlgo.h"
#include "dsp/IAlgoAccessor.h"

namespace DSP {

class AlgoAccessor : public IAlgoAccessor<double> {
public:
    static constexpr float kSilenceThreshold = 1e-6f;

    // sampleRate and maxSamplesPerCall are accepted for the record and not kept:
    // the owner configures the algorithm afterwards.
    AlgoAccessor(double sampleRate, uint32_t maxSamplesPerCall, int32_t parameterCount,
                 const Param::ParameterRecord* table);
    // Terminates and destroys the algorithm.
    ~AlgoAccessor() override;

    // Takes ownership; the owner then calls setParameterTable.
    void attachAlgorithm(IAlgo<double>* algorithm) { algorithm_.reset(algorithm); }
    IAlgo<double>* algorithm() const { return algorithm_.get(); }

    void setValue(int32_t id, double value) override;
    void setActive(bool state) override;
    void setMaxSamplesPerCall(uint32_t samples) override;
    int32_t setSampleRate(double rate) override;
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override;
    int32_t setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux, uint64_t arrangement) override;
    int32_t setArrangements(uint64_t input, uint64_t output, uint64_t aux) override;
    bool isActive() override;
    void processWithAux(float** in, float** out, float** aux, int32_t count) override;
    void process(float** in, float** out, int32_t count) override;
    void processSilence(int32_t count) override;
    int32_t getLatency() override;
    double getValue(int32_t id) override;
    int32_t reservedQuery() override;

    int32_t readValues(Zel::IByteStream* stream, int32_t length) override;
    int32_t readValuesFromMemory(const ValueRecord* records, int32_t byteLength) override;
    int32_t writeValues(Zel::IByteStream* stream) override;
    const ValueRecord* getValueRecords() override { return records_.get(); }
    int32_t getParameterCount() override { return parameterCount_; }
    void reserved20() override {}
    void reserved21() override {}
    void reserved23() override {}
    void reserved24() override {}
    int32_t getLatencyAgain() override;
    void reserved26() override {}
    void reserved27() override {}
    void setParameterTable(const Param::ParameterRecord* table) override;
    bool isOutputSilent() override { return outputSilent_; }
    int32_t reservedQuery30() override { return -1; }
    void processRoutine(float** in, float** out, int32_t count) override;
    void reserved32() override {}
    void processWithAuxRoutine(float** in, float** out, float** aux, int32_t count) override;
    void pushAllValues() override;
    int32_t findValueIndex(int32_t id, int32_t& index) override;
    void checkOutputSilence(float** out, int32_t count, int32_t channelCount) override;

    // A record's value as another thread may read it while this one writes it:
    // whole, never torn (the processor saves the state from the user-interface
    // thread while the audio thread applies parameter changes).
    static void storeValue(ValueRecord& record, double value);
    static double loadValue(const ValueRecord& record);

    int32_t bypassParameterId() const { return bypassParameterId_; }
    int32_t inputChannels() const { return inputs_; }
    int32_t outputChannels() const { return outputs_; }
    int32_t auxChannels() const { return aux_; }

protected:
    static constexpr int32_t kNoBypass = -1;

    int32_t bypassParameterId_ = kNoBypass;
    int32_t parameterCount_;
    int32_t inputs_ = 0;
    int32_t outputs_ = 0;
    int32_t aux_ = 0;
    float silenceThreshold_ = kSilenceThreshold;
    std::unique_ptr<ValueRecord[]> records_;
    std::vector<int32_t> recordOrder_;                  // record indices, table order
    std::vector<int32_t> openRecords_;                  // matching scratch, sized with the table
    std::vector<std::pair<int32_t, int32_t>> idToIndex_; // first record of each id
    std::unique_ptr<IAlgo<double>> algorithm_;
    const Param::ParameterRecord* table_;
    bool outputSilent_ = true;

private:
    // Stores value in the record of id (if any) among the indices still open,
    // and closes that index.
    bool matchRecord(std::vector<int32_t>& open, int32_t id, double value, bool clamp);
};

} // namespace DSP
