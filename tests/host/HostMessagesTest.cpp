// The host context plug-ins receive, and the messages it makes for them: its
// name and interfaces, message objects (and nothing else), and their
// attributes, typed values under 8-bit keys with the string buffer rules the
// module relies on when it reads text.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "HostTestSupport.h"
#include "host/HostAttributeSet.h"
#include "host/HostMessage.h"
#include "interfaces/IAttributeSet.h"

namespace HostTest {
namespace {

using NivoloHost::HostAttributeSet;
using NivoloHost::HostMessage;

TEST(HostContext, AnswersAsHostAppWithItsNameFillingTheBuffer) {
    auto host = IPtr<HostContext>::adopt(new HostContext);
    EXPECT_EQ(queryInterface<IHostApp>(host.get()).get(), static_cast<IHostApp*>(host.get()));
    EXPECT_FALSE(queryInterface<IMessageObject>(host.get()));
    EXPECT_EQ(references(host.get()), 1u);
    char16_t name[128];
    std::fill(std::begin(name), std::end(name), u'#');
    ASSERT_EQ(host->getName(name), kResultOk);
    EXPECT_EQ(std::u16string(name), u"Nivolo Host");
    EXPECT_TRUE(std::all_of(name + 11, std::end(name), [](char16_t u) { return u == 0; })) << "units after the name";
    EXPECT_EQ(host->getName(nullptr), kInvalidArgument);
}

TEST(HostContext, MakesFreshMessagesEachWithItsOwnAttributesAndNothingElse) {
    auto host = IPtr<HostContext>::adopt(new HostContext);
    auto make = [&](const TUID& classId, const TUID& interfaceId) {
        void* out = reinterpret_cast<void*>(0x1);
        const tresult result = host->createInstance(classId, interfaceId, &out);
        EXPECT_EQ(out == nullptr, result != kResultOk);
        return IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(out));
    };
    IPtr<IMessageObject> first = make(IMessageObject_iid, IMessageObject_iid);
    IPtr<IMessageObject> second = make(IMessageObject_iid, IMessageObject_iid);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(references(first.get()), 1u);
    EXPECT_EQ(first->messageId(), nullptr);
    ASSERT_NE(first->attributeSet(), nullptr);
    first->attributeSet()->setInt("Value", 1);
    int64_t value = 0;
    EXPECT_EQ(second->attributeSet()->getInt("Value", value), kResultFalse);

    EXPECT_FALSE(make(IHostApp_iid, IMessageObject_iid));
    EXPECT_FALSE(make(IAttributeSet_iid, IMessageObject_iid));
    EXPECT_FALSE(make(IMessageObject_iid, IByteStream_iid)) << "an interface the message does not have";
    EXPECT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, nullptr), kInvalidArgument);
    EXPECT_EQ(host->messagesCreated(), 2);
}

