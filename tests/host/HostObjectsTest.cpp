// The objects the host hands a plug-in: its context and the messages it makes,
// their attributes with the string buffer rules the module relies on, the
// state stream, and the per-block parameter change lists whose capacities
// are fixed so that the audio thread never allocates.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <tuple>

#include "host/HostAttributeSet.h"
#include "host/HostContext.h"
#include "host/HostMessage.h"
#include "interfaces/IAttributeSet.h"
#include "tests/support/SessionKit.h"

namespace SessionKit {
namespace {

using NivoloHost::HostAttributeSet;
using NivoloHost::HostContext;
using NivoloHost::HostMessage;

uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(HostContext, IsTheHostAppWithItsNameAndMakesFreshMessagesOnly) {
    auto host = IPtr<HostContext>::adopt(new HostContext);
    EXPECT_EQ(queryInterface<IHostApp>(host.get()).get(), static_cast<IHostApp*>(host.get()));
    EXPECT_FALSE(queryInterface<IMessageObject>(host.get()));
    char16_t name[128];
    std::fill(std::begin(name), std::end(name), u'#');
    ASSERT_EQ(host->getName(name), kResultOk);
    EXPECT_EQ(std::u16string(name), u"Nivolo Host");
    EXPECT_TRUE(std::all_of(name + 11, std::end(name), [](char16_t u) { return u == 0; }));
    EXPECT_EQ(host->getName(nullptr), kInvalidArgument);

    auto make = [&](const TUID& classId, const TUID& interfaceId) {
        void* out = reinterpret_cast<void*>(0x1);
        const tresult result = host->createInstance(classId, interfaceId, &out);
        EXPECT_EQ(result == kResultOk, out != nullptr);
        return IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(out));
    };
    IPtr<IMessageObject> first = make(IMessageObject_iid, IMessageObject_iid);
    IPtr<IMessageObject> second = make(IMessageObject_iid, IMessageObject_iid);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(references(first.get()), 1u);
    EXPECT_EQ(first->messageId(), nullptr);
    first->attributeSet()->setInt("Value", 1);
    int64_t value = 0;
    EXPECT_EQ(second->attributeSet()->getInt("Value", value), kResultFalse) << "the messages share attributes";
    EXPECT_FALSE(make(IHostApp_iid, IMessageObject_iid));
    EXPECT_FALSE(make(IMessageObject_iid, IByteStream_iid));
    EXPECT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, nullptr), kInvalidArgument);
    EXPECT_EQ(host->messagesCreated(), 2);

    auto message = IPtr<HostMessage>::adopt(new HostMessage);
    char id[] = "Activity";
    message->assignMessageId(id);
    id[0] = 'X';
    EXPECT_STREQ(message->messageId(), "Activity") << "the id is copied";
    message->assignMessageId("");
    ASSERT_NE(message->messageId(), nullptr) << "an empty id is still an id";
    message->assignMessageId(nullptr);
    EXPECT_EQ(message->messageId(), nullptr);
    EXPECT_EQ(message->attributeSet(), message->attributeSet());
    EXPECT_EQ(references(message->attributeSet()), 1u);
}

