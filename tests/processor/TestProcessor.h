#pragma once
// What the processor framework tests share: a minimal effect that opens the
// protected framework calls, a connection point that records what reaches it,
// and helpers for the host's message objects.

#include <string>
#include <vector>

#include "host/HostContext.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"
#include "processor/AudioEffect.h"

namespace ProcessorTesting {

using namespace Zel;
using NivoloHost::HostContext;

// An effect with nothing of its own: buses and controller class come from the
// test, texts are recorded, and the message calls are reachable.
class TestProcessor : public AudioEffect {
public:
    ZEL_FOBJECT_CLASS(TestProcessor, AudioEffect)

    explicit TestProcessor(int* destroyed = nullptr) : destroyed_(destroyed) {}
    ~TestProcessor() override {
        if (destroyed_) ++*destroyed_;
    }

    AudioBus* addInput(const char16_t* name, SpeakerArrangement arrangement = kArrangementStereo,
                       int32_t busType = kMain, uint32_t flags = BusDescription::kDefaultActive) {
        return addAudioInput(name, arrangement, busType, flags);
    }
    AudioBus* addOutput(const char16_t* name, SpeakerArrangement arrangement = kArrangementStereo,
                        int32_t busType = kMain, uint32_t flags = BusDescription::kDefaultActive) {
        return addAudioOutput(name, arrangement, busType, flags);
    }
    Bus* busAt(int32_t mediaType, int32_t direction, int32_t index) { return getBus(mediaType, direction, index); }
    void useController(const TUID& classId) { setControllerClass(classId); }

    IMessageObject* newMessage() { return allocateMessage(); }
    tresult send(IMessageObject* message) { return sendMessage(message); }

    std::vector<std::string> texts;
    tresult textAnswer = kResultOk;

protected:
    tresult receiveText(const char* text) override {
        texts.emplace_back(text);
        return textAnswer;
    }

private:
    int* destroyed_;
};

inline IPtr<TestProcessor> makeProcessor(int* destroyed = nullptr) {
    return IPtr<TestProcessor>::adopt(new TestProcessor(destroyed));
}

inline IPtr<HostContext> makeHost() { return IPtr<HostContext>::adopt(new HostContext); }

// The count as the object itself reports it through AddRef/Release.
inline uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A connection point that is not a framework object: it records every call and
// answers notify with a chosen result.
class RecordingPeer : public IConnectionPoint {
public:
    RecordingPeer() = default;
    virtual ~RecordingPeer() = default;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (!obj) return kInvalidArgument;
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
        messages.push_back(message);
        const char* id = message ? message->messageId() : nullptr;
        ids.emplace_back(id ? id : "<none>");
        int64_t value = -1;
        if (message && message->attributeSet()) message->attributeSet()->getInt("Value", value);
        values.push_back(value);
        return answer;
    }

    std::vector<IConnectionPoint*> disconnectedFrom;
    std::vector<IMessageObject*> messages;
    std::vector<std::string> ids;
    std::vector<int64_t> values;
    tresult answer = kResultOk;

private:
    RefCount refCount_;
};

inline IPtr<RecordingPeer> makePeer() { return IPtr<RecordingPeer>::adopt(new RecordingPeer); }

// A new message from the host, as a plug-in would get it.
inline IPtr<IMessageObject> hostMessage(HostContext* host, const char* id) {
    void* out = nullptr;
    if (host->createInstance(IMessageObject_iid, IMessageObject_iid, &out) != kResultOk) return {};
    auto message = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(out));
    if (id) message->assignMessageId(id);
    return message;
}

inline IPtr<IMessageObject> textMessage(HostContext* host, const std::u16string& text) {
    IPtr<IMessageObject> message = hostMessage(host, ComponentBase::kTextMessageId);
    if (message) message->attributeSet()->setString(ComponentBase::kTextAttribute, text.c_str());
    return message;
}

} // namespace ProcessorTesting
