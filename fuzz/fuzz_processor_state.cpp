// The processor's state as a host hands it back from a saved project: any
// bytes. Restored while the processor is idle and again while it is active (the
// audio thread then applies it), the state it writes afterwards must be well
// formed and hold only values inside the parameters' ranges, and blocks
// processed with the restored values must run and report finite readings.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/LittleEndianStream.h"
#include "controller/ParameterTables.h"
#include "host/HostContext.h"
#include "host/HostMessage.h"
#include "host/MemoryStream.h"
#include "host/ParameterChanges.h"
#include "interfaces/IPtr.h"
#include "interfaces/ProcessRecords.h"
#include "processor/VazEzaruZel.h"

namespace {

using namespace Zel;
using NivoloHost::MemoryStream;
using Param::ParameterRecord;

// The set-up the processor starts with, so preparing keeps the meter it built
// at initialize instead of building it a second time for every input.
constexpr int32_t kBlock = 1024;
constexpr double kRate = 44100.0;
constexpr size_t kEntrySize = 140; // 128-byte name, int32 id, float64 value
constexpr int32_t kEntryStride = 144; // what the length word counts per entry

void require(bool condition) {
    if (!condition) __builtin_trap();
}

const ParameterRecord* recordFor(uint32_t id) {
    const ParameterRecord* table = Param::meterParameters();
    for (int32_t i = 0; i < Param::kMeterParameterCount; ++i)
        if (table[i].id == id) return &table[i];
    return nullptr;
}

// The state the processor writes now, checked entry by entry.
std::vector<uint8_t> savedState(VazEzaruZel& processor) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    require(processor.getState(stream.get()) == kResultOk);
    const std::vector<uint8_t>& bytes = stream->bytes();
    require(bytes.size() >= 4 && (bytes.size() - 4) % kEntrySize == 0);
    const auto entries = static_cast<int32_t>((bytes.size() - 4) / kEntrySize);
    LittleEndianReader reader(bytes.data(), bytes.size());
    int32_t length = 0;
    reader.readInt32(length);
    require(length == kEntryStride * entries && entries == Param::kMeterParameterCount);
    for (int32_t e = 0; e < entries; ++e) {
        char name[128];
        int32_t id = 0;
        double value = 0.0;
        reader.readBytes(name, sizeof name);
        reader.readInt32(id);
        reader.readFloat64(value);
        const ParameterRecord* record = recordFor(static_cast<uint32_t>(id));
        require(record != nullptr);
        require(value >= record->minValue && value <= record->maxValue); // also false for NaN
    }
    return bytes;
}

// One block of a quiet tone with the readings asked for; every reading written must be finite.
void processBlock(VazEzaruZel& processor) {
    auto request = IPtr<NivoloHost::HostMessage>::adopt(new NivoloHost::HostMessage);
    request->assignMessageId("PluginDataGet");
    processor.notify(request.get());

    std::vector<float> left(kBlock), right(kBlock), outLeft(kBlock), outRight(kBlock);
    for (int32_t i = 0; i < kBlock; ++i)
        left[static_cast<size_t>(i)] = right[static_cast<size_t>(i)] =
            0.05f * static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * i / kRate));
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    AudioBufferSet inputs{2, 0, in}, outputs{2, 0, out};
    auto inputChanges = IPtr<NivoloHost::ParameterChanges>::adopt(new NivoloHost::ParameterChanges);
    auto outputChanges = IPtr<NivoloHost::ParameterChanges>::adopt(new NivoloHost::ParameterChanges);
    ProcessBlock block{};
    block.processMode = kRealtime;
    block.sampleSizeCode = kSample32;
    block.numSamples = kBlock;
    block.numInputs = 1;
    block.numOutputs = 1;
    block.inputs = &inputs;
    block.outputs = &outputs;
    block.inputChanges = inputChanges.get();
    block.outputChanges = outputChanges.get();
    require(processor.process(block) == kResultOk);

    for (int32_t q = 0; q < outputChanges->getParameterCount(); ++q) {
        IParamQueue* queue = outputChanges->queueAt(q);
        for (int32_t p = 0; queue && p < queue->pointCount(); ++p) {
            int32_t offset = 0;
            double value = 0.0;
            require(queue->readPoint(p, &offset, &value) == kResultOk && std::isfinite(value));
        }
    }
}

// Building the meter takes far longer than restoring a state, so one processor
// serves the whole run, like one plug-in slot whose project is reloaded again
// and again; the table's defaults restored before each input keep every input's
// outcome independent of the ones before it.
struct Slot {
    IPtr<NivoloHost::HostContext> host = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    IPtr<VazEzaruZel> processor = IPtr<VazEzaruZel>::adopt(new VazEzaruZel);
    std::vector<uint8_t> defaults;

    Slot() {
        require(processor->initialize(static_cast<IHostApp*>(host.get())) == kResultOk);
        ProcessSetupInfo setup{kRealtime, kSample32, kBlock, kRate};
        require(processor->prepareProcessing(setup) == kResultOk);
        defaults = savedState(*processor);
    }

    void restore(const std::vector<uint8_t>& bytes, tresult expected) {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
        require(processor->setState(stream.get()) == expected);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Slot* slot = new Slot; // lives as long as the process
    VazEzaruZel& processor = *slot->processor;
    const std::vector<uint8_t> input(data, data + size);

    // Idle: the state takes effect at once.
    slot->restore(slot->defaults, kResultOk);
    slot->restore(input, size >= 4 ? kResultOk : kResultFalse);
    const std::vector<uint8_t> idleState = savedState(processor);

    processor.setActive(1);
    processor.setProcessingState(1);
    processBlock(processor);

    // Active: the next block applies it, with the same outcome as when idle.
    slot->restore(slot->defaults, kResultOk);
    processBlock(processor);
    slot->restore(input, size >= 4 ? kResultOk : kResultFalse);
    processBlock(processor);
    require(savedState(processor) == idleState);

    processor.setProcessingState(0);
    processor.setActive(0);
    return 0;
}