// Every type comes back exactly under its whole key; setting a key again
// replaces value and type; wrong types, missing keys and nulls are refused.
TEST(HostAttributes, TypedValuesUnderWholeKeysAndNullsRefused) {
    auto set = IPtr<HostAttributeSet>::adopt(new HostAttributeSet);
    int64_t i = 0;
    double f = 0.0;
    ASSERT_EQ(set->setInt("Value", std::numeric_limits<int64_t>::min()), kResultOk);
    ASSERT_EQ(set->getInt("Value", i), kResultOk);
    EXPECT_EQ(i, std::numeric_limits<int64_t>::min());
    ASSERT_EQ(set->setFloat("Level", 1e-300), kResultOk);
    ASSERT_EQ(set->getFloat("Level", f), kResultOk);
    EXPECT_EQ(f, 1e-300);
    const std::u16string text = u"Gr\u00fc\u00dfe \u20ac \U0001F3B5";
    char16_t buffer[64];
    ASSERT_EQ(set->setString("Text", text.c_str()), kResultOk);
    ASSERT_EQ(set->getString("Text", buffer, sizeof buffer), kResultOk);
    EXPECT_EQ(std::u16string(buffer), text);
    Bytes source = {0, 1, 0, 255};
    ASSERT_EQ(set->setBinary("Data", source.data(), 4), kResultOk);
    source.assign(4, 9); // the set keeps its own copy
    const void* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(set->getBinary("Data", data, size), kResultOk);
    EXPECT_EQ(Bytes(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), (Bytes{0, 1, 0, 255}));

    EXPECT_EQ(set->getInt("Valu", i), kResultFalse);
    EXPECT_EQ(set->getInt("value", i), kResultFalse);
    EXPECT_EQ(set->getInt("Text", i), kResultFalse);
    EXPECT_EQ(set->getInt(nullptr, i), kResultFalse);
    EXPECT_EQ(set->getString("Value", buffer, sizeof buffer), kResultFalse);
    ASSERT_EQ(set->setFloat("Value", 0.25), kResultOk);
    EXPECT_EQ(set->getInt("Value", i), kResultFalse) << "the old int survived";
    EXPECT_EQ(set->setInt(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(set->setString("Other", nullptr), kInvalidArgument);
    EXPECT_EQ(set->setBinary("Bad", nullptr, 4), kInvalidArgument);
    EXPECT_EQ(set->getBinary("Bad", data, size), kResultFalse);
}

// "hello" read into buffers of every size the module might pass, inside a
// larger poisoned one: cut to the buffer, terminated, never written past.
TEST(HostAttributes, AStringIsCutToTheBufferAndTerminated) {
    auto set = IPtr<HostAttributeSet>::adopt(new HostAttributeSet);
    ASSERT_EQ(set->setString("Text", u"hello"), kResultOk);
    const std::tuple<uint32_t, tresult, std::u16string> cases[] = {
        {32, kResultOk, u"hello"}, {12, kResultOk, u"hello"}, {10, kResultOk, u"hell"}, {7, kResultOk, u"he"},
        {2, kResultOk, u""},       {1, kResultFalse, u""},    {0, kResultFalse, u""}};
    for (const auto& [bytes, result, expected] : cases) {
        SCOPED_TRACE(bytes);
        char16_t buffer[16];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(set->getString("Text", buffer, bytes), result);
        if (result == kResultOk) {
            EXPECT_EQ(std::u16string(buffer), expected);
        }
        EXPECT_TRUE(std::all_of(buffer + bytes / 2, std::end(buffer), [](char16_t u) { return u == u'#'; }));
    }
    EXPECT_EQ(set->getString("Text", nullptr, 32), kResultFalse);
}

TEST(MemoryStream, ReadsWritesAndSeeksAsAStateIsSavedAndRestored) {
    auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    auto position = [&] {
        int64_t at = -1;
        EXPECT_EQ(stream->tell(&at), kResultOk);
        return at;
    };
    auto read = [&](int32_t n) {
        Bytes buffer(static_cast<size_t>(n), 0xEE);
        int32_t got = -1;
        EXPECT_EQ(stream->read(buffer.data(), n, &got), kResultOk);
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xEE), n - got) << "read past the data";
        buffer.resize(static_cast<size_t>(got));
        return buffer;
    };
    const std::tuple<int64_t, int32_t, tresult, int64_t> seeks[] = {
        {4, IByteStream::kSeekSet, kResultOk, 4},      {3, IByteStream::kSeekCurrent, kResultOk, 7},
        {-5, IByteStream::kSeekCurrent, kResultOk, 2}, {-1, IByteStream::kSeekSet, kInvalidArgument, 2},
        {-3, IByteStream::kSeekCurrent, kInvalidArgument, 2}, {-11, IByteStream::kSeekEnd, kInvalidArgument, 2},
        {0, 3, kInvalidArgument, 2},                   {-2, IByteStream::kSeekEnd, kResultOk, 8}};
    for (const auto& [offset, mode, result, after] : seeks) {
        EXPECT_EQ(stream->seek(offset, mode, nullptr), result) << offset << " from " << mode;
        EXPECT_EQ(position(), after) << offset << " from " << mode;
    }
    EXPECT_EQ(read(4), (Bytes{8, 9})) << "a short read says how much came";
    EXPECT_EQ(read(4), Bytes{}) << "at the end nothing more, and no error";
    EXPECT_EQ(stream->read(nullptr, 2, nullptr), kInvalidArgument);

    const uint8_t more[] = {20, 30, 40, 50, 60};
    ASSERT_EQ(stream->seek(1, IByteStream::kSeekSet, nullptr), kResultOk);
    int32_t written = -1;
    ASSERT_EQ(stream->write(more, 5, &written), kResultOk);
    EXPECT_EQ(written, 5);
    EXPECT_EQ(position(), 6);
    ASSERT_EQ(stream->seek(2, IByteStream::kSeekEnd, nullptr), kResultOk);
    EXPECT_EQ(read(1), Bytes{}) << "past the end";
    ASSERT_EQ(stream->write(more, 1, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{0, 20, 30, 40, 50, 60, 6, 7, 8, 9, 0, 0, 20})) << "the gap is filled with zeros";
    EXPECT_EQ(stream->write(more, -1, &written), kInvalidArgument);
    EXPECT_EQ(written, 0);

    stream->truncate(3);
    EXPECT_EQ(position(), 3);
    stream->truncate(10);
    EXPECT_EQ(stream->bytes(), (Bytes{0, 20, 30})) << "truncating never grows";
}

