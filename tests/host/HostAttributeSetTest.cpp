// Message attributes: typed values under 8-bit keys, and the string buffer
// rules the module relies on when it reads text.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/HostAttributeSet.h"
#include "interfaces/IPtr.h"

namespace {

using NivoloHost::HostAttributeSet;
using namespace Zel;

class HostAttributes : public ::testing::Test {
protected:
    IPtr<HostAttributeSet> set_ = IPtr<HostAttributeSet>::adopt(new HostAttributeSet);
};

// ---- round trips -------------------------------------------------------------

TEST_F(HostAttributes, IntegersRoundTripOverTheWholeRange) {
    for (int64_t v : {int64_t{0}, int64_t{-1}, std::numeric_limits<int64_t>::min(),
                      std::numeric_limits<int64_t>::max()}) {
        ASSERT_EQ(set_->setInt("Value", v), kResultOk);
        int64_t read = 7;
        ASSERT_EQ(set_->getInt("Value", read), kResultOk);
        EXPECT_EQ(read, v);
    }
}

TEST_F(HostAttributes, FloatsRoundTripExactly) {
    for (double v : {0.0, -0.5, 1e-300, 123456.789, std::numeric_limits<double>::max()}) {
        ASSERT_EQ(set_->setFloat("Level", v), kResultOk);
        double read = 7;
        ASSERT_EQ(set_->getFloat("Level", read), kResultOk);
        EXPECT_EQ(read, v);
    }
}

TEST_F(HostAttributes, StringsRoundTripIncludingPairs) {
    const std::u16string text = u"Gr\u00fc\u00dfe \u20ac \U0001F3B5";
    ASSERT_EQ(set_->setString("Text", text.c_str()), kResultOk);
    char16_t buffer[64];
    ASSERT_EQ(set_->getString("Text", buffer, sizeof buffer), kResultOk);
    EXPECT_EQ(std::u16string(buffer), text);
}

TEST_F(HostAttributes, BinaryIsCopiedWithEmbeddedZeros) {
    std::vector<uint8_t> source = {0, 1, 0, 255, 0};
    ASSERT_EQ(set_->setBinary("Data", source.data(), static_cast<uint32_t>(source.size())), kResultOk);
    source.assign(source.size(), 9); // the set keeps its own copy
    const void* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(set_->getBinary("Data", data, size), kResultOk);
    ASSERT_EQ(size, 5u);
    const std::vector<uint8_t> expected = {0, 1, 0, 255, 0};
    EXPECT_EQ(std::memcmp(data, expected.data(), 5), 0);
}

TEST_F(HostAttributes, EmptyBinaryIsAValue) {
    ASSERT_EQ(set_->setBinary("Empty", nullptr, 0), kResultOk);
    const void* data = nullptr;
    uint32_t size = 99;
    EXPECT_EQ(set_->getBinary("Empty", data, size), kResultOk);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(set_->setBinary("Bad", nullptr, 4), kInvalidArgument);
    EXPECT_EQ(set_->getBinary("Bad", data, size), kResultFalse);
}

TEST_F(HostAttributes, SettingAKeyAgainReplacesValueAndType) {
    ASSERT_EQ(set_->setInt("Key", 1), kResultOk);
    ASSERT_EQ(set_->setInt("Key", 2), kResultOk);
    int64_t i = 0;
    ASSERT_EQ(set_->getInt("Key", i), kResultOk);
    EXPECT_EQ(i, 2);

    ASSERT_EQ(set_->setFloat("Key", 0.25), kResultOk);
    EXPECT_EQ(set_->getInt("Key", i), kResultFalse) << "the old int survived";
    double f = 0;
    EXPECT_EQ(set_->getFloat("Key", f), kResultOk);
    EXPECT_EQ(f, 0.25);
}

TEST_F(HostAttributes, KeysAreWholeStrings) {
    ASSERT_EQ(set_->setInt("Value", 1), kResultOk);
    ASSERT_EQ(set_->setInt("ValueX", 2), kResultOk);
    int64_t v = 0;
    ASSERT_EQ(set_->getInt("Value", v), kResultOk);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(set_->getInt("Valu", v), kResultFalse);
    EXPECT_EQ(set_->getInt("value", v), kResultFalse);
}

// ---- refusals ----------------------------------------------------------------

TEST_F(HostAttributes, WrongTypeIsRefused) {
    ASSERT_EQ(set_->setInt("Int", 5), kResultOk);
    double f;
    char16_t s[8];
    const void* data;
    uint32_t size;
    EXPECT_EQ(set_->getFloat("Int", f), kResultFalse);
    EXPECT_EQ(set_->getString("Int", s, sizeof s), kResultFalse);
    EXPECT_EQ(set_->getBinary("Int", data, size), kResultFalse);

    ASSERT_EQ(set_->setString("Text", u"5"), kResultOk);
    int64_t i;
    EXPECT_EQ(set_->getInt("Text", i), kResultFalse);
    EXPECT_EQ(set_->getBinary("Text", data, size), kResultFalse);
}

TEST_F(HostAttributes, MissingAndNullKeysAreRefused) {
    int64_t i;
    double f;
    char16_t s[8];
    const void* data;
    uint32_t size;
    EXPECT_EQ(set_->getInt("Missing", i), kResultFalse);
    EXPECT_EQ(set_->getFloat("Missing", f), kResultFalse);
    EXPECT_EQ(set_->getString("Missing", s, sizeof s), kResultFalse);
    EXPECT_EQ(set_->getBinary("Missing", data, size), kResultFalse);
    EXPECT_EQ(set_->getInt(nullptr, i), kResultFalse);

    EXPECT_EQ(set_->setInt(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(set_->setFloat(nullptr, 1), kInvalidArgument);
    EXPECT_EQ(set_->setString(nullptr, u"x"), kInvalidArgument);
    EXPECT_EQ(set_->setString("Text", nullptr), kInvalidArgument);
    EXPECT_EQ(set_->getString("Text", s, sizeof s), kResultFalse) << "a null string was stored";
    EXPECT_EQ(set_->setBinary(nullptr, "x", 1), kInvalidArgument);
}

// ---- string buffers ----------------------------------------------------------

// Reads "hello" into a buffer of sizeInBytes bytes placed in a larger poisoned one.
struct StringRead {
    tresult result;
    std::u16string text;
    bool beyondUntouched;
};

StringRead readHello(HostAttributeSet* set, uint32_t sizeInBytes) {
    char16_t buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    StringRead r;
    r.result = set->getString("Text", buffer, sizeInBytes);
    const size_t units = sizeInBytes / 2;
    size_t n = 0;
    while (n < units && buffer[n] != 0) ++n;
    r.text = n < units ? std::u16string(buffer, n) : u"<unterminated>";
    r.beyondUntouched = true;
    for (size_t i = units; i < 16; ++i) r.beyondUntouched = r.beyondUntouched && buffer[i] == u'#';
    return r;
}

TEST_F(HostAttributes, StringIsCutToTheBufferAndTerminated) {
    ASSERT_EQ(set_->setString("Text", u"hello"), kResultOk);
    struct Case {
        uint32_t bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        {32, u"hello"}, {12, u"hello"}, {10, u"hell"}, {6, u"he"}, {7, u"he"}, {2, u""}, {3, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        StringRead r = readHello(set_.get(), c.bytes);
        EXPECT_EQ(r.result, kResultOk);
        EXPECT_EQ(r.text, c.expected);
        EXPECT_TRUE(r.beyondUntouched) << "wrote past the buffer";
    }
}

TEST_F(HostAttributes, BufferWithoutRoomIsRefused) {
    ASSERT_EQ(set_->setString("Text", u"hello"), kResultOk);
    for (uint32_t bytes : {0u, 1u}) {
        SCOPED_TRACE(bytes);
        StringRead r = readHello(set_.get(), bytes);
        EXPECT_EQ(r.result, kResultFalse);
        EXPECT_TRUE(r.beyondUntouched);
    }
    EXPECT_EQ(set_->getString("Text", nullptr, 32), kResultFalse);
}

} // namespace
