// The skin service: finding a module's skin resource by the module's handle,
// its bitmaps (decoded, sections cut), colours and templates, and the colour
// groups a plug-in hands over.

#include <gtest/gtest.h>

#include "host/view/EditorView.h"
#include "host/view/ModuleResourceReader.h"
#include "tools/hrf/HrfFile.h"
#include "tests/hostview/HostViewTestSupport.h"

namespace {

using namespace HostViewTest;
using NivoloHost::Bitmap;
using NivoloHost::SkinService;

// Width and height from a PNG's header chunk, read here without any decoder.
std::pair<int, int> pngSize(const std::vector<uint8_t>& png) {
    auto be32 = [&](size_t at) { return png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3]; };
    return png.size() >= 24 ? std::pair<int, int>{be32(16), be32(20)} : std::pair<int, int>{0, 0};
}

TEST(SkinServiceModule, FindsTheSkinByTheModuleHandleAndNameInAnyCase) {
    LoadedModule module;
    ASSERT_NE(module.handle(), nullptr);
    auto skins = IPtr<SkinService>::adopt(new SkinService);
    ASSERT_EQ(skins->registerSkin(module.handle(), u"nivolo.hrf"), kResultOk) << skins->lastError();
    EXPECT_EQ(skins->hasTemplate("DuravIrorSmallVazEzaru"), kResultTrue);
    // The module's own table says "NIVOLO.HRF".
    EXPECT_EQ(skins->registerSkin(module.handle(), u"Nivolo.HRF"), kResultOk) << skins->lastError();
    EXPECT_EQ(skins->skinCount(), 1u) << "a module registered again replaces its skin";
    EXPECT_EQ(skins->unregisterSkin(module.handle()), kResultOk);
    EXPECT_EQ(skins->hasTemplate("DuravIrorSmallVazEzaru"), kResultFalse);

    EXPECT_EQ(skins->registerSkin(module.handle(), u"other.hrf"), kResultFalse);
    EXPECT_NE(skins->lastError().find("\"other.hrf\""), std::string::npos) << skins->lastError();
    // An address inside the module is not its handle.
    EXPECT_EQ(skins->registerSkin(static_cast<char*>(module.handle()) + 4096, u"nivolo.hrf"), kResultFalse);
    EXPECT_NE(skins->lastError().find("no module"), std::string::npos) << skins->lastError();
    EXPECT_EQ(skins->registerSkin(nullptr, u"nivolo.hrf"), kInvalidArgument);
    EXPECT_EQ(skins->skinCount(), 0u);
    std::string error;
    EXPECT_TRUE(NivoloHost::ModuleResourceReader::modulePath(module.handle(), error).ends_with("nivolo.so"));
}

class SkinServiceContent : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> file = readSkinFile();
        ASSERT_TRUE(skins->registerSkinData(this, file.data(), file.size())) << skins->lastError();
    }
    IPtr<SkinService> skins = IPtr<SkinService>::adopt(new SkinService);
};

TEST_F(SkinServiceContent, BitmapsHaveTheSizesOfTheirFilesWhateverTheCaseOfTheirPaths) {
    // The skin asks for "sliderHandler.png"; the entry is "sliderhandler.png".
    const std::pair<const char*, const char*> pngs[] = {
        {"bmDuravIrorBack", "background.png"},        {"bmLU", "LU.png"},
        {"bmLUFS", "LUFS.png"},                       {"bmDuravIrorMeterHorizFore", "duravirormeterfore.png"},
        {"bmDuravIrorMeterHorizBack", "duravirormeterback.png"}, {"bmSliderHandle", "sliderhandler.png"},
    };
    for (const auto& [name, file] : pngs) {
        IPtr<Bitmap> bitmap = bitmapOf(*skins, name);
        ASSERT_TRUE(bitmap) << name;
        auto [w, h] = pngSize(skinEntry(file));
        double width = 0, height = 0;
        ASSERT_EQ(bitmap->getSize(&width, &height), kResultOk);
        EXPECT_EQ(width, w) << name;
        EXPECT_EQ(height, h) << name;
        EXPECT_EQ(bitmap->alpha(), 0xFF) << name;
    }
    IPtr<Bitmap> about = bitmapOf(*skins, "bmDuravIrorAbout");
    ASSERT_TRUE(about);
    EXPECT_EQ(about->width(), 306);
    EXPECT_EQ(about->height(), 273);
    FUnknown* none = reinterpret_cast<FUnknown*>(0x1);
    EXPECT_EQ(skins->getBitmap("bmNothing", &none), kResultFalse);
    EXPECT_EQ(none, nullptr);
}

TEST_F(SkinServiceContent, SectionsShowTheirParentsPixels) {
    IPtr<Bitmap> back = bitmapOf(*skins, "bmDuravIrorBack"), slider = bitmapOf(*skins, "bmSliderBack");
    ASSERT_TRUE(back && slider);
    ASSERT_EQ(slider->width(), 8);
    ASSERT_EQ(slider->height(), 240);
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(slider->pixel(x, y), back->pixel(42 + x, 10 + y)) << x << "," << y;
    EXPECT_EQ(slider->pixel(8, 0), 0u) << "outside the section";
    ViewRect rect;
    ASSERT_EQ(slider->getRect(&rect), kResultOk);
    EXPECT_EQ(rect.right, 8);
}

