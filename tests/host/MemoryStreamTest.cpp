// The in-memory state stream: reading, writing and seeking the way a
// component's state is saved and restored, and cut-short streams.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/MemoryStream.h"
#include "interfaces/IPtr.h"

namespace {

using NivoloHost::MemoryStream;
using namespace Zel;
using Bytes = std::vector<uint8_t>;

IPtr<MemoryStream> streamOf(Bytes bytes = {}) {
    return IPtr<MemoryStream>::adopt(new MemoryStream(std::move(bytes)));
}

int64_t positionOf(MemoryStream* stream) {
    int64_t position = -1;
    EXPECT_EQ(stream->tell(&position), kResultOk);
    return position;
}

// ---- reading and writing -----------------------------------------------------

TEST(MemoryStreamIo, WrittenBytesReadBack) {
    auto stream = streamOf();
    const Bytes data = {1, 2, 3, 4, 5, 6};
    int32_t written = -1;
    ASSERT_EQ(stream->write(data.data(), 6, &written), kResultOk);
    EXPECT_EQ(written, 6);
    EXPECT_EQ(positionOf(stream.get()), 6);
    EXPECT_EQ(stream->bytes(), data);

    int64_t position = -1;
    ASSERT_EQ(stream->seek(0, IByteStream::kSeekSet, &position), kResultOk);
    EXPECT_EQ(position, 0);
    Bytes back(6);
    int32_t read = -1;
    ASSERT_EQ(stream->read(back.data(), 6, &read), kResultOk);
    EXPECT_EQ(read, 6);
    EXPECT_EQ(back, data);
}

TEST(MemoryStreamIo, ConstructedStreamReadsFromTheStart) {
    auto stream = streamOf({9, 8, 7});
    EXPECT_EQ(positionOf(stream.get()), 0);
    uint8_t first[2] = {};
    ASSERT_EQ(stream->read(first, 2, nullptr), kResultOk);
    EXPECT_EQ(first[0], 9);
    EXPECT_EQ(first[1], 8);
    EXPECT_EQ(positionOf(stream.get()), 2);
}

TEST(MemoryStreamIo, ShortReadTellsHowMuchCame) {
    auto stream = streamOf({1, 2, 3, 4, 5});
    uint8_t buffer[10];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    int32_t read = -1;
    ASSERT_EQ(stream->read(buffer, 10, &read), kResultOk);
    EXPECT_EQ(read, 5);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(buffer[5], 0xEE) << "read past the data";
    EXPECT_EQ(positionOf(stream.get()), 5);

    // At the end there is nothing more, and that is no error.
    ASSERT_EQ(stream->read(buffer, 4, &read), kResultOk);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(positionOf(stream.get()), 5);
}

TEST(MemoryStreamIo, WriteInTheMiddleOverwritesAndGrowsOnlyPastTheEnd) {
    auto stream = streamOf({1, 2, 3, 4});
    ASSERT_EQ(stream->seek(1, IByteStream::kSeekSet, nullptr), kResultOk);
    const uint8_t two[] = {20, 30};
    ASSERT_EQ(stream->write(two, 2, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 20, 30, 4}));

    const uint8_t three[] = {40, 50, 60};
    ASSERT_EQ(stream->write(three, 3, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 20, 30, 40, 50, 60}));
    EXPECT_EQ(positionOf(stream.get()), 6);
}

TEST(MemoryStreamIo, NegativeCountsAreRefused) {
    auto stream = streamOf({1, 2, 3});
    uint8_t buffer[4];
    int32_t count = -1;
    EXPECT_EQ(stream->read(buffer, -1, &count), kInvalidArgument);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(stream->write(buffer, -1, &count), kInvalidArgument);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(stream->read(nullptr, 2, &count), kInvalidArgument);
    EXPECT_EQ(stream->bytes().size(), 3u);
    EXPECT_EQ(positionOf(stream.get()), 0);
}

// ---- seeking -----------------------------------------------------------------

TEST(MemoryStreamSeek, FromStartCurrentAndEnd) {
    auto stream = streamOf({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    int64_t position = -1;
    ASSERT_EQ(stream->seek(4, IByteStream::kSeekSet, &position), kResultOk);
    EXPECT_EQ(position, 4);
    ASSERT_EQ(stream->seek(3, IByteStream::kSeekCurrent, &position), kResultOk);
    EXPECT_EQ(position, 7);
    ASSERT_EQ(stream->seek(-5, IByteStream::kSeekCurrent, &position), kResultOk);
    EXPECT_EQ(position, 2);
    ASSERT_EQ(stream->seek(-2, IByteStream::kSeekEnd, &position), kResultOk);
    EXPECT_EQ(position, 8);
    uint8_t b = 0;
    ASSERT_EQ(stream->read(&b, 1, nullptr), kResultOk);
    EXPECT_EQ(b, 8);
    EXPECT_EQ(positionOf(stream.get()), 9);
}

TEST(MemoryStreamSeek, BeforeTheStartIsRefusedAndKeepsThePosition) {
    auto stream = streamOf({0, 1, 2, 3});
    ASSERT_EQ(stream->seek(2, IByteStream::kSeekSet, nullptr), kResultOk);
    int64_t position = 77;
    EXPECT_EQ(stream->seek(-1, IByteStream::kSeekSet, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(-3, IByteStream::kSeekCurrent, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(-5, IByteStream::kSeekEnd, &position), kInvalidArgument);
    EXPECT_EQ(stream->seek(0, 3, &position), kInvalidArgument) << "unknown mode";
    EXPECT_EQ(positionOf(stream.get()), 2);

    // Exactly the start is fine.
    EXPECT_EQ(stream->seek(-4, IByteStream::kSeekEnd, &position), kResultOk);
    EXPECT_EQ(position, 0);
}

TEST(MemoryStreamSeek, PastTheEndReadsNothingAndWritingFillsTheGapWithZeros) {
    auto stream = streamOf({1, 2});
    ASSERT_EQ(stream->seek(5, IByteStream::kSeekSet, nullptr), kResultOk);
    uint8_t buffer[4];
    int32_t read = -1;
    ASSERT_EQ(stream->read(buffer, 4, &read), kResultOk);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(stream->bytes().size(), 2u) << "reading grew the stream";

    const uint8_t b = 9;
    ASSERT_EQ(stream->write(&b, 1, nullptr), kResultOk);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 2, 0, 0, 0, 9}));
}

TEST(MemoryStreamSeek, TellNeedsSomewhereToWrite) {
    auto stream = streamOf();
    EXPECT_EQ(stream->tell(nullptr), kInvalidArgument);
}

// ---- cut-short streams -------------------------------------------------------

TEST(MemoryStreamTruncate, CutsTheDataAndPullsThePositionBack) {
    auto stream = streamOf({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(stream->seek(5, IByteStream::kSeekSet, nullptr), kResultOk);
    stream->truncate(3);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 2, 3}));
    EXPECT_EQ(positionOf(stream.get()), 3);

    stream->rewind();
    uint8_t buffer[6];
    int32_t read = -1;
    ASSERT_EQ(stream->read(buffer, 6, &read), kResultOk);
    EXPECT_EQ(read, 3);
}

TEST(MemoryStreamTruncate, LongerSizeChangesNothing) {
    auto stream = streamOf({1, 2, 3});
    ASSERT_EQ(stream->seek(1, IByteStream::kSeekSet, nullptr), kResultOk);
    stream->truncate(10);
    EXPECT_EQ(stream->bytes(), (Bytes{1, 2, 3}));
    EXPECT_EQ(positionOf(stream.get()), 1);
}

} // namespace
