// The momentary meter's data (release on the framework's clock, peak hold and
// maxima, deferred notification) and its view made from a view description,
// rendered with the host's drawing context.

#include "tests/hostview/HostViewTestSupport.h"

#include <cmath>

#include "base/UpdateHandler.h"
#include "editor/HostFramework.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/MeterViewFactory.h"
#include "host/view/CairoDrawContext.h"
#include "host/view/HostViewObject.h"
#include "host/view/ViewDescription.h"
#include "interfaces/IHostViewMouseEvent.h"

namespace HostViewTest {
namespace {

constexpr int32_t kId = 1;

// Hears the data objects' change messages.
class Recorder : public FObject {
public:
    void update(FUnknown*, int32_t message) override { messages.push_back(message); }
    std::vector<int32_t> messages;
};

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
    EXPECT_FLOAT_EQ(data->maximum(0), 0.8f);
    step(0.5f);
    EXPECT_FLOAT_EQ(data->maximum(0), 0.8f) << "the maximum only rises";
    data->clearMaxima();
    EXPECT_EQ(data->maximum(0), 0.0f);
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
    // The momentary meter's kind of view, as the skin's view description asks for it.
    IPtr<IHostView> make(const char* back = kBack) {
        NivoloHost::SkinElement element;
        element.attributes = {{"meter-name-fore", kFore}, {"meter-name-back", back}, {"meter-orientation", "vertical"}};
        auto description = IPtr<NivoloHost::ViewDescription>::adopt(new NivoloHost::ViewDescription(element));
        return IPtr<IHostView>::adopt(createMeterView(static_cast<IViewDescription*>(description.get()), {0, 0, 19, 230},
                                                      data.get(), true, HostFramework::skinResource(nullptr)));
    }
    static IHostViewClient* client(IHostView* host) { return queryInterface<NivoloHost::HostViewObject>(host)->client(); }
    NivoloHost::EditorView::Surface render(IHostView* host) {
        NivoloHost::EditorView::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 19, 230));
        cairo_t* cr = cairo_create(surface.get());
        const ViewRect local{0, 0, 19, 230};
        auto dc = IPtr<NivoloHost::CairoDrawContext>::adopt(new NivoloHost::CairoDrawContext(cr, local));
        client(host)->draw(dc.get(), &local);
        dc->close();
        cairo_destroy(cr);
        return surface;
    }
    // What each pixel of the column shows: f(ore), b(ack) or something else.
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
    IPtr<IHostView> host = make();
    ASSERT_TRUE(host);
    data->setValue(kId, 0.667f);
    EXPECT_EQ(column(render(host.get()).get(), 9), std::string(77, 'b') + std::string(153, 'f'))
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
    auto held = render(host.get());
    EXPECT_EQ(column(held.get(), 9), expected);
    EXPECT_EQ(pixelAt(held.get(), 9, 77), 0xFF6E6E6Eu);
    // Without its back bitmap a meter gets no view.
    EXPECT_FALSE(make("bmNothing"));
}

TEST_F(MeterViews, AClickClearsThePeakAndAsksTheOwnerAndLaterTheDependentsForAReset) {
    Recorder owner, dependent;
    data->setOwner(&owner);
    IPtr<IHostView> host = make();
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

} // namespace
} // namespace HostViewTest
