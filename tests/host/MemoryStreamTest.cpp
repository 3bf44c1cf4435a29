// The in-memory state stream: reading, writing and seeking the way a
// component's state is saved and restored, and cut-short streams.

#include <gtest/gtest.h>

#include "HostTestSupport.h"

namespace HostTest {
namespace {

IPtr<MemoryStream> streamOf(Bytes bytes = {}) { return IPtr<MemoryStream>::adopt(new MemoryStream(std::move(bytes))); }

int64_t positionOf(MemoryStream* stream) {
    int64_t position = -1;
    EXPECT_EQ(stream->tell(&position), kResultOk);
    return position;
}

// Reads up to n bytes from the current position.
Bytes readUpTo(MemoryStream* stream, int32_t n) {
    Bytes buffer(static_cast<size_t>(n), 0xEE);
    int32_t read = -1;
    EXPECT_EQ(stream->read(buffer.data(), n, &read), kResultOk);
    EXPECT_TRUE(std::all_of(buffer.begin() + std::max(read, 0), buffer.end(), [](uint8_t b) { return b == 0xEE; }))
        << "read past the data";
    buffer.resize(static_cast<size_t>(std::max(read, 0)));
    return buffer;
}

TEST(MemoryStream, WritesOverwriteInTheMiddleGrowPastTheEndAndReadBack) {
    auto stream = streamOf();
    int32_t written = -1;
    const Bytes data = {1, 2, 3, 4};
    ASSERT_EQ(stream->write(data.data(), 4, &written), kResultOk);
    EXPECT_EQ(written, 4);
    EXPECT_EQ(positionOf(stream.get()), 4);
    ASSERT_EQ(stream->seek(1, IByteStream::kSeekSet, nullptr), kResultOk);
    const uint8_t more[] = {20, 30, 40, 50, 60};
    ASSERT_EQ(stream->write(more, 2, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 20, 30, 4}));
    ASSERT_EQ(stream->write(more + 2, 3, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 20, 30, 40, 50, 60}));
    EXPECT_EQ(positionOf(stream.get()), 6);

    stream->rewind();
    EXPECT_EQ(readUpTo(stream.get(), 2), (Bytes{1, 20}));
    EXPECT_EQ(readUpTo(stream.get(), 10), (Bytes{30, 40, 50, 60})) << "a short read tells how much came";
    EXPECT_EQ(readUpTo(stream.get(), 4), Bytes{}) << "at the end there is nothing more, and that is no error";
    EXPECT_EQ(positionOf(stream.get()), 6);
    int32_t count = -1;
    EXPECT_EQ(stream->read(nullptr, 2, &count), kInvalidArgument);
    EXPECT_EQ(stream->write(more, -1, &count), kInvalidArgument);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(stream->bytes().size(), 6u);
}

TEST(MemoryStream, SeeksFromStartCurrentAndEndButNeverBeforeTheStart) {
    auto stream = streamOf({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    struct Step {
        int64_t offset;
        int32_t mode;
        tresult result;
        int64_t position; // afterwards
    };
    const Step steps[] = {
        {4, IByteStream::kSeekSet, kResultOk, 4},           {3, IByteStream::kSeekCurrent, kResultOk, 7},
        {-5, IByteStream::kSeekCurrent, kResultOk, 2},      {-1, IByteStream::kSeekSet, kInvalidArgument, 2},
        {-3, IByteStream::kSeekCurrent, kInvalidArgument, 2}, {-11, IByteStream::kSeekEnd, kInvalidArgument, 2},
        {0, 3, kInvalidArgument, 2} /* unknown mode */,     {-10, IByteStream::kSeekEnd, kResultOk, 0},
        {-2, IByteStream::kSeekEnd, kResultOk, 8},
    };
    for (const Step& s : steps) {
        int64_t reported = -1;
        EXPECT_EQ(stream->seek(s.offset, s.mode, &reported), s.result) << s.offset << " mode " << s.mode;
        if (s.result == kResultOk) {
            EXPECT_EQ(reported, s.position);
        }
        EXPECT_EQ(positionOf(stream.get()), s.position) << s.offset << " mode " << s.mode;
    }
    EXPECT_EQ(readUpTo(stream.get(), 1), Bytes{8});
}

TEST(MemoryStream, PastTheEndReadsNothingAndWritingFillsTheGapWithZeros) {
    auto stream = streamOf({1, 2});
    ASSERT_EQ(stream->seek(5, IByteStream::kSeekSet, nullptr), kResultOk);
    EXPECT_EQ(readUpTo(stream.get(), 4), Bytes{});
    EXPECT_EQ(stream->bytes().size(), 2u) << "reading grew the stream";
    const uint8_t b = 9;
    ASSERT_EQ(stream->write(&b, 1, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 2, 0, 0, 0, 9}));
}

TEST(MemoryStream, TruncateCutsTheDataAndPullsThePositionBackButNeverGrows) {
    auto stream = streamOf({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(stream->seek(5, IByteStream::kSeekSet, nullptr), kResultOk);
    stream->truncate(3);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 2, 3}));
    EXPECT_EQ(positionOf(stream.get()), 3);
    stream->rewind();
    EXPECT_EQ(readUpTo(stream.get(), 6), (Bytes{1, 2, 3}));

    ASSERT_EQ(stream->seek(1, IByteStream::kSeekSet, nullptr), kResultOk);
    stream->truncate(10);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 2, 3}));
    EXPECT_EQ(positionOf(stream.get()), 1);
}

} // namespace
} // namespace HostTest
