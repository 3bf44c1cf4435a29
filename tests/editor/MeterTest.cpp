// Level-meter data (the built-in scale, release on the framework's clock, peak
// hold and maxima, deferred notification) and the meter views made from a view
// description, rendered with the host's drawing context over the skin's bitmaps.

#include "tests/hostview/HostViewTestSupport.h"

#include <cmath>

#include "base/UpdateHandler.h"
#include "editor/HostFramework.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/MeterViewFactory.h"
#include "editor/VuMeterHorizView.h"
#include "editor/VuMeterPeakView.h"
#include "editor/VuMeterPhVertiView.h"
#include "host/view/CairoDrawContext.h"
#include "host/view/HostViewObject.h"
#include "host/view/ViewDescription.h"

namespace HostViewTest {
namespace {

constexpr int32_t kId = 1;

double decibels(double db) { return std::pow(10.0, db / 20.0); }

float positionOf(VuMeterData& data, double amplitude, int32_t id = kId) {
    data.setValue(id, static_cast<float>(amplitude));
    float position = -1.0f;
    EXPECT_TRUE(data.getValue(id, position));
    return position;
}

// Hears the data objects' change messages.
class Recorder : public FObject {
public:
    void update(FUnknown*, int32_t message) override { messages.push_back(message); }
    std::vector<int32_t> messages;
};

TEST(MeterScale, MapsDecibelsOntoTheBarAndShowsAnyAudibleLevel) {
    auto data = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{kId})); // no clock: no release
    const std::pair<double, double> cases[] = {{3.0, 1.0},     {0.0, 0.9244}, {-6.0, 0.773}, {-12.0, 0.623},
                                               {-18.0, 0.471}, {-24.0, 0.32}, {-30.0, 0.193}, {-40.0, 0.082}};
    for (const auto& [db, position] : cases) EXPECT_NEAR(positionOf(*data, decibels(db)), position, 2e-3) << db;
    EXPECT_FLOAT_EQ(positionOf(*data, 5.0), 1.0f);
    EXPECT_FLOAT_EQ(positionOf(*data, -1.0), 0.0f);
    // Below the table's first step an audible level shows half of it.
    const float floor = static_cast<float>(decibels(-96.0));
    EXPECT_GT(positionOf(*data, floor), 0.0f);
    EXPECT_FLOAT_EQ(positionOf(*data, floor), static_cast<float>(data->tableEntry(1) / 2.0));
    EXPECT_EQ(positionOf(*data, floor * 0.9f), 0.0f);
}

TEST(MeterBallistics, LevelsFallByOneMinusTwoDtPerUpdateAndVanishBelowANano) {
    MeterRig rig; // the framework's clock
    auto& clock = rig.framework->clock();
    auto data = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{kId}));
    clock.setAudioClockSeconds(10.0);
    data->setValue(kId, 1.0f);
    double expected = 1.0, now = 10.0;
    for (double t : {10.1, 10.25, 10.3}) {
        expected *= 1.0 - 2.0 * (t - now);
        clock.setAudioClockSeconds(now = t);
        data->setValue(kId, 0.0f);
        EXPECT_NEAR(data->level(0), expected, 1e-6) << t;
    }
    data->setValue(kId, 0.9f);
    EXPECT_FLOAT_EQ(data->level(0), 0.9f) << "a louder value takes over at once";
    for (int k = 1; k <= 5; ++k) { // each update keeps 1/100
        clock.setAudioClockSeconds(now += 0.495);
        data->setValue(kId, 0.0f);
        EXPECT_EQ(data->level(0) > 0.0f, k < 5) << k;
    }
}