TEST_F(SkinServiceContent, ColoursFontsAndTemplates) {
    ColourArgb colour = 0;
    ASSERT_EQ(skins->getColour("ap.data.normal", &colour), kResultOk);
    EXPECT_EQ(colour, 0xFF06FBC5u);
    ASSERT_EQ(skins->getColour("ap.data.red", &colour), kResultOk);
    EXPECT_EQ(colour & 0xFFFF00FFu, 0xFFFF0000u) << "hue 10: full red, some green, no blue";
    EXPECT_EQ(skins->getColour("ap.data.blue", &colour), kResultFalse);
    char face[64];
    ASSERT_EQ(skins->getFontFace("Arial", face, sizeof face), kResultOk);
    EXPECT_STREQ(face, "Liberation Sans");

    ASSERT_EQ(skins->templateCount(), 1);
    char name[8];
    ASSERT_EQ(skins->templateName(0, name, sizeof name), kResultOk);
    EXPECT_STREQ(name, "DuravIr") << "cut to the buffer";
    EXPECT_EQ(skins->templateName(1, name, sizeof name), kResultFalse);
    ViewRect size;
    ASSERT_EQ(skins->templateSize("DuravIrorSmallVazEzaru", &size), kResultOk);
    EXPECT_EQ(size.width(), 306);
    EXPECT_EQ(size.height(), 273);

    IPlugView* view = reinterpret_cast<IPlugView*>(0x1);
    EXPECT_EQ(skins->createView("NoSuchTemplate", nullptr, &view), kResultFalse);
    EXPECT_EQ(view, nullptr);
    ASSERT_EQ(skins->createView("DuravIrorSmallVazEzaru", nullptr, &view), kResultOk);
    auto editor = IPtr<IPlugView>::adopt(view);
    ASSERT_EQ(editor->getSize(&size), kResultOk);
    EXPECT_EQ(size.width(), 306);
    EXPECT_EQ(editor->getSize(nullptr), kInvalidArgument);
}

TEST(SkinServiceFaults, AFaultySkinIsReportedOnOneLine) {
    // The description names a bitmap whose path breaks the line.
    const std::string xml = "<skin><resources><bitmap name=\"b\" path=\"lost&#10;picture.png\"/></resources></skin>";
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(Hrf::pack({{"skin.xml", std::vector<uint8_t>(xml.begin(), xml.end()), false}},
                          "00112233445566778899AABBCCDDEEFF", file, error))
        << error;
    auto skins = IPtr<SkinService>::adopt(new SkinService);
    int key = 0;
    EXPECT_FALSE(skins->registerSkinData(&key, file.data(), file.size()));
    EXPECT_EQ(skins->lastError().find_first_of("\r\n"), std::string::npos) << skins->lastError();
    EXPECT_NE(skins->lastError().find("\"lost\\x0Apicture.png\""), std::string::npos) << skins->lastError();
}

// A plug-in's colour groups, as the module's empty shared set answers.
class Groups final : public IColorGroupInformation {
public:
    virtual ~Groups() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IColorGroupInformation>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS
    tresult assign(IColorGroupInformation*) override { return kResultFalse; }
    tresult groupCount(int32_t* count) override {
        *count = 0;
        return kResultFalse;
    }
    tresult groupAt(int32_t, FUnknown** transform) override {
        *transform = nullptr;
        return kResultFalse;
    }
    RefCount refCount_;
};

// A module hands its groups over after registering its skin and may be
// unloaded after unregistering it: nothing of it may be held then.
TEST(SkinServiceGroups, AssignedGroupsAreKeptUntilReplacedOrTheirSkinGoes) {
    auto skins = IPtr<SkinService>::adopt(new SkinService);
    IPtr<IColorGroupInformation> info = queryInterface<IColorGroupInformation>(static_cast<ISkinResource*>(skins.get()));
    ASSERT_TRUE(info);
    auto groups = IPtr<Groups>::adopt(new Groups);
    ASSERT_EQ(info->assign(groups.get()), kResultOk);
    EXPECT_EQ(skins->colourGroups(), groups.get());
    EXPECT_EQ(groups->refCount_.value(), 2) << "kept with a reference";
    int32_t count = -1;
    EXPECT_EQ(info->groupCount(&count), kResultFalse);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(info->assign(info.get()), kInvalidArgument) << "its own groups would keep it alive";
    ASSERT_EQ(info->assign(nullptr), kResultOk);
    EXPECT_EQ(groups->refCount_.value(), 1);

    std::vector<uint8_t> file = readSkinFile();
    int module = 0, other = 0;
    ASSERT_TRUE(skins->registerSkinData(&other, file.data(), file.size()));
    ASSERT_TRUE(skins->registerSkinData(&module, file.data(), file.size()));
    skins->assign(groups.get());
    EXPECT_EQ(skins->unregisterSkin(&other), kResultOk);
    EXPECT_EQ(groups->refCount_.value(), 2) << "another module's skin went";
    EXPECT_EQ(skins->unregisterSkin(&module), kResultOk);
    EXPECT_EQ(groups->refCount_.value(), 1);
    EXPECT_EQ(skins->colourGroups(), nullptr);
}

} // namespace
