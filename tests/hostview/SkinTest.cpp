// Reading skins: the value forms, descriptions broken or hostile (every cut and
// flipped bit of the real skin), the skin service over the module's skin
// (found by the module's handle, every bitmap decoded, sections, colours,
// templates, colour groups), and BMP pictures.

#include "tests/hostview/HostViewTestSupport.h"

#include <dlfcn.h>

#include <random>
#include <tuple>

#include "editor/PlugColorGroupInformation.h"
#include "host/view/BmpDecoder.h"
#include "host/view/ImageDecoder.h"
#include "host/view/SkinParser.h"

namespace HostViewTest {
namespace {

using namespace NivoloHost;
using Zel::PlugColorGroupInformation;

TEST(SkinValues, SizesColoursAlphasAndStyles) {
    ViewRect r;
    ASSERT_TRUE(SkinParser::parseRect(" -4 ,\t2,0 ,7 ", r));
    EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(-4, 2, -4, 9));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,x,4", "1,2,3,", "1,2,-3,4", "1,2,3,-1", "1.5,2,3,4"})
        EXPECT_FALSE(SkinParser::parseRect(bad, r)) << bad;
    // "#RRGGBB", or "$hue,saturation,value" (degrees, percent), always opaque.
    const std::pair<const char*, uint32_t> colours[] = {
        {"#06fbc5", 0xFF06FBC5u}, {"$10,100,100", 0xFFFF2A00u}, {"$0,0,100", 0xFFFFFFFFu},  {"$120,100,100", 0xFF00FF00u},
        {"$240,100,100", 0xFF0000FFu}, {"$300,100,50", 0xFF800080u}, {"$360,100,100", 0xFFFF0000u},
        {"$180, 50, 100", 0xFF80FFFFu}};
    for (const auto& [text, argb] : colours) {
        ColourArgb c = 0;
        ASSERT_TRUE(SkinParser::parseColour(text, c)) << text;
        for (int shift : {0, 8, 16, 24}) EXPECT_NEAR(channelOf(c, shift), channelOf(argb, shift), 1) << text;
    }
    ColourArgb c = 0;
    for (const char* bad : {"#06FBC", "#06FBC5A", "06FBC5", "#06FBCG", "$10,100", "$10,101,100", "$10,100,-1", "$"})
        EXPECT_FALSE(SkinParser::parseColour(bad, c)) << bad;
    uint8_t alpha = 0;
    ASSERT_TRUE(SkinParser::parseAlpha("#80", alpha));
    EXPECT_EQ(alpha, 0x80);
    EXPECT_FALSE(SkinParser::parseAlpha("FF", alpha));
    EXPECT_EQ(SkinParser::parseStyle("push|immediate|toggle"), kStylePush | kStyleImmediate | kStyleToggle);
    EXPECT_EQ(SkinParser::parseStyle("vertical|sparkly"), kStyleVertical) << "unknown words are ignored";
}

// A broken description is refused with its fault named on one line, whatever the values hold.
TEST(SkinDescription, BrokenOrTooDeepDescriptionsNameTheirFaultOnOneLine) {
    auto nested = [](int levels) {
        std::string xml = "<skin><template name=\"T\">";
        for (int i = 0; i < levels; ++i) xml += "<view>";
        for (int i = 0; i < levels; ++i) xml += "</view>";
        return xml + "</template></skin>";
    };
    const std::pair<std::string, std::string> cases[] = {
        {"<skin><template name=\"T\"><image size=\"1,2,3\"/></template></skin>", "size \"1,2,3\""},
        {"<skin><scheme><color name=\"c\" value=\"red\"/></scheme></skin>", "<color name=\"c\">"},
        {"<skin><resources><bitmap name=\"b\"/></resources></skin>", "has no path"},
        {"<skin><template/></skin>", "has no name"},
        {"<other/>", "no <skin>"},
        {"<skin><template name=\"T\">", "XML"},
        {"<skin><template name=\"T\"><image size=\"1,&#13;&#10;2\"/></template></skin>", "\"1,\\x0D\\x0A2\""},
        {"<skin><resources><bitmap name=\"b\" path=\"p\" alpha=\"#&#10;F\"/></resources></skin>", "\"#\\x0AF\""},
        {nested(SkinParser::kMaxDepth + 1), "nests deeper than " + std::to_string(SkinParser::kMaxDepth)},
        {nested(1000000), "nests deeper"}, // deeper than any stack holds one call per level
    };
    for (const auto& [xml, fault] : cases) {
        SkinModel model;
        std::string error;
        EXPECT_FALSE(SkinParser::parse(xml, model, error)) << xml.substr(0, 80);
        EXPECT_NE(error.find(fault), std::string::npos) << error;
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
    }
    SkinModel model;
    std::string error;
    ASSERT_TRUE(SkinParser::parse(nested(SkinParser::kMaxDepth), model, error)) << error;
}

TEST(SkinDescription, EveryCutAndFlippedBitOfTheRealSkinIsReadOrRefusedOnOneLine) {
    const std::vector<uint8_t> bytes = skinEntry("skin.xml");
    std::string xml(bytes.begin(), bytes.end());
    SkinModel model;
    std::string error;
    ASSERT_TRUE(SkinParser::parse(xml, model, error)) << error;
    const SkinElement* editor = model.findTemplate("DuravIrorSmallVazEzaru");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->children.size(), 25u) << "the commented spare switch is not an element";
    for (size_t length = 0; length < xml.size(); ++length) {
        SkinModel cut;
        if (!SkinParser::parse(xml.substr(0, length), cut, error)) {
            ASSERT_EQ(error.find_first_of("\r\n"), std::string::npos) << length;
        }
    }
    std::mt19937 random(16); // seed 16
    for (int round = 0; round < 3000; ++round) {
        const size_t at = random() % xml.size();
        const char mask = static_cast<char>(1 << (random() % 8));
        xml[at] ^= mask;
        SkinModel damaged;
        if (!SkinParser::parse(xml, damaged, error)) {
            ASSERT_EQ(error.find_first_of("\r\n"), std::string::npos) << at;
        }
        xml[at] ^= mask;
    }
}

