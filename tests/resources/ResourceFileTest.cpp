// The resource file format: what the packer writes reads back byte for byte, and
// the reader refuses damaged files with one line, whatever is cut off or flipped.

#include "ResourceTestSupport.h"

#include <algorithm>
#include <functional>
#include <random>

namespace ResourceTest {
namespace {

constexpr const char* kId = "443752F15680439CAC5CB48A13A8D6DE";

std::vector<uint8_t> noise(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out) b = static_cast<uint8_t>(random());
    return out;
}

std::vector<uint8_t> text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> packed(const std::vector<Hrf::PackItem>& items) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(Hrf::pack(items, kId, out, error)) << error;
    return out;
}

void putLe(std::vector<uint8_t>& file, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The reader's verdict on a whole file: verify, and on failure its message.
std::string verdict(const std::vector<uint8_t>& file) {
    Hrf::Directory dir;
    std::string error;
    return Hrf::verify(file.data(), file.size(), dir, error) ? "ok" : error;
}

// ---- Writing and reading back ----------------------------------------------------------

TEST(ResourceFile, PackedEntriesReadBackExactlyStoredOrDeflated) {
    const std::vector<Hrf::PackItem> items = {
        {"a.png", noise(3000, 1), false},
        {"empty", {}, true},
        {"Skin.xml", text(std::string(5000, 'x') + "<skin/>\r\n"), true},
        {"with blank.bmp", noise(1, 2), false},
        {"random.bin", noise(70000, 3), true}, // does not shrink, still deflated
    };
    const std::vector<uint8_t> file = packed(items);
    Hrf::Directory dir;
    std::string error;
    ASSERT_TRUE(Hrf::verify(file.data(), file.size(), dir, error)) << error;
    EXPECT_EQ(dir.identifier, kId);
    ASSERT_EQ(dir.entries.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const Hrf::Entry& e = dir.entries[i];
        EXPECT_EQ(e.name, items[i].name);
        EXPECT_EQ(e.deflated(), items[i].deflate) << e.name;
        std::vector<uint8_t> content;
        ASSERT_TRUE(Hrf::unpackEntry(file.data(), file.size(), e, content, error)) << error;
        EXPECT_EQ(content, items[i].bytes) << e.name;
    }
    EXPECT_LT(dir.entries[2].storedSize, 200u);
    EXPECT_EQ(Hrf::findEntry(dir, "SKIN.XML"), &dir.entries[2]);
    EXPECT_EQ(Hrf::findEntry(dir, "skin.xm"), nullptr);
}

TEST(ResourceFile, PackerRefusesNamesAndIdentifiersAReaderWouldReject) {
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_FALSE(Hrf::pack({{"skin.xml", {}, false}, {"SKIN.XML", {}, true}}, kId, out, error));
    EXPECT_NE(error.find("SKIN.XML"), std::string::npos) << error;
    for (const std::string& name : {std::string(), std::string("a\0b", 3)})
        EXPECT_FALSE(Hrf::pack({{name, {}, false}}, kId, out, error)) << name.size();
    for (const char* id : {"443752f15680439cac5cb48a13a8d6de", "443752F15680439CAC5CB48A13A8D6D"})
        EXPECT_FALSE(Hrf::pack({{"a", {}, false}}, id, out, error)) << id;
    EXPECT_TRUE(Hrf::pack({}, kId, out, error)) << error; // an empty file is still a file
    EXPECT_EQ(verdict(out), "ok");
}

// ---- Damage the reader names -----------------------------------------------------------

class DamagedFile : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = packed({{"first.png", noise(500, 4), false}, {"fir2t.png", noise(800, 5), false},
                        {"skin.xml", text(std::string(3000, 's')), true}});
        std::string error;
        ASSERT_TRUE(Hrf::readDirectory(file_.data(), file_.size(), dir_, error)) << error;
    }
    size_t trailer() const { return file_.size() - 48; }
    size_t record(size_t i) const { // directory position of entry i
        size_t at = dir_.directoryOffset;
        for (size_t k = 0; k < i; ++k) at += 20 + (dir_.entries[k].deflated() ? 8 : 0) + dir_.entries[k].name.size() + 1;
        return at;
    }

    std::vector<uint8_t> file_;
    Hrf::Directory dir_;
};