TEST(MeterBallistics, PeakIsHeldTwoSecondsFromTheLastEqualOrHigherValueAndTheMaximumOnlyRises) {
    MeterRig rig;
    auto data = IPtr<LinearVuMeterPhData>::adopt(new LinearVuMeterPhData(std::vector<int32_t>{kId}));
    double now = 10.0;
    auto step = [&](float value) { // 0.3 s later: levels and released peaks keep 40 %
        rig.framework->clock().setAudioClockSeconds(now += 0.3);
        data->setValue(kId, value);
        float peak = -1.0f;
        EXPECT_TRUE(data->getValue(VuMeterPhData::kIdPeakHold, peak));
        return peak;
    };
    rig.framework->clock().setAudioClockSeconds(now);
    data->setValue(kId, 0.8f);
    for (int k = 1; k <= 4; ++k) EXPECT_FLOAT_EQ(step(0.0f), 0.8f);
    EXPECT_FLOAT_EQ(step(0.8f), 0.8f) << "an equal value restarts the hold";
    for (int k = 1; k <= 6; ++k) EXPECT_FLOAT_EQ(step(0.0f), 0.8f) << k;
    EXPECT_NEAR(step(0.0f), 0.8 * 0.4, 1e-6);
    EXPECT_NEAR(step(0.0f), 0.8 * 0.4 * 0.4, 1e-6);
    float maximum = -1.0f;
    ASSERT_TRUE(data->getValue(VuMeterPhData::kIdMaximum, maximum));
    EXPECT_FLOAT_EQ(maximum, 0.8f);
    step(0.5f);
    data->getValue(VuMeterPhData::kIdMaximum, maximum);
    EXPECT_FLOAT_EQ(maximum, 0.8f);
    data->clearMaxima();
    data->getValue(VuMeterPhData::kIdMaximum, maximum);
    EXPECT_EQ(maximum, 0.0f);
}

TEST(MeterData, ChangesReachDependentsOnTheNextTickUnderTheFirstIdAndNotAfterTheDataWent) {
    MeterRig rig;
    auto data = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{7, 8}));
    Recorder recorder;
    addDependent(data->unknownCast(), &recorder);
    data->setValue(8, 0.5f);
    data->setValue(VuMeterData::kIdColumnCount, 2.0f);
    EXPECT_TRUE(recorder.messages.empty());
    rig.framework->tick();
    EXPECT_EQ(recorder.messages, (std::vector<int32_t>{7, VuMeterData::kIdColumnCount}));
    data->setValue(8, 0.7f);
    removeDependent(data->unknownCast(), &recorder);
    data.reset();
    rig.framework->tick(); // would reach the destroyed object
    EXPECT_EQ(recorder.messages.size(), 2u);
}

// ---- views ------------------------------------------------------------------------------

constexpr const char* kFore = "bmTestFore"; // 19 x 230, red
constexpr const char* kBack = "bmTestBack"; // 19 x 230, blue
constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

class MeterViews : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string xml = std::string("<skin><resources><bitmap name=\"") + kFore + "\" path=\"fore.bmp\"/>" +
                                "<bitmap name=\"" + kBack + "\" path=\"back.bmp\"/></resources></skin>";
        std::vector<uint8_t> file;
        std::string error;
        ASSERT_TRUE(Hrf::pack({{"skin.xml", std::vector<uint8_t>(xml.begin(), xml.end()), false},
                               {"fore.bmp", bmpFile(19, 230, [](int, int) { return kRed; }), false},
                               {"back.bmp", bmpFile(19, 230, [](int, int) { return kBlue; }), false}},
                              "00112233445566778899AABBCCDDEEFF", file, error));
        ASSERT_TRUE(rig.framework->skins().registerSkinData(&file, file.data(), file.size()));
        data->setValue(VuMeterData::kIdColumnCount, 1.0f);
    }
    IPtr<IHostView> make(const ViewRect& rect, std::vector<std::pair<std::string, std::string>> attributes,
                         VuMeterData* meter, bool peakHold = true) {
        NivoloHost::SkinElement element;
        element.attributes = std::move(attributes);
        auto description = IPtr<NivoloHost::ViewDescription>::adopt(new NivoloHost::ViewDescription(element));
        return IPtr<IHostView>::adopt(createMeterView(static_cast<IViewDescription*>(description.get()), rect, meter,
                                                      peakHold, HostFramework::skinResource(nullptr)));
    }
    IPtr<IHostView> vertical(VuMeterData* meter, int32_t width = 19, bool peakHold = true) {
        return make({0, 0, width, 230}, {{"meter-name-fore", kFore}, {"meter-name-back", kBack}}, meter, peakHold);
    }
    static IHostViewClient* client(IHostView* host) {
        return queryInterface<NivoloHost::HostViewObject>(host)->client();
    }
    template <class V>
    static V* viewOf(IHostView* host) {
        IPtr<FObject> object = queryInterface<FObject>(client(host));
        return FCast<V>(object.get());
    }
    NivoloHost::EditorView::Surface render(IHostView* host, int width, int height) {
        NivoloHost::EditorView::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        cairo_t* cr = cairo_create(surface.get());
        auto dc = IPtr<NivoloHost::CairoDrawContext>::adopt(new NivoloHost::CairoDrawContext(cr, {0, 0, width, height}));
        const ViewRect local{0, 0, width, height};
        client(host)->draw(dc.get(), &local);
        dc->close();
        cairo_destroy(cr);
        return surface;
    }
    // Each pixel of the column (row) shows the fore bitmap from / up to the given row (column).
    static std::string column(cairo_surface_t* render, int x) {
        std::string out;
        for (int y = 0; y < cairo_image_surface_get_height(render); ++y)
            out += pixelAt(render, x, y) == kRed ? 'f' : pixelAt(render, x, y) == kBlue ? 'b' : '?';
        return out;
    }

    MeterRig rig; // the framework's clock
    IPtr<LinearVuMeterPhData> data = IPtr<LinearVuMeterPhData>::adopt(new LinearVuMeterPhData(std::vector<int32_t>{kId}));
};

