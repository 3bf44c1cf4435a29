// The message channel between two connected components: notify's text path,
// and messages made by the host, filled, sent to the peer and freed.

#include <gtest/gtest.h>

#include <string>

#include "TestProcessor.h"

namespace ProcessorTesting {
namespace {

// ---- notify ------------------------------------------------------------------

class ProcessorNotify : public ::testing::Test {
protected:
    IPtr<HostContext> host_ = makeHost();
    IPtr<TestProcessor> proc_ = makeProcessor();
};

TEST_F(ProcessorNotify, NullMessageIsAnInvalidArgument) {
    EXPECT_EQ(proc_->notify(nullptr), kInvalidArgument);
    EXPECT_TRUE(proc_->texts.empty());
}

TEST_F(ProcessorNotify, TextMessageReachesReceiveTextAndItsAnswerIsReturned) {
    auto message = textMessage(host_.get(), u"level reset");
    ASSERT_TRUE(message);
    EXPECT_EQ(proc_->notify(message.get()), kResultOk);
    proc_->textAnswer = kResultFalse;
    EXPECT_EQ(proc_->notify(message.get()), kResultFalse);
    ASSERT_EQ(proc_->texts.size(), 2u);
    EXPECT_EQ(proc_->texts[0], "level reset");
    EXPECT_EQ(proc_->texts[1], "level reset");
    EXPECT_EQ(references(message.get()), 1u) << "notify kept the sender's message";
}

TEST_F(ProcessorNotify, EmptyTextIsStillDelivered) {
    auto message = textMessage(host_.get(), u"");
    EXPECT_EQ(proc_->notify(message.get()), kResultOk);
    ASSERT_EQ(proc_->texts.size(), 1u);
    EXPECT_EQ(proc_->texts[0], "");
}

TEST_F(ProcessorNotify, NonAsciiTextArrivesAsUtf8) {
    auto message = textMessage(host_.get(), u"Gr\u00fc\u00dfe \u20ac \U0001F3B5");
    EXPECT_EQ(proc_->notify(message.get()), kResultOk);
    ASSERT_EQ(proc_->texts.size(), 1u);
    EXPECT_EQ(proc_->texts[0], "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x8e\xb5");
}

TEST_F(ProcessorNotify, LongTextIsCutToWhatFitsTheReadBuffer) {
    // 128 units are read, one of them the terminator.
    auto message = textMessage(host_.get(), std::u16string(200, u'a'));
    EXPECT_EQ(proc_->notify(message.get()), kResultOk);
    ASSERT_EQ(proc_->texts.size(), 1u);
    EXPECT_EQ(proc_->texts[0], std::string(127, 'a'));
}

TEST_F(ProcessorNotify, WideCharactersAreCutWholeAtThe8BitLimit) {
    // 127 three-byte characters do not fit 255 bytes: 85 whole ones do.
    auto message = textMessage(host_.get(), std::u16string(127, u'\u20ac'));
    EXPECT_EQ(proc_->notify(message.get()), kResultOk);
    ASSERT_EQ(proc_->texts.size(), 1u);
    std::string expected;
    for (int i = 0; i < 85; ++i) expected += "\xe2\x82\xac";
    EXPECT_EQ(proc_->texts[0], expected);
}

TEST_F(ProcessorNotify, PairCutByTheReadLimitDoesNotBecomeMalformedUtf8) {
    // The pair's high half is the last unit that is read.
    auto message = textMessage(host_.get(), std::u16string(126, u'a') + u"\U0001F3B5");
    EXPECT_EQ(proc_->notify(message.get()), kResultOk);
    ASSERT_EQ(proc_->texts.size(), 1u);
    const std::string& text = proc_->texts[0];
    EXPECT_EQ(text.substr(0, 126), std::string(126, 'a'));
    EXPECT_LE(text.size(), 127u);
    for (unsigned char c : text) EXPECT_LT(c, 0x80) << "half a pair was encoded";
}

TEST_F(ProcessorNotify, TextMessageWithoutItsStringIsRefused) {
    auto missing = hostMessage(host_.get(), "TextMessage");
    EXPECT_EQ(proc_->notify(missing.get()), kResultFalse);

    auto wrongType = hostMessage(host_.get(), "TextMessage");
    wrongType->attributeSet()->setInt("Text", 5);
    EXPECT_EQ(proc_->notify(wrongType.get()), kResultFalse);

    auto wrongKey = hostMessage(host_.get(), "TextMessage");
    wrongKey->attributeSet()->setString("text", u"lower-case key");
    EXPECT_EQ(proc_->notify(wrongKey.get()), kResultFalse);

    EXPECT_TRUE(proc_->texts.empty());
}

TEST_F(ProcessorNotify, OtherMessageIdsAreRefused) {
    for (const char* id : {"Other", "TextMessag", "TextMessage2", "textmessage", ""}) {
        auto message = hostMessage(host_.get(), id);
        message->attributeSet()->setString("Text", u"should not arrive");
        EXPECT_EQ(proc_->notify(message.get()), kResultFalse) << '"' << id << '"';
    }
    auto unnamed = hostMessage(host_.get(), nullptr);
    unnamed->attributeSet()->setString("Text", u"should not arrive");
    EXPECT_EQ(proc_->notify(unnamed.get()), kResultFalse);
    EXPECT_TRUE(proc_->texts.empty());
}

TEST_F(ProcessorNotify, TheFrameworkAloneAcceptsText) {
    auto effect = IPtr<AudioEffect>::adopt(new AudioEffect);
    auto message = textMessage(host_.get(), u"anything");
    EXPECT_EQ(effect->notify(message.get()), kResultOk);
}

// ---- allocateMessage / sendMessage -------------------------------------------

TEST(ProcessorMessages, NoMessageWithoutAHostThatMakesThem) {
    auto proc = makeProcessor();
    EXPECT_EQ(proc->newMessage(), nullptr) << "not initialised";

    ASSERT_EQ(proc->initialize(nullptr), kResultOk);
    EXPECT_EQ(proc->newMessage(), nullptr) << "null context";
    ASSERT_EQ(proc->terminate(), kResultOk);

    // A context that is no host application.
    auto notAHost = IPtr<FObject>::adopt(new FObject);
    ASSERT_EQ(proc->initialize(notAHost->unknownCast()), kResultOk);
    EXPECT_EQ(proc->newMessage(), nullptr);
    EXPECT_EQ(notAHost->refCount(), 2);
    ASSERT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(notAHost->refCount(), 1);
}

TEST(ProcessorMessages, MessageComesFromTheHostWithOneReference) {
    auto host = makeHost();
    auto proc = makeProcessor();
    ASSERT_EQ(proc->initialize(host.get()), kResultOk);
    const uint32_t hostBefore = references(host.get());

    auto message = IPtr<IMessageObject>::adopt(proc->newMessage());
    ASSERT_TRUE(message);
    EXPECT_EQ(host->messagesCreated(), 1);
    EXPECT_EQ(references(message.get()), 1u);
    EXPECT_EQ(message->messageId(), nullptr);
    EXPECT_NE(message->attributeSet(), nullptr);
    EXPECT_EQ(references(host.get()), hostBefore) << "the host application interface was not released";

    ASSERT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(proc->newMessage(), nullptr) << "made a message after terminate";
    EXPECT_EQ(host->messagesCreated(), 1);
}

TEST(ProcessorMessages, TextTravelsFromOneComponentToTheOther) {
    auto host = makeHost();
    auto sender = makeProcessor();
    auto receiver = makeProcessor();
    ASSERT_EQ(sender->initialize(host.get()), kResultOk);
    ASSERT_EQ(receiver->initialize(host.get()), kResultOk);
    ASSERT_EQ(sender->connect(receiver.get()), kResultOk);
    ASSERT_EQ(receiver->connect(sender.get()), kResultOk);

    IMessageObject* message = sender->newMessage();
    ASSERT_NE(message, nullptr);
    message->assignMessageId("TextMessage");
    ASSERT_EQ(message->attributeSet()->setString("Text", u"channels 2"), kResultOk);

    receiver->textAnswer = kResultFalse;
    EXPECT_EQ(sender->send(message), kResultFalse) << "not the peer's answer";
    receiver->textAnswer = kResultOk;
    EXPECT_EQ(sender->send(message), kResultOk);
    ASSERT_EQ(receiver->texts.size(), 2u);
    EXPECT_EQ(receiver->texts[1], "channels 2");
    EXPECT_TRUE(sender->texts.empty());

    // Sending leaves the message with its sender alone, so one release frees it.
    EXPECT_EQ(message->Release(), 0u);

    EXPECT_EQ(sender->terminate(), kResultOk);
    EXPECT_EQ(receiver->terminate(), kResultOk);
}

TEST(ProcessorMessages, PeerGetsTheSameMessageWithItsAttributes) {
    auto host = makeHost();
    auto proc = makeProcessor();
    auto peer = makePeer();
    ASSERT_EQ(proc->initialize(host.get()), kResultOk);
    ASSERT_EQ(proc->connect(peer.get()), kResultOk);

    auto message = IPtr<IMessageObject>::adopt(proc->newMessage());
    ASSERT_TRUE(message);
    message->assignMessageId("Activity");
    message->attributeSet()->setInt("Value", 42);
    peer->answer = kNotImplemented;

    EXPECT_EQ(proc->send(message.get()), kNotImplemented);
    ASSERT_EQ(peer->messages.size(), 1u);
    EXPECT_EQ(peer->messages[0], message.get());
    EXPECT_EQ(peer->ids[0], "Activity");
    EXPECT_EQ(peer->values[0], 42);
    EXPECT_EQ(references(message.get()), 1u);
    EXPECT_EQ(proc->terminate(), kResultOk);
}

TEST(ProcessorMessages, NothingIsSentWithoutPeerOrMessage) {
    auto host = makeHost();
    auto proc = makeProcessor();
    auto peer = makePeer();
    ASSERT_EQ(proc->initialize(host.get()), kResultOk);
    auto message = IPtr<IMessageObject>::adopt(proc->newMessage());
    ASSERT_TRUE(message);
    message->assignMessageId("Activity");

    EXPECT_EQ(proc->send(message.get()), kResultFalse) << "no peer";
    ASSERT_EQ(proc->connect(peer.get()), kResultOk);
    EXPECT_EQ(proc->send(nullptr), kResultFalse);
    EXPECT_TRUE(peer->messages.empty());

    ASSERT_EQ(proc->disconnect(peer.get()), kResultOk);
    EXPECT_EQ(proc->send(message.get()), kResultFalse) << "sent after disconnect";
    EXPECT_TRUE(peer->messages.empty());
    EXPECT_EQ(references(message.get()), 1u);
    EXPECT_EQ(proc->terminate(), kResultOk);
}

TEST(ProcessorMessages, ManyMessagesLeaveNothingBehind) {
    auto host = makeHost();
    auto sender = makeProcessor();
    auto receiver = makeProcessor();
    ASSERT_EQ(sender->initialize(host.get()), kResultOk);
    ASSERT_EQ(receiver->initialize(host.get()), kResultOk);
    ASSERT_EQ(sender->connect(receiver.get()), kResultOk);
    const uint32_t hostBefore = references(host.get());

    for (int i = 0; i < 100; ++i) {
        IMessageObject* message = sender->newMessage();
        ASSERT_NE(message, nullptr);
        message->assignMessageId("TextMessage");
        message->attributeSet()->setString("Text", u"tick");
        EXPECT_EQ(sender->send(message), kResultOk);
        ASSERT_EQ(message->Release(), 0u) << "message " << i << " outlived its sender";
    }
    EXPECT_EQ(host->messagesCreated(), 100);
    EXPECT_EQ(receiver->texts.size(), 100u);
    EXPECT_EQ(references(host.get()), hostBefore);
    EXPECT_EQ(sender->terminate(), kResultOk);
    EXPECT_EQ(receiver->terminate(), kResultOk);
}

} // namespace
} // namespace ProcessorTesting