// ---- the skin service ---------------------------------------------------------------------

TEST(SkinService, FindsTheModulesSkinByItsHandleAndNameInAnyCase) {
    void* library = dlopen(NIVOLO_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    Dl_info info{};
    ASSERT_TRUE(dladdr(dlsym(library, "GetPluginFactory"), &info));
    void* handle = info.dli_fbase;
    auto skins = IPtr<SkinService>::adopt(new SkinService);
    ASSERT_EQ(skins->registerSkin(handle, u"Nivolo.HRF"), kResultOk) << skins->lastError();
    ASSERT_EQ(skins->registerSkin(handle, u"nivolo.hrf"), kResultOk) << skins->lastError();
    EXPECT_EQ(skins->skinCount(), 1u) << "registered again, the skin is replaced";
    EXPECT_EQ(skins->hasTemplate("DuravIrorSmallVazEzaru"), kResultTrue);
    EXPECT_EQ(skins->unregisterSkin(handle), kResultOk);
    EXPECT_EQ(skins->hasTemplate("DuravIrorSmallVazEzaru"), kResultFalse);
    EXPECT_EQ(skins->registerSkin(handle, u"other.hrf"), kResultFalse);
    EXPECT_NE(skins->lastError().find("\"other.hrf\""), std::string::npos) << skins->lastError();
    EXPECT_EQ(skins->registerSkin(static_cast<char*>(handle) + 4096, u"nivolo.hrf"), kResultFalse) << "not a handle";
    EXPECT_EQ(skins->skinCount(), 0u);
    dlclose(library);
}

TEST(SkinService, EveryBitmapOfTheSkinDecodesAndSectionsShowTheirParentsPixels) {
    MeterRig rig;
    SkinService& skins = rig.framework->skins();
    const std::vector<uint8_t> bytes = skinEntry("skin.xml");
    SkinModel model;
    std::string error;
    ASSERT_TRUE(SkinParser::parse(std::string(bytes.begin(), bytes.end()), model, error)) << error;
    ASSERT_EQ(model.bitmaps.size(), 8u);
    for (const SkinBitmap& b : model.bitmaps) {
        IPtr<Bitmap> bitmap = bitmapOf(skins, b.name.c_str());
        ASSERT_TRUE(bitmap) << b.name; // "sliderHandler.png" is packed as "sliderhandler.png"
        EXPECT_GT(bitmap->width() * bitmap->height(), 0) << b.name;
    }
    IPtr<Bitmap> back = bitmapOf(skins, "bmDuravIrorBack"), slider = bitmapOf(skins, "bmSliderBack");
    ASSERT_TRUE(back && slider);
    EXPECT_EQ(std::pair(back->width(), back->height()), std::pair(306, 273));
    EXPECT_EQ(std::pair(slider->width(), slider->height()), std::pair(8, 240));
    for (int y = 0; y < 240; y += 7)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(slider->pixel(x, y), back->pixel(42 + x, 10 + y)) << x << "," << y;

    IPlugView* view = reinterpret_cast<IPlugView*>(0x1);
    EXPECT_EQ(skins.createView("NoSuchTemplate", nullptr, &view), kResultFalse);
    EXPECT_EQ(view, nullptr);
}

TEST(SkinService, AFaultySkinIsReportedOnOneLineAndAModulesColourGroupsGoWithItsSkin) {
    const std::string xml = "<skin><resources><bitmap name=\"b\" path=\"lost&#10;picture.png\"/></resources></skin>";
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(Hrf::pack({{"skin.xml", std::vector<uint8_t>(xml.begin(), xml.end()), false}},
                          "00112233445566778899AABBCCDDEEFF", file, error));
    auto skins = IPtr<SkinService>::adopt(new SkinService);
    int module = 0, other = 0;
    EXPECT_FALSE(skins->registerSkinData(&module, file.data(), file.size()));
    EXPECT_NE(skins->lastError().find("\"lost\\x0Apicture.png\""), std::string::npos) << skins->lastError();

    // A module hands its groups over after registering its skin and may be unloaded after unregistering it.
    const std::vector<uint8_t> skin = skinFile();
    ASSERT_TRUE(skins->registerSkinData(&other, skin.data(), skin.size()));
    ASSERT_TRUE(skins->registerSkinData(&module, skin.data(), skin.size()));
    auto groups = IPtr<PlugColorGroupInformation>::adopt(new PlugColorGroupInformation);
    const uint32_t unheld = (groups->AddRef(), groups->Release());
    ASSERT_EQ(skins->assign(groups.get()), kResultOk);
    EXPECT_EQ(skins->assign(skins.get()), kInvalidArgument) << "its own groups would keep it alive";
    EXPECT_EQ(skins->unregisterSkin(&other), kResultOk);
    EXPECT_EQ(skins->colourGroups(), static_cast<IColorGroupInformation*>(groups.get()));
    EXPECT_EQ(skins->unregisterSkin(&module), kResultOk);
    EXPECT_EQ(skins->colourGroups(), nullptr);
    EXPECT_EQ((groups->AddRef(), groups->Release()), unheld);
}

// ---- BMP pictures ---------------------------------------------------------------------------

uint32_t colourAt(int x, int y) { return 0xFF000000u | uint32_t(x * 40 + 1) << 16 | uint32_t(y * 50 + 2) << 8 | uint32_t(x + y + 3); }

TEST(BmpPictures, BottomUpPaddedRowsBecomeTopDownPixelsAndOtherFormsAreRefusedWithTheirReason) {
    for (int width : {1, 2, 3, 4, 5}) {
        const std::vector<uint8_t> file = bmpFile(width, 3, colourAt);
        BmpDecoder::Image image;
        std::string error;
        ASSERT_TRUE(BmpDecoder::decode(file.data(), file.size(), image, error)) << error;
        ASSERT_EQ(std::pair(image.width, image.height), std::pair(width, 3));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) ASSERT_EQ(image.pixels[size_t(y * width + x)], colourAt(x, y)) << x << "," << y;
    }
    const std::tuple<size_t, uint32_t, const char*> changes[] = {
        {28, 32, "32 bits per pixel"}, {30, 1, "compression 1"}, {22, uint32_t(-2), "top-down"}, {0, 0, "signature"},
        {14, 12, "old-style header"},  {10, 20, "inside the headers"}, {18, 1u << 30, "too large"}};
    for (const auto& [at, value, reason] : changes) {
        std::vector<uint8_t> file = bmpFile(4, 2, colourAt);
        std::memcpy(&file[at], &value, at == 28 ? 2 : 4);
        BmpDecoder::Image image;
        std::string error;
        EXPECT_FALSE(BmpDecoder::decode(file.data(), file.size(), image, error)) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    // Every cut is refused, except one inside the last row's padding, which writers leave out.
    const std::vector<uint8_t> file = bmpFile(3, 4, colourAt);
    for (size_t length = 0; length < file.size(); ++length) {
        const std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(length)); // overreads show
        BmpDecoder::Image image;
        std::string error;
        EXPECT_EQ(BmpDecoder::decode(cut.data(), cut.size(), image, error), length >= file.size() - 3) << length;
    }
    std::string error;
    const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a'};
    EXPECT_EQ(ImageDecoder::decode(gif, sizeof gif, error), nullptr);
    EXPECT_NE(error.find("neither"), std::string::npos) << error;
}

} // namespace
} // namespace HostViewTest