TEST_F(MeterViews, VerticalBarShowsItsPositionThePeakStripAndTheMaximumLine) {
    IPtr<IHostView> host = vertical(data.get());
    ASSERT_TRUE(host);
    data->setValue(kId, 0.667f);
    EXPECT_EQ(column(render(host.get(), 19, 230).get(), 9), std::string(77, 'b') + std::string(153, 'f'))
        << "(1 - 0.667) * 230 rows dark";
    // A full peak, then silence until the held peak has fallen below the maximum.
    for (int k = 1; k <= 8; ++k) {
        rig.framework->clock().setAudioClockSeconds(10.0 + 0.3 * k);
        data->setValue(kId, 0.0f);
    }
    float peak = 0.0f;
    data->getValue(VuMeterPhData::kIdPeakHold, peak);
    ASSERT_LT(peak, 0.5f);
    ASSERT_GT(peak, 0.0f);
    std::string expected(230, 'b');
    expected[77] = '?'; // the grey maximum line
    expected[size_t(std::trunc((1.0f - peak) * 230.0f + 0.5f))] = 'f'; // the peak strip
    auto held = render(host.get(), 19, 230);
    EXPECT_EQ(column(held.get(), 9), expected);
    EXPECT_EQ(pixelAt(held.get(), 9, 77), 0xFF6E6E6Eu);
}

TEST_F(MeterViews, ChannelsShareTheWidthOnePixelApartAndFollowTheChannelCount) {
    auto stereo = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{1, 2}));
    stereo->setValue(VuMeterData::kIdColumnCount, 2.0f);
    IPtr<IHostView> host = vertical(stereo.get(), 40, false);
    auto* view = viewOf<VuMeterVertiView>(host.get());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(viewOf<VuMeterPhVertiView>(host.get()), nullptr) << "no peak hold asked for";
    EXPECT_EQ(view->columns(), (std::vector<ViewRect>{{0, 0, 19, 230}, {21, 0, 40, 230}}));
    stereo->setValue(VuMeterData::kIdColumnCount, 1.0f);
    rig.framework->tick();
    EXPECT_EQ(view->columns(), (std::vector<ViewRect>{{10, 0, 29, 230}}));
}

