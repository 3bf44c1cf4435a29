// The module's own bar meter inside our host's editor: a stand-in controller
// builds "loudnessMView" with the module's meter view over meter data holding
// a known momentary loudness, and the rendered pixels show the bar's height.

#include <gtest/gtest.h>

#include "HostViewTestSupport.h"
#include "editor/HostFramework.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/MeterViewFactory.h"
#include "host/HostContext.h"
#include "host/view/EditorView.h"
#include "host/view/ViewFramework.h"

namespace HostViewTest {
namespace {

using NivoloHost::Bitmap;
using NivoloHost::EditorView;
using NivoloHost::ViewFramework;

// Resolves no control; builds the momentary meter as the meter's controller does.
class MeterOnlyController final : public IPlugController, public IViewBuilder {
public:
    MeterOnlyController(Zel::VuMeterData* data, ISkinResource* skin) : data_(data), skin_(skin) {}
    virtual ~MeterOnlyController() = default;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IPlugController>(asked, this, obj) || answerInterface<IViewBuilder>(asked, this, obj) ||
            answerInterface<FUnknown>(asked, static_cast<IPlugController*>(this), obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult findControl(const char*, IControl**) override { return kResultFalse; }
    tresult controlChanged(IControl*, int32_t) override { return kResultOk; }
    tresult createView(const char* name, const ViewRect* rect, FUnknown** view) override {
        if (std::string(name) != "loudnessMView") return kResultOk;
        if (IHostView* made = Zel::createMeterView(*view, *rect, data_, true, skin_)) *view = made;
        return kResultOk;
    }

private:
    RefCount refCount_;
    Zel::VuMeterData* data_;
    ISkinResource* skin_;
};

class ModuleMeterView : public ::testing::Test {
protected:
    void SetUp() override {
        context->setViewFramework(framework.get());
        ASSERT_TRUE(Zel::HostFramework::acquireForController(static_cast<Zel::IHostApp*>(context.get())));
        std::vector<uint8_t> file = readSkinFile();
        ASSERT_TRUE(framework->skins().registerSkinData(this, file.data(), file.size()));
    }
    void TearDown() override {
        Zel::HostFramework::releaseForController();
        context->setViewFramework(nullptr);
    }

    // The editor rendered with the bar at position p (0 empty, 1 full); fresh
    // data each time, since a bar falls from its last level only gradually.
    EditorView::Surface renderAt(float p) {
        const std::vector<int32_t> ids{1};
        data = IPtr<Zel::LinearVuMeterPhData>::adopt(new Zel::LinearVuMeterPhData(ids));
        data->setEntryCount(1);
        data->setValue(5000, 1.0f);
        data->setValue(1, p);
        auto controller = IPtr<MeterOnlyController>::adopt(new MeterOnlyController(data.get(), &framework->skins()));
        IPlugView* view = nullptr;
        EXPECT_EQ(framework->skins().createView("DuravIrorSmallVazEzaru", controller.get(), &view), kResultOk);
        auto held = IPtr<IPlugView>::adopt(view);
        IPtr<EditorView> editor = queryInterface<EditorView>(view);
        return editor ? editor->render() : EditorView::Surface{};
    }

    IPtr<ViewFramework> framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    IPtr<NivoloHost::HostContext> context = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    IPtr<Zel::LinearVuMeterPhData> data;
};

TEST_F(ModuleMeterView, BarIsLitToTwoThirdsAtMinus23Lufs) {
    // The controller feeds (L + 59) / 54: -23 LUFS stands at 0.667 of the 230-pixel bar.
    const float position = static_cast<float>((-23.0 + 59.0) / 54.0);
    auto lit = renderAt(position);
    auto empty = renderAt(0.0f);
    ASSERT_TRUE(lit && empty);
    const int expectedTop = static_cast<int>((1.0f - position) * 230.0f + 0.5f);
    int firstLit = -1;
    for (int row = 0; row < 230 && firstLit < 0; ++row)
        if (pixelAt(lit.get(), 30, 15 + row) != pixelAt(empty.get(), 30, 15 + row)) firstLit = row;
    EXPECT_EQ(firstLit, expectedTop);
    // Below the top, exactly the rows where the fore image drawn over the back
    // image changes it differ from the empty meter.
    auto bitmap = [&](const char* name) {
        FUnknown* out = nullptr;
        framework->skins().getBitmap(name, &out);
        auto held = IPtr<FUnknown>::adopt(out);
        return queryInterface<Bitmap>(out);
    };
    IPtr<Bitmap> fore = bitmap("bmDuravIrorMeterHorizFore"), back = bitmap("bmDuravIrorMeterHorizBack");
    IPtr<Bitmap> editorBack = bitmap("bmDuravIrorBack");
    ASSERT_TRUE(fore && back && editorBack);
    for (int row = 0; row < 230; ++row) {
        const uint32_t unlitPixel = over(back->pixel(9, row), editorBack->pixel(30, 15 + row));
        const bool imagesDiffer = !near(over(fore->pixel(9, row), unlitPixel), unlitPixel);
        const bool shownDiffers = pixelAt(lit.get(), 30, 15 + row) != pixelAt(empty.get(), 30, 15 + row);
        EXPECT_EQ(shownDiffers, row >= expectedTop && imagesDiffer) << "row " << row;
    }
}

} // namespace
} // namespace HostViewTest
