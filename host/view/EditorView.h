#pragma once
// An editor built from a skin template: the plug-in view the host embeds, and
// what the host program and its tests do with it: render the editor as it
// looks now, click at a point, read a tooltip, find elements by bound name.

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "host/view/EditorElement.h"
#include "host/view/Skin.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IPlugView.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class EditorView : public Zel::IPlugView {
public:
    // Answered only by our editors, so that a host holding the IPlugView a
    // controller returned can reach the rendering side.
    static constexpr Zel::TUID iid = Zel::tuidFromRegistry("{71C5E3A8-2D94-4F06-B8A1-5E9C07D2F463}");
    // The one window type attached() accepts: an offscreen picture.
    static constexpr const char* kPlatformType = "CairoImage";

    struct SurfaceDeleter {
        void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
    };
    using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

    struct ElementInfo {
        EditorElement::Kind kind;
        std::string name;
        bool hasRect;
        Zel::ViewRect rect;
        bool visible; // shown now (every alternative above it chooses its branch)
        std::string tooltip;
    };

    // controller: referenced while the editor lives.
    EditorView(std::shared_ptr<const Skin> skin, std::string templateName, Zel::IPlugController* controller,
               EditorElement root, std::vector<std::string> unresolved);
    virtual ~EditorView();

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // IPlugView
    Zel::tresult isPlatformTypeSupported(const char* type) override;
    Zel::tresult attached(void* parent, const char* type) override;
    Zel::tresult removed() override;
    Zel::tresult onWheel(float) override { return Zel::kResultFalse; }
    Zel::tresult onKeyDown(char16_t, int16_t, int16_t) override { return Zel::kResultFalse; }
    Zel::tresult onKeyUp(char16_t, int16_t, int16_t) override { return Zel::kResultFalse; }
    Zel::tresult getSize(Zel::ViewRect* size) override;
    // The editor has the template's fixed size: other sizes are refused.
    Zel::tresult onSize(Zel::ViewRect* newSize) override;
    Zel::tresult onFocus(uint8_t) override { return Zel::kResultOk; }
    Zel::tresult setFrame(Zel::FUnknown* frame) override;
    Zel::tresult canResize() override { return Zel::kResultFalse; }
    Zel::tresult checkSizeConstraint(Zel::ViewRect* rect) override;

    // The whole editor as it looks now, on a transparent ARGB32 surface of the
    // template's size.
    Surface render();
    bool renderToPng(const std::string& path, std::string& error);

    // A click (press and release of the first button) at (x, y) for the
    // top-most shown switch, slider or module view there. False when none.
    bool clickAt(int32_t x, int32_t y);
    // Clicks the centre of the top-most shown clickable element bound to name.
    bool clickElement(const std::string& name);
    // The text that the top-most shown text element bound to name draws now,
    // and its colour. False when no such text is shown.
    bool shownText(const std::string& name, std::string& text, Zel::ColourArgb* colour = nullptr);
    // The tooltip of the top-most shown element at (x, y); empty when it has
    // none.
    std::string tooltipAt(int32_t x, int32_t y);

    // How often the module's views in the editor asked to be drawn again, in
    // all: a host loop draws when this changed (or a control did).
    int64_t invalidations();

    // Every element in drawing order.
    std::vector<ElementInfo> elements();
    const std::string& templateName() const { return templateName_; }
    const Zel::ViewRect& size() const { return root_.rect; }
    const Skin& skin() const { return *skin_; }
    // Names the controller had no control or view for.
    const std::vector<std::string>& unresolved() const { return unresolved_; }
    bool isAttached() const { return attached_; }

private:
    void paint(cairo_t* cr, const EditorElement& element);
    void paintModuleView(cairo_t* cr, const EditorElement& element);
    // The position of an alternative's shown child; -1 when its value chooses none.
    static int32_t chosenIndex(const EditorElement& alternative);
    template <class Visit>
    static void forEachShown(EditorElement& element, Visit&& visit);
    EditorElement* topMost(int32_t x, int32_t y, bool clickableOnly);
    void click(EditorElement& element, int32_t x, int32_t y);
    void collect(const EditorElement& element, bool visible, std::vector<ElementInfo>& out);

    Zel::RefCount refCount_;
    std::shared_ptr<const Skin> skin_;
    std::string templateName_;
    Zel::IPtr<Zel::IPlugController> controller_;
    EditorElement root_;
    std::vector<std::string> unresolved_;
    Zel::FUnknown* frame_ = nullptr;
    bool attached_ = false;
};

} // namespace NivoloHost
