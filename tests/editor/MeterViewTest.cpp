// Meter views made from a skin's view description: choice of class and
// bitmaps, column layout, what they draw, clicks, and their registration with
// the data object's owner and the host's meter services.

#include <cmath>
#include <cstdio>

#include "EditorTestSupport.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/MeterViewFactory.h"
#include "editor/VuMeterHorizView.h"
#include "editor/VuMeterPeakView.h"
#include "editor/VuMeterPhVertiView.h"

namespace Zel {
namespace {

using Fakes::FakeDrawContext;
using Fakes::FakeHostView;
using Fakes::FakeViewDescription;

constexpr int32_t kId = 1;
constexpr const char* kFore = "bmDuravIrorMeterHorizFore";
constexpr const char* kBack = "bmDuravIrorMeterHorizBack";

// The row a bar at position starts on, from the top of an h-pixel bar.
int32_t rowFor(float position, int32_t h) {
    return static_cast<int32_t>(std::trunc((1.0f - position) * static_cast<float>(h) + 0.5f));
}

class MeterViewTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        acquire();
        description->attributes = {{"meter-name-fore", kFore}, {"meter-name-back", kBack},
                                   {"meter-orientation", "vertical"}};
        data->setValue(VuMeterData::kIdColumnCount, 1.0f);
        data->setOwner(&owner);
    }
    void TearDown() override {
        hosts.clear();
        FrameworkTest::TearDown();
    }

    void bitmaps(int32_t foreWidth, int32_t backWidth, int32_t height) {
        root->skin->addBitmap(kFore, foreWidth, height);
        root->skin->addBitmap(kBack, backWidth, height);
    }
    // The view the host view object carries.
    template <class V>
    V* viewOf(IHostView* host) {
        auto* fake = static_cast<FakeHostView*>(host);
        IPtr<FObject> object = queryInterface<FObject>(fake->client);
        return FCast<V>(object.get());
    }
    IHostView* make(const ViewRect& rect, bool peakHold = true, VuMeterData* meter = nullptr) {
        IHostView* host = createMeterView(description->unknown(), rect, meter ? meter : data.get(), peakHold,
                                          HostFramework::skinResource(nullptr));
        if (host) hosts.push_back(IPtr<IHostView>::adopt(host));
        return host;
    }
    void draw(IHostView* host) {
        context = IPtr<FakeDrawContext>::adopt(new FakeDrawContext);
        static_cast<FakeHostView*>(host)->client->draw(context.get(), nullptr);
    }

    MessageRecorder owner;
    IPtr<FakeViewDescription> description = IPtr<FakeViewDescription>::adopt(new FakeViewDescription);
    IPtr<LinearVuMeterPhData> data = IPtr<LinearVuMeterPhData>::adopt(new LinearVuMeterPhData(std::vector<int32_t>{kId}));
    IPtr<FakeDrawContext> context;
    std::vector<IPtr<IHostView>> hosts;
};

TEST_F(MeterViewTest, ColumnsAreLaidOutFromTheViewOriginByBitmapWidth) {
    struct Case {
        int32_t foreWidth, backWidth, height, columnCount;
        ViewRect rect;
        std::vector<ViewRect> columns;
    } cases[] = {
        {19, 19, 230, 1, {10, 20, 29, 250}, {{0, 0, 19, 230}}}, // the bitmap fits: the view is spanned
        {15, 19, 230, 1, {0, 0, 19, 230}, {{2, 0, 17, 230}}},   // narrower: (19 - 15) / 2 on either side
        // 40 / 2 - 1 = 19 pixels per column; the one pixel left over widens the gap.
        {19, 40, 100, 2, {0, 0, 40, 100}, {{0, 0, 19, 100}, {21, 0, 40, 100}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.foreWidth);
        bitmaps(c.foreWidth, c.backWidth, c.height);
        auto meter = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{1, 2}));
        meter->setValue(VuMeterData::kIdColumnCount, static_cast<float>(c.columnCount));
        auto* view = viewOf<VuMeterVertiView>(make(c.rect, false, meter.get()));
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->columns(), c.columns);
    }
}

