// The skin resource as a host finds it in the built module: by handle in this process,
// and in the module file without loading it. Both must give the bytes the build packed,
// laid out as the host reads them, with the entries the skin refers to.

#include "ResourceTestSupport.h"

#include <set>

#include "tools/hrf/ModuleImage.h"

namespace ResourceTest {
namespace {

struct ExpectedEntry {
    const char* name;
    uint32_t flags;
    const char* format; // nullptr: not a bitmap
    uint32_t width, height;
};

// Directory order and flags as the host expects them; PNGs that are already compressed are stored.
const ExpectedEntry kEntries[] = {
    {"duravirormeterback.png", 0xA, "PNG RGBA", 19, 230},
    {"duravirormeterfore.png", 0xA, "PNG RGBA", 19, 230},
    {"background.png", 0xA, "PNG RGBA", 306, 273},
    {"Button.bmp", 0xE, "BMP 24", 57, 77},
    {"LU.png", 0xE, "PNG RGBA", 18, 12},
    {"LUFS.png", 0xA, "PNG RGBA", 36, 12},
    {"sliderhandler.png", 0xA, "PNG RGBA", 8, 16},
    {"Nivolo About.bmp", 0xE, "BMP 24", 306, 273},
    {"skin.xml", 0xE, nullptr, 0, 0},
};

class ModuleResource : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(moduleHandle(), nullptr) << "cannot load " << NIVOLO_MODULE_PATH << ": " << loaderError();
        bytes_ = moduleResource();
        ASSERT_FALSE(bytes_.empty()) << "the module has no RCDATA \"NIVOLO.HRF\" of language 1033";
        std::string error;
        ASSERT_TRUE(Hrf::verify(bytes_.data(), bytes_.size(), dir_, error)) << error;
    }
    std::vector<uint8_t> unpack(const char* name) {
        const Hrf::Entry* e = Hrf::findEntry(dir_, name);
        std::vector<uint8_t> out;
        std::string error;
        if (!e) ADD_FAILURE() << "no entry " << name;
        else EXPECT_TRUE(Hrf::unpackEntry(bytes_.data(), bytes_.size(), *e, out, error)) << error;
        return out;
    }

    std::vector<uint8_t> bytes_;
    Hrf::Directory dir_;
};

TEST_F(ModuleResource, IsTheFileTheBuildPackedAndTheOneInTheModuleFile) {
    EXPECT_EQ(bytes_, readFile(NIVOLO_HRF_PATH));

    const std::vector<uint8_t> image = readFile(NIVOLO_MODULE_PATH);
    size_t offset = 0, length = 0;
    std::string error;
    ASSERT_TRUE(Hrf::findModuleResource(image.data(), image.size(), Hrf::resourceNameForModule(NIVOLO_MODULE_PATH),
                                        "rcdata", Hrf::kLanguageEnglishUS, offset, length, error))
        << error;
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + offset, image.begin() + offset + length), bytes_);
}

TEST_F(ModuleResource, LookupMatchesNamesAndTypesWithoutCaseButLanguageExactly) {
    namespace P = Zel::Platform;
    const uint8_t* data = nullptr;
    size_t size = 0;
    const auto find = [&](P::ModuleHandle module, const char* name, const char* type, uint16_t language) {
        data = nullptr;
        size = 0;
        return P::findResource(module, name, type, language, &data, &size);
    };
    // The host asks with the module's base name and ".hrf".
    ASSERT_TRUE(find(moduleHandle(), "nivolo.hrf", "rcdata", P::kLanguageEnglishUS));
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), bytes_);
    EXPECT_TRUE(find(moduleHandle(), "Nivolo.Hrf", "RCDATA", P::kLanguageAny));
    EXPECT_FALSE(find(moduleHandle(), "NIVOLO.HRF", "RCDATA", 1031));
    EXPECT_FALSE(find(moduleHandle(), "NIVOLO.HR", "RCDATA", P::kLanguageEnglishUS));
    EXPECT_FALSE(find(moduleHandle(), "NIVOLO.HRF", "BITMAP", P::kLanguageEnglishUS));
    // Another module (this test program) and no module at all have none.
    EXPECT_FALSE(find(P::moduleHandle(), "NIVOLO.HRF", "RCDATA", P::kLanguageAny));
    EXPECT_FALSE(find(nullptr, "NIVOLO.HRF", "RCDATA", P::kLanguageAny));
    EXPECT_EQ(data, nullptr);
}

TEST_F(ModuleResource, DirectorySitsBeforeTheTrailerWithTheEntriesInOrder) {
    const uint8_t* trailer = bytes_.data() + bytes_.size() - 48;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(trailer + 44), 4), "HRF3");
    EXPECT_EQ(le32(trailer + 40), 48u);
    EXPECT_EQ(dir_.directoryOffset, bytes_.size() - 48 - le32(trailer + 32));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes_.data()), 25), "Halvernik Resource File\r\n");

    ASSERT_EQ(dir_.entries.size(), std::size(kEntries));
    EXPECT_EQ(dir_.entries[0].offset, 25u);
    for (size_t i = 0; i < dir_.entries.size(); ++i) {
        const Hrf::Entry& e = dir_.entries[i];
        SCOPED_TRACE(kEntries[i].name);
        EXPECT_EQ(e.name, kEntries[i].name);
        EXPECT_EQ(e.flags, kEntries[i].flags);
    }
}

TEST_F(ModuleResource, EveryEntryIsItsSourceFileAndEveryBitmapHasItsSizeAndFormat) {
    for (const ExpectedEntry& expected : kEntries) {
        SCOPED_TRACE(expected.name);
        const std::vector<uint8_t> content = unpack(expected.name);
        EXPECT_EQ(content, readFile(std::string(NIVOLO_RESOURCES_DIR) + "/" + expected.name));
        if (!expected.format) continue;
        ImageInfo info;
        std::string why;
        ASSERT_TRUE(imageInfo(content, info, why)) << why;
        EXPECT_EQ(info.format, expected.format);
        EXPECT_EQ(info.width, expected.width);
        EXPECT_EQ(info.height, expected.height);
    }
}

TEST_F(ModuleResource, SkinInflatesToItsSizeAndEveryBitmapPathFindsItsEntry) {
    const Hrf::Entry* skin = Hrf::findEntry(dir_, "skin.xml");
    ASSERT_NE(skin, nullptr);
    const std::vector<uint8_t> xml = unpack("skin.xml");
    EXPECT_EQ(xml.size(), skin->unpackedSize);

    XmlDocument doc;
    std::string error;
    ASSERT_TRUE(XmlReader::parse(std::string_view(reinterpret_cast<const char*>(xml.data()), xml.size()), doc, error))
        << error;
    std::set<std::string> paths;
    for (const XmlElement& r : doc.root.children)
        if (r.name == "resources")
            for (const XmlElement& b : r.children)
                if (b.name == "bitmap") paths.insert(b.get("path"));
    EXPECT_EQ(paths.size(), 8u);
    // "sliderHandler.png" is stored as "sliderhandler.png": the host ignores case.
    EXPECT_TRUE(paths.count("sliderHandler.png"));
    for (const std::string& path : paths) EXPECT_NE(Hrf::findEntry(dir_, path), nullptr) << path;
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