// Each damage names what is wrong, in one line.
TEST_F(DamagedFile, IsRejectedNamingTheDamage) {
    const auto& e = dir_.entries;
    struct Case {
        std::function<void(std::vector<uint8_t>&)> damage;
        std::string words;
    };
    const Case cases[] = {
        {[&](auto& d) { d[d.size() - 1] = '2'; }, "wrong magic"},
        {[&](auto& d) { d[3] ^= 0x20; }, "header line"},
        {[&](auto& d) { putLe(d, trailer() + 40, 47, 4); }, "trailer size"},
        {[&](auto& d) { putLe(d, record(0) + 12, e[0].storedSize + 1, 8); }, "do not add up"},
        {[&](auto& d) { putLe(d, record(2) + 12, e[2].storedSize - 1, 8); }, "do not add up"},
        {[&](auto& d) { putLe(d, trailer() + 36, 2, 4); }, "do not add up"}, // the directory has bytes left over
        {[&](auto& d) { putLe(d, trailer() + 32, file_.size(), 4); }, "runs past the file"},
        {[&](auto& d) { putLe(d, trailer() + 36, 4, 4); }, "entry 4 runs past the end of the directory"},
        // A size that wraps any unchecked sum.
        {[&](auto& d) { putLe(d, record(1) + 12, uint64_t{1} << 63, 8); }, "runs into the directory"},
        {[&](auto& d) { putLe(d, record(2) + 20, 2999, 8); }, "does not inflate to its 2999 bytes"},
        {[&](auto& d) { putLe(d, record(2) + 20, 3001, 8); }, "does not inflate to its 3001 bytes"},
        {[&](auto& d) { putLe(d, record(2) + 20, uint64_t{1} << 62, 8); },
         "does not inflate to its " + std::to_string(uint64_t{1} << 62) + " bytes"},
        {[&](auto& d) { d[e[2].offset + 5] ^= 0xFF; }, "does not inflate"},
        {[&](auto& d) { d[record(1) + 20 + 3] = 'S'; }, "used twice"}, // "firSt.png"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        auto d = file_;
        c.damage(d);
        const std::string message = verdict(d);
        EXPECT_NE(message.find(c.words), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
}

// ---- Sweeps over the module's own resource --------------------------------------------

class DamageSweep : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(moduleHandle(), nullptr) << loaderError();
        file_ = moduleResource();
        ASSERT_FALSE(file_.empty());
        std::string error;
        ASSERT_TRUE(Hrf::verify(file_.data(), file_.size(), dir_, error)) << error;
    }

    // Directory bytes that name entries (their characters and terminating zero).
    bool inName(size_t at) const {
        size_t p = dir_.directoryOffset;
        for (const Hrf::Entry& e : dir_.entries) {
            p += 20 + (e.deflated() ? 8 : 0);
            if (at >= p && at <= p + e.name.size()) return true;
            p += e.name.size() + 1;
        }
        return false;
    }

    std::vector<uint8_t> file_;
    Hrf::Directory dir_;
};

TEST_F(DamageSweep, EveryTruncationIsRefusedWithOneLine) {
    for (size_t size = 0; size < file_.size(); ++size) {
        const std::vector<uint8_t> cut(file_.begin(), file_.begin() + static_cast<ptrdiff_t>(size));
        Hrf::Directory dir;
        std::string error;
        ASSERT_FALSE(Hrf::readDirectory(cut.data(), cut.size(), dir, error)) << "accepted " << size << " bytes";
        ASSERT_TRUE(!error.empty() && error.find('\n') == std::string::npos) << error;
    }
}

TEST_F(DamageSweep, EveryFlippedBitOfHeaderTrailerAndDirectoryIsRefusedOrOnlyRenames) {
    std::vector<size_t> positions;
    for (size_t i = 0; i < 25; ++i) positions.push_back(i);
    for (size_t i = dir_.directoryOffset; i < file_.size(); ++i) positions.push_back(i);
    size_t refused = 0, renamed = 0;
    std::vector<uint8_t> d = file_;
    for (const size_t at : positions) {
        const bool identifier = at >= file_.size() - 48 && at < file_.size() - 16;
        for (int bit = 0; bit < 8; ++bit) {
            d[at] ^= static_cast<uint8_t>(1u << bit);
            Hrf::Directory dir;
            std::string error;
            if (!Hrf::verify(d.data(), d.size(), dir, error)) {
                ++refused;
                EXPECT_EQ(error.find('\n'), std::string::npos);
            } else {
                // No check can see a changed name or identifier; everything else must stay put.
                ASSERT_TRUE(identifier || inName(at)) << "flip of bit " << bit << " at " << at << " accepted";
                ++renamed;
                ASSERT_EQ(dir.entries.size(), dir_.entries.size());
                size_t changedNames = 0;
                for (size_t i = 0; i < dir.entries.size(); ++i) {
                    EXPECT_EQ(dir.entries[i].offset, dir_.entries[i].offset);
                    EXPECT_EQ(dir.entries[i].storedSize, dir_.entries[i].storedSize);
                    EXPECT_EQ(dir.entries[i].unpackedSize, dir_.entries[i].unpackedSize);
                    changedNames += dir.entries[i].name != dir_.entries[i].name;
                }
                EXPECT_EQ(changedNames + (dir.identifier != dir_.identifier), 1u);
            }
            d[at] ^= static_cast<uint8_t>(1u << bit);
        }
    }
    EXPECT_GT(refused, renamed);
}

TEST_F(DamageSweep, RandomFlipsInDataAreCaughtInDeflatedEntriesAndConfinedInStoredOnes) {
    std::mt19937 random(20240611); // fixed seed
    std::vector<uint8_t> d = file_;
    size_t caught = 0;
    for (int round = 0; round < 400; ++round) {
        const size_t at = 25 + random() % (dir_.directoryOffset - 25);
        const auto mask = static_cast<uint8_t>(1u << (random() % 8));
        const Hrf::Entry& e = *std::find_if(dir_.entries.begin(), dir_.entries.end(),
                                            [&](const Hrf::Entry& x) { return at < x.offset + x.storedSize; });
        std::vector<uint8_t> expected, content;
        std::string error;
        ASSERT_TRUE(Hrf::unpackEntry(file_.data(), file_.size(), e, expected, error)) << error;
        d[at] ^= mask;
        const bool unpacked = Hrf::unpackEntry(d.data(), d.size(), e, content, error);
        d[at] ^= mask;
        if (!e.deflated()) expected[at - e.offset] ^= mask;
        // zlib's own checks catch a flip in a deflated entry, unless the stream never reads that bit.
        if (unpacked || !e.deflated()) {
            EXPECT_EQ(content, expected) << e.name << " at " << at;
        }
        caught += !unpacked;
    }
    EXPECT_GT(caught, 0u);
}

} // namespace
} // namespace ResourceTest