TEST(ParameterChanges, OneQueuePerIdPointsInOffsetOrderAndFullListsRefuse) {
    auto changes = IPtr<ParameterChanges>::adopt(new ParameterChanges(2, 3));
    const ParamID gain = 5, mode = 7, third = 9;
    int32_t index = -1;
    IParamQueue* queue = changes->queueFor(&gain, &index);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(index, 0);
    // (offset, value, index reported): kept in offset order, the same offset replaces.
    const std::tuple<int32_t, double, int32_t> appends[] = {{10, 0.1, 0}, {0, 0.2, 0}, {5, 0.3, 1}, {5, 0.9, 1}};
    for (const auto& [offset, value, expected] : appends) {
        ASSERT_EQ(queue->appendPoint(offset, value, &index), kResultOk);
        EXPECT_EQ(index, expected) << "offset " << offset;
    }
    EXPECT_EQ(queue->appendPoint(20, 0.4, nullptr), kResultFalse) << "the queue is full";
    EXPECT_EQ(queue->appendPoint(0, 0.8, nullptr), kResultOk) << "a full queue still replaces";
    std::vector<std::pair<int32_t, double>> points;
    for (int32_t p = 0; p < queue->pointCount(); ++p) {
        int32_t offset = -1;
        double value = -1.0;
        EXPECT_EQ(queue->readPoint(p, &offset, &value), kResultOk);
        points.emplace_back(offset, value);
    }
    EXPECT_EQ(points, (std::vector<std::pair<int32_t, double>>{{0, 0.8}, {5, 0.9}, {10, 0.1}}));
    EXPECT_EQ(queue->readPoint(3, nullptr, nullptr), kResultFalse);
    EXPECT_EQ(queue->readPoint(-1, nullptr, nullptr), kResultFalse);
    double last = 0.0;
    ASSERT_TRUE(changes->lastValue(gain, last));
    EXPECT_EQ(last, 0.1) << "the last point is the latest offset, not the latest call";

    EXPECT_TRUE(changes->addChange(mode, 0, 0.5));
    EXPECT_EQ(changes->queueFor(&gain, &index), queue);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(changes->queueFor(&third, nullptr), nullptr) << "the list is full";
    EXPECT_FALSE(changes->addChange(third, 0, 0.5));
    EXPECT_EQ(changes->queueFor(nullptr, nullptr), nullptr);
    EXPECT_EQ(changes->queueAt(2), nullptr);
    EXPECT_EQ(changes->queueAt(-1), nullptr);

    changes->clear();
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_EQ(changes->queueAt(0), nullptr);
    IParamQueue* reused = changes->queueFor(&third, nullptr);
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->pointCount(), 0) << "points of the last block leaked in";
    EXPECT_FALSE(changes->lastValue(gain, last));
}

} // namespace
} // namespace SessionKit