TEST_F(MeterViewTest, VerticalBarGrowsFromTheBottomToItsPosition) {
    bitmaps(19, 19, 230);
    IHostView* host = make({0, 0, 19, 230}, false);
    data->setValue(kId, 0.667f);
    draw(host);
    const int32_t y = rowFor(0.667f, 230);
    ASSERT_EQ(context->calls.size(), 2u);
    EXPECT_EQ(context->calls[0].bitmap, root->skin->bitmaps[kBack]->unknown());
    EXPECT_EQ(context->calls[0].source, (ViewRect{0, 0, 19, 230}));
    EXPECT_EQ(context->calls[1].bitmap, root->skin->bitmaps[kFore]->unknown());
    EXPECT_EQ(context->calls[1].source, (ViewRect{0, y, 19, 230}));
    EXPECT_EQ(context->calls[1].destination, (ViewRect{0, y, 19, 230}));
    EXPECT_EQ(y, 77);
}

TEST_F(MeterViewTest, PeakHoldViewDrawsTheMaximumLineAndThePeakStrip) {
    bitmaps(19, 19, 230);
    IHostView* host = make({0, 0, 19, 230});
    // A full peak, then silence until the held peak has fallen below the maximum.
    root->time->setSeconds(10.0);
    data->setValue(kId, 1.0f);
    for (int k = 1; k <= 8; ++k) {
        root->time->setSeconds(10.0 + 0.3 * k);
        data->setValue(kId, 0.0f);
    }
    float peak = 0.0f;
    float maximum = 0.0f;
    data->getValue(VuMeterPhData::kIdPeakHold, peak);
    data->getValue(VuMeterPhData::kIdMaximum, maximum);
    ASSERT_EQ(maximum, 1.0f);
    ASSERT_LT(peak, 0.5f);
    draw(host);
    ASSERT_EQ(context->calls.size(), 5u);
    EXPECT_EQ(context->calls[2].op, "lineColour");
    EXPECT_EQ(context->calls[2].colour, 0xFF6E6E6Eu);
    EXPECT_EQ(context->calls[2].width, 1);
    EXPECT_EQ(context->calls[3].op, "line");
    EXPECT_EQ(context->calls[3].from.y, rowFor(maximum, 230));
    EXPECT_EQ(context->calls[3].to.y, rowFor(maximum, 230));
    EXPECT_EQ(context->calls[3].to.x - context->calls[3].from.x, 19);
    const int32_t y = rowFor(peak, 230);
    EXPECT_EQ(context->calls[4].source, (ViewRect{0, y, 19, y + 1}));
    EXPECT_EQ(context->calls[4].destination, (ViewRect{0, y, 19, y + 1}));
}

TEST_F(MeterViewTest, ClickClearsThePeakAndAsksOwnerAndDependentsForAReset) {
    bitmaps(19, 19, 230);
    IHostView* host = make({0, 0, 19, 230});
    MessageRecorder dependent;
    addDependent(data->unknownCast(), &dependent);
    data->setValue(VuMeterData::kIdPeakValue, 0.7f);
    flush();
    dependent.messages.clear();
    owner.messages.clear();
    auto* fakeHost = static_cast<FakeHostView*>(host);
    const int invalidations = fakeHost->invalidations;

    IPtr<IHostViewMouseEvent> mouse = queryInterface<IHostViewMouseEvent>(fakeHost->client);
    ViewPoint where{5, 100};
    EXPECT_EQ(mouse->onMouseDown(&where, 1), kResultOk);

    float peak = -1.0f;
    data->getValue(VuMeterData::kIdPeakValue, peak);
    EXPECT_EQ(peak, 0.0f);
    EXPECT_GT(fakeHost->invalidations, invalidations);
    EXPECT_EQ(owner.messages, (std::vector<int32_t>{DataObject2::kMsgPeakReset}));
    EXPECT_FALSE(dependent.got(DataObject2::kMsgPeakReset));
    flush();
    EXPECT_TRUE(dependent.got(DataObject2::kMsgPeakReset));
    removeDependent(data->unknownCast(), &dependent);
}

