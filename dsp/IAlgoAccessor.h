#pragma once
// The processor's handle on its algorithm: the algorithm's operations, plus
// the parameter values, the saved state and the output-silence test.

#include "controller/ParameterRecord.h"
#include "dsp/IAlgoOperations.h"
#include "dsp/ValueRecord.h"

namespace Zel {
class IByteStream;
}

namespace DSP {

template <typename T>
class IAlgoAccessor : public IAlgoOperations<T> {
public:
    // [ui thread] The saved records after the length word; length is that word.
    virtual int32_t readValues(Zel::IByteStream* stream, int32_t length) = 0;
    virtual int32_t readValuesFromMemory(const ValueRecord* records, int32_t byteLength) = 0;
    virtual int32_t writeValues(Zel::IByteStream* stream) = 0;
    // Owned by the accessor.
    virtual const ValueRecord* getValueRecords() = 0;
    virtual int32_t getParameterCount() = 0;
    virtual void reserved20() = 0;
    virtual void reserved21() = 0;
    virtual ~IAlgoAccessor() = default;
    virtual void reserved23() = 0;
    virtual void reserved24() = 0;
    virtual int32_t getLatencyAgain() = 0;
    virtual void reserved26() = 0;
    virtual void reserved27() = 0;
    // [ui thread] Initialises and resets the algorithm and fills the records with the defaults.
    virtual void setParameterTable(const Param::ParameterRecord* table) = 0;
    virtual bool isOutputSilent() = 0;
    virtual int32_t reservedQuery30() = 0;
    // [audio thread] What process and processWithAux run.
    virtual void processRoutine(float** in, float** out, int32_t count) = 0;
    virtual void reserved32() = 0;
    virtual void processWithAuxRoutine(float** in, float** out, float** aux, int32_t count) = 0;
    // Hands every stored value to the algorithm again.
    virtual void pushAllValues() = 0;
    // 0 and the record index of id; 1 when id has no record.
    virtual int32_t findValueIndex(int32_t id, int32_t& index) = 0;
    virtual void checkOutputSilence(float** out, int32_t count, int32_t channelCount) = 0;
};

} // namespace DSP
