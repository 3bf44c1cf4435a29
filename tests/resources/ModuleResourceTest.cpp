// The skin resource as a host finds it in the built module: by handle in this process,
// and in the module file without loading it. Both must give the bytes the build packed
// from the pack list; a damaged module file never leads the reader outside it.

#include "ResourceTestSupport.h"

#include "tools/hrf/ModuleImage.h"

namespace ResourceTest {
namespace {

class ModuleResource : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(moduleHandle(), nullptr) << "cannot load " << NIVOLO_MODULE_PATH << ": " << loaderError();
        ASSERT_FALSE(bytes_.empty()) << "the module has no RCDATA \"NIVOLO.HRF\" of language 1033";
        ASSERT_TRUE(Hrf::verify(bytes_.data(), bytes_.size(), dir_, error_)) << error_;
    }
    std::vector<uint8_t> bytes_ = moduleResource();
    Hrf::Directory dir_;
    std::string error_;
};

TEST_F(ModuleResource, IsTheFileTheBuildPackedFoundByNameAndTypeInAnyCaseButLanguageExactly) {
    EXPECT_EQ(bytes_, readFile(NIVOLO_HRF_PATH));
    const std::vector<uint8_t> image = readFile(NIVOLO_MODULE_PATH);
    size_t offset = 0, length = 0;
    ASSERT_TRUE(Hrf::findModuleResource(image.data(), image.size(), Hrf::resourceNameForModule(NIVOLO_MODULE_PATH),
                                        "rcdata", Hrf::kLanguageEnglishUS, offset, length, error_))
        << error_;
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + offset, image.begin() + offset + length), bytes_);

    namespace P = Zel::Platform;
    const uint8_t* data = nullptr;
    size_t size = 0;
    const auto find = [&](P::ModuleHandle module, const char* name, const char* type, uint16_t language) {
        data = nullptr;
        return P::findResource(module, name, type, language, &data, &size);
    };
    ASSERT_TRUE(find(moduleHandle(), "nivolo.hrf", "rcdata", P::kLanguageEnglishUS)); // as the host asks
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), bytes_);
    EXPECT_TRUE(find(moduleHandle(), "Nivolo.Hrf", "RCDATA", P::kLanguageAny));
    EXPECT_FALSE(find(moduleHandle(), "NIVOLO.HRF", "RCDATA", 1031));
    EXPECT_FALSE(find(moduleHandle(), "NIVOLO.HR", "RCDATA", P::kLanguageEnglishUS));
    EXPECT_FALSE(find(moduleHandle(), "NIVOLO.HRF", "BITMAP", P::kLanguageEnglishUS));
    EXPECT_FALSE(find(P::moduleHandle(), "NIVOLO.HRF", "RCDATA", P::kLanguageAny)) << "this test program has none";
    EXPECT_FALSE(find(nullptr, "NIVOLO.HRF", "RCDATA", P::kLanguageAny));
    EXPECT_EQ(data, nullptr);
}

// ---- The module file as a host reads it, damaged --------------------------------------

class ModuleImage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Hrf::findModuleResource(image.data(), image.size(), "nivolo.hrf", "RCDATA", 1033, offset, length, error));
    }
    bool windowsModule() const { return image.size() > 2 && image[0] == 'M' && image[1] == 'Z'; }

    std::vector<uint8_t> image = readFile(NIVOLO_MODULE_PATH);
    size_t offset = 0, length = 0;
    std::string error;
};

TEST_F(ModuleImage, TruncatedModuleFilesFailCleanlyUntilTheTableIsWhole) {
    const size_t whole = offset + length;
    // Every size over the headers and over the table's last page; in between (a DLL's
    // resources sit behind its code) sizes a prime stride apart.
    auto next = [whole](size_t size) { return size < 4096 || size + 4096 > whole ? size + 1 : size + 4093; };
    for (size_t size = 0; size < whole + 64 && size <= image.size(); size = next(size)) {
        const std::vector<uint8_t> cut(image.begin(), image.begin() + size); // exact size, so overreads show
        size_t o = 0, n = 0;
        const bool found = Hrf::findModuleResource(cut.data(), cut.size(), "nivolo.hrf", "RCDATA", 1033, o, n, error);
        if (size < whole) {
            ASSERT_FALSE(found) << "found in the first " << size << " bytes";
            ASSERT_EQ(error.find('\n'), std::string::npos);
        } else if (size >= whole + (windowsModule() ? 0 : 3)) { // an ELF note segment ends after padding to 4 bytes
            ASSERT_TRUE(found) << size << ": " << error;
            ASSERT_EQ(o, offset);
        }
    }
}

TEST_F(ModuleImage, FlippedHeaderAndTableBitsNeverLeadOutsideTheFile) {
    // ELF: its header, the program headers, the notes up to the table's strings.
    // PE: the DOS header, the PE headers with the section table, the resource directory.
    std::vector<std::pair<size_t, size_t>> regions;
    if (windowsModule()) {
        const size_t pe = le32(&image[0x3C]);
        regions = {{0, 64}, {pe, 24 + size_t{le16(&image[pe + 20])} + size_t{le16(&image[pe + 6])} * 40}, {offset - 128, 128}};
    } else {
        const size_t phoff = static_cast<size_t>(le32(&image[32])), phsize = size_t{le16(&image[54])} * le16(&image[56]);
        regions = {{0, 64}, {phoff, phsize}, {offset - 128, 128}};
    }
    for (const auto& [start, count] : regions) {
        for (size_t bit = 0; bit < count * 8; ++bit) {
            const size_t at = start + bit / 8;
            image[at] ^= static_cast<uint8_t>(1u << (bit % 8));
            size_t o = 0, n = 0;
            if (Hrf::findModuleResource(image.data(), image.size(), "nivolo.hrf", "RCDATA", 1033, o, n, error)) {
                ASSERT_TRUE(o <= image.size() && n <= image.size() - o) << "flip at " << at;
            }
            image[at] ^= static_cast<uint8_t>(1u << (bit % 8));
        }
    }
}

} // namespace
} // namespace ResourceTest