TEST_F(MeterViews, HorizontalOnlyWhenSpelledSoAndItsBarGrowsFromTheLeft) {
    std::vector<std::pair<std::string, std::string>> attributes = {
        {"meter-name-fore", kFore}, {"meter-name-back", kBack}, {"meter-orientation", "Horizontal"}};
    EXPECT_EQ(viewOf<VuMeterHorizView>(make({0, 0, 19, 19}, attributes, data.get()).get()), nullptr);
    attributes.back().second = "horizontal";
    IPtr<IHostView> host = make({0, 0, 19, 19}, attributes, data.get(), false);
    ASSERT_NE(viewOf<VuMeterHorizView>(host.get()), nullptr);
    data->setValue(kId, 0.25f);
    auto bar = render(host.get(), 19, 19);
    std::string row;
    for (int x = 0; x < 19; ++x) row += pixelAt(bar.get(), x, 10) == kRed ? 'f' : 'b';
    EXPECT_EQ(row, std::string(5, 'f') + std::string(14, 'b')) << "0.25 * 19 lit";
    // Without the back bitmap there is no view.
    EXPECT_FALSE(make({0, 0, 19, 230}, {{"meter-name-fore", kFore}, {"meter-name-back", "bmNothing"}}, data.get()));
}

TEST_F(MeterViews, AClickClearsThePeakAndAsksTheOwnerAndLaterTheDependentsForAReset) {
    Recorder owner, dependent;
    data->setOwner(&owner);
    IPtr<IHostView> host = vertical(data.get());
    EXPECT_EQ(owner.messages, std::vector<int32_t>{DataObject2::kMsgViewAttached});
    addDependent(data->unknownCast(), &dependent);
    data->setValue(VuMeterData::kIdPeakValue, 0.7f);
    rig.framework->tick();
    dependent.messages.clear();
    IPtr<IHostViewMouseEvent> mouse = queryInterface<IHostViewMouseEvent>(client(host.get()));
    const ViewPoint where{5, 100};
    EXPECT_EQ(mouse->onMouseDown(&where, 1), kResultOk);
    float peak = -1.0f;
    data->getValue(VuMeterData::kIdPeakValue, peak);
    EXPECT_EQ(peak, 0.0f);
    EXPECT_EQ(owner.messages.back(), DataObject2::kMsgPeakReset);
    rig.framework->tick();
    EXPECT_NE(std::find(dependent.messages.begin(), dependent.messages.end(), DataObject2::kMsgPeakReset),
              dependent.messages.end());
    removeDependent(data->unknownCast(), &dependent);
    mouse.reset();
    host.reset(); // the host lets go of its view object, and with it the view
    EXPECT_EQ(owner.messages.back(), DataObject2::kMsgViewDetached);
    data->setOwner(nullptr);
}

TEST_F(MeterViews, PeakTextShowsTenthsOfADecibelMinusInfinityBelowTheFloorAndTurnsRedAboveFullScale) {
    const ColourArgb normal = 0xFF00FF00, red = 0xFFFF0000;
    auto peakData = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{kId}));
    auto* view = new VuMeterPeakView({0, 0, 40, 12}, peakData.get(), normal, red);
    auto host = IPtr<IHostView>::adopt(view->hostView()); // which keeps the view
    char over[16];
    std::snprintf(over, sizeof over, "%2.1f", 20.0 * std::log10(1.2f));
    const std::pair<double, const char*> cases[] = {{1e-6, "-oo"}, {0.0, "-oo"}, {1.0, "0.0"}, {decibels(-0.04), "0.0"},
                                                    {decibels(-0.06), "-0.1"}, {0.5, "-6.0"}, {1.2f, over}};
    for (const auto& [value, text] : cases) {
        peakData->setValue(VuMeterData::kIdPeakValue, static_cast<float>(value));
        auto shown = render(host.get(), 40, 12);
        EXPECT_STREQ(view->text(), text) << value;
        int reds = 0, greens = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 40; ++x) {
                const uint32_t p = pixelAt(shown.get(), x, y);
                reds += channelOf(p, 16) > 128 && channelOf(p, 8) < 64;
                greens += channelOf(p, 8) > 128 && channelOf(p, 16) < 64;
            }
        EXPECT_EQ(reds > 0, value > 1.0) << value;
        EXPECT_EQ(greens > 0, value <= 1.0) << value;
    }
}

} // namespace
} // namespace HostViewTest