TEST(HostMessage, IdIsCopiedAndAttributeSetOwned) {
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

    IAttributeSet* attributes = message->attributeSet();
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(message->attributeSet(), attributes) << "a new set on every call";
    EXPECT_EQ(references(attributes), 1u) << "handing out the set added a reference";
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(message->QueryInterface(IAttributeSet_iid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(references(message.get()), 1u);
}

// ---- attributes ----------------------------------------------------------------------

class HostAttributes : public ::testing::Test {
protected:
    IPtr<HostAttributeSet> set_ = IPtr<HostAttributeSet>::adopt(new HostAttributeSet);
};

TEST_F(HostAttributes, EveryTypeRoundTripsExactly) {
    using Limits = std::numeric_limits<int64_t>;
    for (int64_t v : {int64_t{0}, int64_t{-1}, Limits::min(), Limits::max()}) {
        int64_t read = 7;
        ASSERT_EQ(set_->setInt("Value", v), kResultOk);
        ASSERT_EQ(set_->getInt("Value", read), kResultOk);
        EXPECT_EQ(read, v);
    }
    for (double v : {0.0, -0.5, 1e-300, 123456.789, std::numeric_limits<double>::max()}) {
        double read = 7;
        ASSERT_EQ(set_->setFloat("Level", v), kResultOk);
        ASSERT_EQ(set_->getFloat("Level", read), kResultOk);
        EXPECT_EQ(read, v);
    }
    const std::u16string text = u"Gr\u00fc\u00dfe \u20ac \U0001F3B5"; // a surrogate pair too
    char16_t buffer[64];
    ASSERT_EQ(set_->setString("Text", text.c_str()), kResultOk);
    ASSERT_EQ(set_->getString("Text", buffer, sizeof buffer), kResultOk);
    EXPECT_EQ(std::u16string(buffer), text);

    Bytes source = {0, 1, 0, 255, 0};
    ASSERT_EQ(set_->setBinary("Data", source.data(), static_cast<uint32_t>(source.size())), kResultOk);
    source.assign(source.size(), 9); // the set keeps its own copy
    const void* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(set_->getBinary("Data", data, size), kResultOk);
    const auto* bytes = static_cast<const uint8_t*>(data);
    EXPECT_EQ(Bytes(bytes, bytes + size), (Bytes{0, 1, 0, 255, 0}));
    ASSERT_EQ(set_->setBinary("Empty", nullptr, 0), kResultOk);
    EXPECT_EQ(set_->getBinary("Empty", data, size), kResultOk);
    EXPECT_EQ(size, 0u) << "empty binary is a value";
}

TEST_F(HostAttributes, KeysAreWholeStringsAndSettingAgainReplacesValueAndType) {
    ASSERT_EQ(set_->setInt("Key", 1), kResultOk);
    ASSERT_EQ(set_->setInt("KeyX", 2), kResultOk);
    int64_t i = 0;
    EXPECT_EQ(set_->getInt("Ke", i), kResultFalse);
    EXPECT_EQ(set_->getInt("key", i), kResultFalse);
    ASSERT_EQ(set_->getInt("Key", i), kResultOk);
    EXPECT_EQ(i, 1);

    ASSERT_EQ(set_->setFloat("Key", 0.25), kResultOk);
    EXPECT_EQ(set_->getInt("Key", i), kResultFalse) << "the old int survived";
    double f = 0;
    EXPECT_EQ(set_->getFloat("Key", f), kResultOk);
    EXPECT_EQ(f, 0.25);
}

TEST_F(HostAttributes, WrongTypesMissingKeysAndNullsAreRefused) {
    ASSERT_EQ(set_->setInt("Int", 5), kResultOk);
    ASSERT_EQ(set_->setString("Text", u"5"), kResultOk);
    int64_t i;
    double f;
    char16_t s[8];
    const void* data;
    uint32_t size;
    for (const char* key : {"Int", "Missing"}) {
        EXPECT_EQ(set_->getFloat(key, f), kResultFalse) << key;
        EXPECT_EQ(set_->getString(key, s, sizeof s), kResultFalse) << key;
        EXPECT_EQ(set_->getBinary(key, data, size), kResultFalse) << key;
    }
    EXPECT_EQ(set_->getInt("Text", i), kResultFalse);
    EXPECT_EQ(set_->getInt("Missing", i), kResultFalse);
    EXPECT_EQ(set_->getInt(nullptr, i), kResultFalse);

    EXPECT_EQ(set_->setInt(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(set_->setFloat(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(set_->setString(nullptr, u"x"), kInvalidArgument);
    EXPECT_EQ(set_->setBinary(nullptr, "x", 1), kInvalidArgument);
    EXPECT_EQ(set_->setBinary("Bad", nullptr, 4), kInvalidArgument);
    EXPECT_EQ(set_->getBinary("Bad", data, size), kResultFalse);
    EXPECT_EQ(set_->setString("Other", nullptr), kInvalidArgument);
    EXPECT_EQ(set_->getString("Other", s, sizeof s), kResultFalse) << "a null string was stored";
}

// "hello" read into buffers of every size the module might pass, each inside
// a larger poisoned one: cut to the buffer, terminated, never written past.
TEST_F(HostAttributes, StringIsCutToTheBufferAndTerminated) {
    ASSERT_EQ(set_->setString("Text", u"hello"), kResultOk);
    struct Case {
        uint32_t bytes;
        tresult result;
        std::u16string expected;
    };
    const Case cases[] = {{32, kResultOk, u"hello"}, {12, kResultOk, u"hello"}, {10, kResultOk, u"hell"},
                          {6, kResultOk, u"he"},     {7, kResultOk, u"he"},     {2, kResultOk, u""},
                          {3, kResultOk, u""},       {1, kResultFalse, u""},    {0, kResultFalse, u""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        char16_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(set_->getString("Text", buffer, c.bytes), c.result);
        const size_t units = c.bytes / 2;
        if (c.result == kResultOk) {
            const size_t n = std::find(buffer, buffer + units, u'\0') - buffer;
            EXPECT_LT(n, units) << "unterminated";
            EXPECT_EQ(std::u16string(buffer, n), c.expected);
        }
        EXPECT_TRUE(std::all_of(buffer + units, std::end(buffer), [](char16_t u) { return u == u'#'; }))
            << "wrote past the buffer";
    }
    EXPECT_EQ(set_->getString("Text", nullptr, 32), kResultFalse);
}

} // namespace
} // namespace HostTest
