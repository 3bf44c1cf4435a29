#pragma once
// One meter processor as a host drives it: initialised with the host's
// context, connected to a peer that keeps what the processor tells it, set up
// and active at 48 kHz, fed blocks with the host's parameter lists; its state
// written and read with the product's own codec.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "controller/ParameterIds.h"
#include "controller/ParameterInfoAccessor.h"
#include "controller/ParameterTables.h"
#include "dsp/SavedState.h"
#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "host/ParameterChanges.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"
#include "processor/VazEzaruZel.h"

namespace ProcessorTesting {

using namespace Zel;
using NivoloHost::HostContext;
using NivoloHost::MemoryStream;
using Bytes = std::vector<uint8_t>;

// A connection point that keeps the texts and integers it is sent, by message id.
class Peer : public IConnectionPoint {
public:
    virtual ~Peer() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IConnectionPoint>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS
    tresult connect(IConnectionPoint*) override { return kResultOk; }
    tresult disconnect(IConnectionPoint* other) override {
        disconnectedFrom.push_back(other);
        return kResultOk;
    }
    tresult notify(IMessageObject* message) override {
        char16_t wide[64];
        char text[128];
        if (message->attributeSet()->getString(message->messageId(), wide, sizeof wide) == kResultOk) {
            utf16ToUtf8(wide, 64, text, sizeof text);
            texts[message->messageId()].push_back(text);
        }
        return kResultOk;
    }
    std::map<std::string, std::vector<std::string>> texts;
    std::vector<IConnectionPoint*> disconnectedFrom;

private:
    RefCount refCount_;
};

constexpr int32_t kBlock = 512;

// Offline by default: every window is evaluated where it arrives, so the
// readings are exact at every block.
class Rig {
public:
    explicit Rig(int32_t channels = 2, int32_t mode = kOffline) : blockMode(mode), channels_(channels) {
        meter->initialize(static_cast<IHostApp*>(host.get()));
        meter->connect(peer.get());
        SpeakerArrangement arrangement = (SpeakerArrangement{1} << channels) - 1;
        meter->offerArrangements(&arrangement, 1, &arrangement, 1);
        ProcessSetupInfo setup{mode, kSample32, kBlock, 48000.0};
        EXPECT_EQ(meter->prepareProcessing(setup), kResultOk);
        meter->setBusActive(kAudio, kInput, 0, 1);
        meter->setBusActive(kAudio, kOutput, 0, 1);
        meter->setActive(1);
        buffers.assign(static_cast<size_t>(channels), std::vector<float>(kBlock));
        for (auto& b : buffers) pointers.push_back(b.data());
    }
    ~Rig() {
        meter->setActive(0);
        meter->terminate();
    }

    // One block; in and out may be the same buffers.
    tresult process(float** in, float** out, int32_t n = kBlock, uint64_t silenceFlags = 0) {
        AudioBufferSet inputBus{channels_, silenceFlags, in}, outputBus{channels_, 0, out};
        ProcessBlock block{blockMode, kSample32, n, 1, 1, &inputBus, &outputBus, inputs.get(), outputs.get(),
                           nullptr, nullptr, transport};
        outputs->clear();
        const tresult result = meter->process(block);
        inputs->clear();
        outputFlags = outputBus.silenceFlags;
        return result;
    }
    // One block of a constant level on every channel, in place.
    tresult process(float level, int32_t n = kBlock) {
        for (auto& b : buffers) std::fill(b.begin(), b.end(), level);
        return process(pointers.data(), pointers.data(), n);
    }
    // Seconds of a 1 kHz sine at a peak in dBFS on every channel, in place.
    void play(double seconds, double dbfs) {
        for (int64_t left = std::llround(seconds * 48000.0); left > 0; left -= kBlock) {
            for (int32_t i = 0; i < kBlock; ++i, ++phase_) {
                const float x = static_cast<float>(std::pow(10.0, dbfs / 20.0) * std::sin(0.3 + phase_ * M_PI / 24.0));
                for (auto& b : buffers) b[static_cast<size_t>(i)] = x;
            }
            process(pointers.data(), pointers.data());
        }
    }
    void change(ParamID id, double normalized) { inputs->addChange(id, 0, normalized); }
    void send(const char* id) {
        void* raw = nullptr;
        ASSERT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, &raw), kResultOk);
        auto message = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(raw));
        message->assignMessageId(id);
        message->attributeSet()->setInt(id, 0);
        meter->notify(message.get());
    }
    // The readings of the next block, as the normalized values sent.
    std::map<ParamID, double> normalized() {
        send("PluginDataGet");
        process(pointers.data(), pointers.data(), 0);
        std::map<ParamID, double> values;
        for (int32_t q = 0; q < outputs->getParameterCount(); ++q)
            outputs->queueAt(q)->readPoint(0, nullptr, &values[outputs->queueAt(q)->getParameterId()]);
        return values;
    }
    // The same as plain values of their parameters.
    std::map<ParamID, double> readings() {
        Param::ParameterInfoAccessor table(Param::meterParameters(), Param::kMeterParameterCount);
        std::map<ParamID, double> plain;
        for (auto [id, v] : normalized()) plain[id] = table.getRecordById(id) ? table.toPlain(id, v) : v;
        return plain;
    }
    Bytes save() {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
        EXPECT_EQ(meter->getState(stream.get()), kResultOk);
        return stream->bytes();
    }
    tresult restore(const Bytes& bytes) {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
        return meter->setState(stream.get());
    }

    IPtr<HostContext> host = IPtr<HostContext>::adopt(new HostContext);
    IPtr<Peer> peer = IPtr<Peer>::adopt(new Peer);
    IPtr<VazEzaruZel> meter = IPtr<VazEzaruZel>::adopt(new VazEzaruZel);
    IPtr<NivoloHost::ParameterChanges> inputs = IPtr<NivoloHost::ParameterChanges>::adopt(new NivoloHost::ParameterChanges);
    IPtr<NivoloHost::ParameterChanges> outputs = IPtr<NivoloHost::ParameterChanges>::adopt(new NivoloHost::ParameterChanges);
    std::vector<std::vector<float>> buffers;
    std::vector<float*> pointers;
    TransportContext* transport = nullptr;
    uint64_t outputFlags = 0;
    int32_t blockMode; // the set-up's mode unless a test says otherwise

private:
    int32_t channels_;
    int64_t phase_ = 0;
};

// A state written by the product's codec: the records of (id, value), in this order.
inline Bytes stateOf(const std::vector<std::pair<uint32_t, double>>& values, std::optional<int32_t> lengthWord = {}) {
    std::vector<DSP::ValueRecord> records(values.size());
    for (size_t i = 0; i < values.size(); ++i) records[i] = DSP::ValueRecord{"value", values[i].first, values[i].second};
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
    DSP::SavedState::write(stream.get(), records.data(), static_cast<int32_t>(records.size()));
    Bytes bytes = stream->bytes();
    for (int i = 0; lengthWord && i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(uint32_t(*lengthWord) >> (8 * i));
    return bytes;
}

// The (id, value) records of a saved state, read with the product's codec.
inline std::map<uint32_t, double> valuesOf(const Bytes& bytes) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(bytes));
    int32_t length = 0;
    std::map<uint32_t, double> values;
    DSP::ValueRecord record{};
    if (!DSP::SavedState::readByteCount(stream.get(), length)) return values;
    for (int32_t r = 0; r < DSP::SavedState::recordCount(length); ++r)
        if (DSP::SavedState::readRecord(stream.get(), record)) values[record.id] = record.value;
    return values;
}

} // namespace ProcessorTesting