TEST_F(MeterViewTest, HostViewIsMadeOnceAndCarriesTheViewWhichTheOwnerHearsAttachAndDetach) {
    bitmaps(19, 19, 230);
    IHostView* host = make({0, 0, 19, 230});
    auto* view = viewOf<VuMeterPhVertiView>(host);
    EXPECT_EQ(view->refCount(), 1) << "the host view holds the only reference";
    IPtr<IHostView> again = IPtr<IHostView>::adopt(view->hostView());
    EXPECT_EQ(again.get(), host);
    EXPECT_EQ(root->hostViews.size(), 1u);
    EXPECT_EQ(view->hostVisibleState(), 1);
    EXPECT_EQ(owner.messages, (std::vector<int32_t>{DataObject2::kMsgViewAttached}));
    EXPECT_EQ(owner.senders[0], data->unknownCast());
    again.reset();
    hosts.clear(); // the host drops its view object, and with it the view
    EXPECT_EQ(owner.messages.back(), DataObject2::kMsgViewDetached);
    EXPECT_EQ(data->refCount(), 1);
}

TEST_F(MeterViewTest, MissingBitmapMakesNoView) {
    root->skin->addBitmap(kFore, 19, 230);
    EXPECT_EQ(make({0, 0, 19, 230}), nullptr);
    EXPECT_TRUE(root->hostViews.empty());
    EXPECT_TRUE(owner.messages.empty());
    EXPECT_EQ(data->refCount(), 1);
}

TEST_F(MeterViewTest, OrientationIsHorizontalOnlyWhenSpelledExactly) {
    bitmaps(19, 19, 230);
    description->attributes["meter-orientation"] = "Horizontal";
    EXPECT_NE(viewOf<VuMeterPhVertiView>(make({0, 0, 19, 230})), nullptr);
    description->attributes["meter-orientation"] = "horizontal";
    IHostView* host = make({0, 0, 19, 230});
    EXPECT_NE(viewOf<VuMeterHorizView>(host), nullptr);
    EXPECT_EQ(viewOf<VuMeterVertiView>(host), nullptr);
}

TEST_F(MeterViewTest, BitmapNamesDefaultAndWideViewsTakeTheHorizontalOnes) {
    description->attributes.erase("meter-name-fore");
    description->attributes.erase("meter-name-back");
    make({0, 0, 19, 230});
    EXPECT_EQ(root->skin->requestedBitmaps, (std::vector<std::string>{kMeterForeBitmap, kMeterBackBitmap}));
    root->skin->requestedBitmaps.clear();
    description->attributes["meter-name-fore"] = "custom";
    make({0, 0, 230, 19});
    EXPECT_EQ(root->skin->requestedBitmaps, (std::vector<std::string>{kMeterHorizForeBitmap, kMeterHorizBackBitmap}));
}

TEST_F(MeterViewTest, HorizontalBarGrowsFromTheLeft) {
    root->skin->addBitmap(kMeterHorizForeBitmap, 200, 10);
    root->skin->addBitmap(kMeterHorizBackBitmap, 200, 10);
    description->attributes = {{"meter-orientation", "horizontal"}};
    IHostView* host = make({0, 0, 200, 10});
    auto* view = viewOf<VuMeterHorizView>(host);
    ASSERT_EQ(view->columns().size(), 1u);
    EXPECT_EQ(view->columns()[0], (ViewRect{0, 0, 200, 10}));
    data->setValue(kId, 0.25f);
    draw(host);
    ASSERT_EQ(context->calls.size(), 2u);
    EXPECT_EQ(context->calls[1].destination, (ViewRect{0, 0, 50, 10}));
}

TEST_F(MeterViewTest, ColumnCountChangeLaysTheViewOutAgain) {
    bitmaps(9, 20, 100);
    auto stereo = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{1, 2}));
    stereo->setValue(VuMeterData::kIdColumnCount, 1.0f);
    flush();
    auto* view = viewOf<VuMeterVertiView>(make({0, 0, 20, 100}, false, stereo.get()));
    ASSERT_EQ(view->columns().size(), 1u);
    stereo->setValue(VuMeterData::kIdColumnCount, 2.0f);
    flush();
    EXPECT_EQ(view->columns().size(), 2u);
}

