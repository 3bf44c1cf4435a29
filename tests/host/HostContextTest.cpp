// The host context plug-ins receive: its name, its interfaces, and the message
// objects it makes for them (and nothing else).

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/HostContext.h"
#include "host/HostMessage.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"

namespace {

using NivoloHost::HostContext;
using NivoloHost::HostMessage;
using namespace Zel;

uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

IPtr<HostContext> makeHost() { return IPtr<HostContext>::adopt(new HostContext); }

// ---- the context itself ------------------------------------------------------

TEST(HostContext, AnswersHostAppAndIdentityAsOneObject) {
    auto host = makeHost();
    void* app = nullptr;
    void* unknown = nullptr;
    ASSERT_EQ(host->QueryInterface(IHostApp_iid, &app), kResultOk);
    ASSERT_EQ(host->QueryInterface(FUnknown_iid, &unknown), kResultOk);
    EXPECT_EQ(app, static_cast<IHostApp*>(host.get()));
    EXPECT_EQ(unknown, static_cast<FUnknown*>(host.get()));
    EXPECT_EQ(references(host.get()), 3u);
    static_cast<FUnknown*>(app)->Release();
    static_cast<FUnknown*>(unknown)->Release();
    EXPECT_EQ(references(host.get()), 1u);

    void* other = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(host->QueryInterface(IMessageObject_iid, &other), kNoInterface);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(references(host.get()), 1u);
}

TEST(HostContext, NameFillsAllUnitsAfterTheText) {
    auto host = makeHost();
    char16_t name[128];
    std::fill(std::begin(name), std::end(name), u'#');
    ASSERT_EQ(host->getName(name), kResultOk);
    EXPECT_EQ(std::u16string(name), u"Nivolo Host");
    for (size_t i = std::char_traits<char16_t>::length(HostContext::kName); i < 128; ++i)
        ASSERT_EQ(name[i], u'\0') << "unit " << i;
    EXPECT_EQ(host->getName(nullptr), kInvalidArgument);
}

// ---- message creation ---------------------------------------------------------

TEST(HostContextMessages, CreatesAFreshMessageWithOneReference) {
    auto host = makeHost();
    void* out = nullptr;
    ASSERT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, &out), kResultOk);
    ASSERT_NE(out, nullptr);
    auto message = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(out));
    EXPECT_EQ(references(message.get()), 1u);
    EXPECT_EQ(message->messageId(), nullptr);
    ASSERT_NE(message->attributeSet(), nullptr);
    int64_t value = 0;
    EXPECT_EQ(message->attributeSet()->getInt("anything", value), kResultFalse) << "not empty";
    EXPECT_EQ(host->messagesCreated(), 1);
}

TEST(HostContextMessages, EachMessageHasItsOwnAttributes) {
    auto host = makeHost();
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, &a), kResultOk);
    ASSERT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, &b), kResultOk);
    auto first = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(a));
    auto second = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(b));
    ASSERT_NE(first.get(), second.get());
    EXPECT_NE(first->attributeSet(), second->attributeSet());
    first->attributeSet()->setInt("Value", 1);
    int64_t value = 0;
    EXPECT_EQ(second->attributeSet()->getInt("Value", value), kResultFalse);
    EXPECT_EQ(host->messagesCreated(), 2);
}

TEST(HostContextMessages, OnlyMessageObjectsAreMade) {
    auto host = makeHost();
    for (const TUID* classId : {&IHostApp_iid, &IAttributeSet_iid, &FUnknown_iid, &IByteStream_iid}) {
        SCOPED_TRACE(tuidToRegistry(*classId));
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(host->createInstance(*classId, IMessageObject_iid, &out), kNoInterface);
        EXPECT_EQ(out, nullptr);
    }
    // The message class asked for an interface it does not have.
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(host->createInstance(IMessageObject_iid, IByteStream_iid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, nullptr), kInvalidArgument);
    EXPECT_EQ(host->messagesCreated(), 0);
}

// ---- the message object ------------------------------------------------------

TEST(HostMessage, IdIsCopiedAndCanBeCleared) {
    auto message = IPtr<HostMessage>::adopt(new HostMessage);
    char id[] = "Activity";
    message->assignMessageId(id);
    id[0] = 'X';
    EXPECT_STREQ(message->messageId(), "Activity");

    message->assignMessageId("");
    ASSERT_NE(message->messageId(), nullptr) << "an empty id is still an id";
    EXPECT_STREQ(message->messageId(), "");

    message->assignMessageId(nullptr);
    EXPECT_EQ(message->messageId(), nullptr);
}

TEST(HostMessage, AttributeSetIsOwnedByTheMessage) {
    auto message = IPtr<HostMessage>::adopt(new HostMessage);
    IAttributeSet* attributes = message->attributeSet();
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(message->attributeSet(), attributes) << "a new set on every call";
    EXPECT_EQ(references(attributes), 1u) << "handing out the set added a reference";
    EXPECT_EQ(references(message.get()), 1u);

    void* out = nullptr;
    ASSERT_EQ(message->QueryInterface(IMessageObject_iid, &out), kResultOk);
    EXPECT_EQ(out, static_cast<IMessageObject*>(message.get()));
    static_cast<FUnknown*>(out)->Release();
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(message->QueryInterface(IAttributeSet_iid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
}

} // namespace