TEST_F(MeterViewTest, HostMeterServicesSupplyBitmapsAndKnowTheView) {
    root->levelMapping = IPtr<Fakes::FakeLevelMapping>::adopt(new Fakes::FakeLevelMapping);
    root->meterBitmaps = IPtr<Fakes::FakeMeterBitmaps>::adopt(new Fakes::FakeMeterBitmaps);
    root->meterViewRegistry = IPtr<Fakes::FakeMeterViewRegistry>::adopt(new Fakes::FakeMeterViewRegistry);
    auto hostScaled = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{kId}));
    IHostView* host = make({0, 0, 19, 230}, true, hostScaled.get());
    ASSERT_NE(host, nullptr);
    EXPECT_TRUE(root->skin->requestedBitmaps.empty());
    ASSERT_EQ(root->meterBitmaps->foreRequests.size(), 1u);
    EXPECT_EQ(root->meterBitmaps->foreRequests[0].meterType, 1001);
    EXPECT_EQ(root->meterBitmaps->foreRequests[0].horizontal, 0);
    ASSERT_EQ(root->meterViewRegistry->views.size(), 1u);

    // The host's bitmaps changed: the view fetches its fore bitmap again.
    auto* view = viewOf<VuMeterPhVertiView>(host);
    FUnknown* before = view->foreBitmap();
    view->update(root->meterBitmaps->unknown(), VuMeterView::kMsgHostBitmapsChanged);
    EXPECT_EQ(root->meterBitmaps->foreRequests.size(), 2u);
    EXPECT_NE(view->foreBitmap(), before);

    hosts.clear();
    EXPECT_EQ(root->meterViewRegistry->removals, 1);
    EXPECT_TRUE(root->meterViewRegistry->views.empty());
    EXPECT_EQ(root->meterBitmaps->refs(), 1);
}

class PeakViewTest : public ::testing::Test {
protected:
    static constexpr ColourArgb kNormal = 0xFF00FF00;
    static constexpr ColourArgb kOver = 0xFFFF0000;

    std::string show(double peak, ColourArgb* colour = nullptr) {
        data->setValue(VuMeterData::kIdPeakValue, static_cast<float>(peak));
        context = IPtr<FakeDrawContext>::adopt(new FakeDrawContext);
        view->draw(context.get(), nullptr);
        std::string text;
        for (auto& call : context->calls) {
            if (call.op == "textColour" && colour) *colour = call.colour;
            if (call.op == "string") text = call.text;
        }
        return text;
    }

    IPtr<VuMeterData> data = IPtr<VuMeterData>::adopt(new VuMeterData(std::vector<int32_t>{kId}));
    IPtr<VuMeterPeakView> view = IPtr<VuMeterPeakView>::adopt(new VuMeterPeakView({0, 0, 40, 12}, data.get(), kNormal, kOver));
    IPtr<FakeDrawContext> context;
};

TEST_F(PeakViewTest, ShowsMinusInfinityBelowTheFloor) {
    ColourArgb colour = 0;
    EXPECT_EQ(show(1e-6, &colour), "-oo");
    EXPECT_EQ(colour, kNormal);
    EXPECT_EQ(show(0.0), "-oo");
    EXPECT_EQ(context->calls[0].op, "font");
    EXPECT_EQ(context->calls[0].text, "Arial");
    EXPECT_EQ(context->calls[0].width, 9);
}

TEST_F(PeakViewTest, ShowsTenthsOfADecibelAndSwitchesToTheOverColourAboveZero) {
    const float over = 1.2f;
    char overText[16];
    std::snprintf(overText, sizeof overText, "%2.1f", 20.0 * std::log10(static_cast<double>(over)));
    struct Case {
        double peak;
        std::string text;
        ColourArgb colour;
    } cases[] = {{1.0, "0.0", kNormal},
                 {std::pow(10.0, -0.04 / 20.0), "0.0", kNormal}, // within a hundredth of a bel of full scale
                 {std::pow(10.0, -0.06 / 20.0), "-0.1", kNormal},
                 {std::pow(10.0, -6.0 / 20.0), "-6.0", kNormal},
                 {over, overText, kOver},
                 {0.5, "-6.0", kNormal}};
    for (const Case& c : cases) {
        ColourArgb colour = 0;
        EXPECT_EQ(show(c.peak, &colour), c.text) << c.peak;
        EXPECT_EQ(colour, c.colour) << c.peak;
    }
}

} // namespace
} // namespace Zel
