#include "host/view/EditorView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/view/CairoDrawContext.h"
#include "host/view/ControlBase.h"
#include "host/view/SkinModel.h"
#include "interfaces/IHostViewMouseEvent.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;
using Kind = EditorElement::Kind;

namespace {

constexpr int32_t kFirstButton = 1;

template <class Visit>
void forEachElement(EditorElement& element, Visit&& visit) {
    visit(element);
    for (EditorElement& child : element.children) forEachElement(child, visit);
}

bool isClickable(const EditorElement& e) {
    return e.hasRect && (e.kind == Kind::Switch || e.kind == Kind::Slider || e.kind == Kind::ModuleView);
}

// What the pointer is over, for tooltips: anything drawn, and containers that
// carry a tip of their own.
bool isPointable(const EditorElement& e) {
    if (!e.hasRect) return false;
    return (e.kind != Kind::Group && e.kind != Kind::Alternative) || !e.tooltip.empty();
}

std::string controlText(IControl* control) {
    if (!control) return {};
    if (IPtr<ControlBase> own = queryInterface<ControlBase>(control)) return own->valueText();
    char buffer[1024];
    int32_t size = sizeof buffer;
    if (control->getText(buffer, &size) != kResultOk) return {};
    return std::string(buffer, static_cast<size_t>(std::clamp<int32_t>(size, 0, sizeof buffer - 1)));
}

// A bitmap at the rectangle's corner, unscaled, cut to the rectangle.
void drawPicture(CairoDrawContext& dc, Bitmap* bitmap, const ViewRect& rect, const ViewRect* frame = nullptr) {
    if (!bitmap) return;
    ViewRect source = frame ? *frame : ViewRect{0, 0, bitmap->width(), bitmap->height()};
    source.right = std::min(source.right, source.left + rect.width());
    source.bottom = std::min(source.bottom, source.top + rect.height());
    ViewRect destination{rect.left, rect.top, rect.left + source.width(), rect.top + source.height()};
    dc.drawBitmapSection(static_cast<IBitmapSize*>(bitmap), &source, &destination);
}

} // namespace

EditorView::EditorView(std::shared_ptr<const Skin> skin, std::string templateName, IPlugController* controller,
                       EditorElement root, std::vector<std::string> unresolved)
    : skin_(std::move(skin)), templateName_(std::move(templateName)), controller_(controller), root_(std::move(root)),
      unresolved_(std::move(unresolved)) {}

EditorView::~EditorView() {
    // The module's views die with the editor: their host views let go of them
    // (a view that holds its host view would otherwise keep both alive).
    forEachElement(root_, [](EditorElement& e) {
        if (e.hostView) e.hostView->setClient(nullptr);
    });
}

tresult EditorView::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPlugView>(asked, this, obj) || answerInterface<EditorView>(asked, this, obj) ||
        answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult EditorView::isPlatformTypeSupported(const char* type) {
    return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult EditorView::attached(void*, const char* type) {
    if (isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    attached_ = true;
    return kResultOk;
}

tresult EditorView::removed() {
    attached_ = false;
    return kResultOk;
}

tresult EditorView::getSize(ViewRect* size) {
    if (!size) return kInvalidArgument;
    *size = root_.rect;
    return kResultOk;
}

tresult EditorView::onSize(ViewRect* newSize) {
    if (!newSize) return kInvalidArgument;
    return newSize->width() == root_.rect.width() && newSize->height() == root_.rect.height() ? kResultOk
                                                                                              : kResultFalse;
}

tresult EditorView::setFrame(FUnknown* frame) {
    frame_ = frame;
    return kResultOk;
}

tresult EditorView::checkSizeConstraint(ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    rect->right = rect->left + root_.rect.width();
    rect->bottom = rect->top + root_.rect.height();
    return kResultOk;
}

// ---- drawing ----------------------------------------------------------------

int32_t EditorView::chosenIndex(const EditorElement& alternative) {
    // Without a control the alternative stands at its first child, as a value of 0 would.
    const int32_t index = alternative.control ? alternative.control->getIntValue() : 0;
    return index >= 0 && index < static_cast<int32_t>(alternative.children.size()) ? index : -1;
}

template <class Visit>
void EditorView::forEachShown(EditorElement& element, Visit&& visit) {
    visit(element);
    const int32_t chosen = element.kind == Kind::Alternative ? chosenIndex(element) : -1;
    for (size_t i = 0; i < element.children.size(); ++i)
        if (element.kind != Kind::Alternative || static_cast<int32_t>(i) == chosen)
            forEachShown(element.children[i], visit);
}

EditorView::Surface EditorView::render() {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, root_.rect.width(), root_.rect.height()));
    cairo_t* cr = cairo_create(surface.get());
    forEachElement(root_, [](EditorElement& e) {
        if (e.hostView) e.hostView->setVisible(false);
    });
    paint(cr, root_);
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

bool EditorView::renderToPng(const std::string& path, std::string& error) {
    Surface surface = render();
    cairo_status_t status = cairo_surface_write_to_png(surface.get(), path.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        error = path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

void EditorView::paint(cairo_t* cr, const EditorElement& element) {
    if (element.kind == Kind::ModuleView) {
        paintModuleView(cr, element);
        return;
    }
    if (element.kind == Kind::Group) {
        for (const EditorElement& child : element.children) paint(cr, child);
        return;
    }
    if (element.kind == Kind::Alternative) {
        if (const int32_t chosen = chosenIndex(element); chosen >= 0)
            paint(cr, element.children[static_cast<size_t>(chosen)]);
        return;
    }

    CairoDrawContext dc(cr, root_.rect);
    const ViewRect& r = element.rect;
    switch (element.kind) {
    case Kind::Image: drawPicture(dc, element.bitmap.get(), r); break;
    case Kind::Text: {
        if (!element.control) break;
        const std::string text = controlText(element.control.get());
        dc.setFont(element.font.face.c_str(), element.font.size, 0, 1.0);
        dc.setTextColour(element.font.colour);
        dc.drawStringAligned(text.c_str(), &r,
                             element.leftAligned ? CairoDrawContext::kAlignLeft : CairoDrawContext::kAlignCenter);
        break;
    }
    case Kind::Switch: {
        Bitmap* picture = element.bitmap.get();
        if ((element.style & kStyleNoDraw) || !picture) break;
        // A picture at least twice the switch's height is a strip of states,
        // one under the other: the value chooses the state.
        const int32_t frameHeight = r.height();
        const int32_t frames = frameHeight > 0 ? picture->height() / frameHeight : 0;
        if (frames >= 2) {
            const float value = element.control ? element.control->getNormalized() : 0.0f;
            const int32_t index = std::clamp(static_cast<int32_t>(std::lround(value * (frames - 1))), 0, frames - 1);
            ViewRect frame{0, index * frameHeight, picture->width(), (index + 1) * frameHeight};
            drawPicture(dc, picture, r, &frame);
        } else {
            drawPicture(dc, picture, r);
        }
        break;
    }
    case Kind::Slider: {
        drawPicture(dc, element.bitmap.get(), r);
        Bitmap* handle = element.handle.get();
        if (!handle) break;
        const double value = element.control ? element.control->getNormalized() : 0.0;
        ViewRect place;
        if (element.style & kStyleVertical) {
            place.left = r.left + (r.width() - handle->width()) / 2;
            place.top = r.top + static_cast<int32_t>(std::lround((1.0 - value) * (r.height() - handle->height())));
        } else {
            place.left = r.left + static_cast<int32_t>(std::lround(value * (r.width() - handle->width())));
            place.top = r.top + (r.height() - handle->height()) / 2;
        }
        place.right = place.left + handle->width();
        place.bottom = place.top + handle->height();
        drawPicture(dc, handle, place);
        break;
    }
    default: break;
    }
}

void EditorView::paintModuleView(cairo_t* cr, const EditorElement& element) {
    if (!element.hostView) return;
    element.hostView->setVisible(true);
    IHostViewClient* client = element.hostView->client();
    if (!client) return;
    auto dc = IPtr<CairoDrawContext>::adopt(new CairoDrawContext(cr, element.rect));
    const ViewRect local{0, 0, element.rect.width(), element.rect.height()};
    client->draw(dc.get(), &local);
    dc->close(); // a view that kept the context cannot draw after this
}

// ---- input ----------------------------------------------------------------------

EditorElement* EditorView::topMost(int32_t x, int32_t y, bool clickableOnly) {
    EditorElement* found = nullptr;
    forEachShown(root_, [&](EditorElement& e) {
        if ((clickableOnly ? isClickable(e) : isPointable(e)) && e.contains(x, y)) found = &e;
    });
    return found;
}

bool EditorView::clickAt(int32_t x, int32_t y) {
    EditorElement* element = topMost(x, y, true);
    if (!element) return false;
    click(*element, x, y);
    return true;
}

bool EditorView::clickElement(const std::string& name) {
    EditorElement* found = nullptr;
    forEachShown(root_, [&](EditorElement& e) {
        if (isClickable(e) && e.name == name) found = &e;
    });
    if (!found) return false;
    click(*found, (found->rect.left + found->rect.right) / 2, (found->rect.top + found->rect.bottom) / 2);
    return true;
}

bool EditorView::shownText(const std::string& name, std::string& text, ColourArgb* colour) {
    EditorElement* found = nullptr;
    forEachShown(root_, [&](EditorElement& e) {
        if (e.kind == Kind::Text && e.name == name) found = &e;
    });
    if (!found) return false;
    text = controlText(found->control.get());
    if (colour) *colour = found->font.colour;
    return true;
}

std::string EditorView::tooltipAt(int32_t x, int32_t y) {
    EditorElement* element = topMost(x, y, false);
    return element ? element->tooltip : std::string();
}

void EditorView::click(EditorElement& element, int32_t x, int32_t y) {
    if (element.kind == Kind::ModuleView) {
        if (!element.hostView) return;
        IPtr<IHostViewMouseEvent> mouse = queryInterface<IHostViewMouseEvent>(element.hostView->client());
        if (!mouse) return;
        const ViewPoint where{x - element.rect.left, y - element.rect.top};
        mouse->onMouseDown(&where, kFirstButton);
        mouse->onMouseUp(&where, kFirstButton);
        return;
    }
    if (!element.control) return;
    // The controller may rebuild things from its callback: the control stays
    // alive until the click is done.
    IPtr<IControl> control = element.control;
    IPtr<IPlugController4> gestures = queryInterface<IPlugController4>(control->getListener());
    if (gestures) gestures->beginGesture(control.get());
    if (element.kind == Kind::Slider) {
        const ViewRect& r = element.rect;
        const int32_t handle = element.handle ? (element.style & kStyleVertical ? element.handle->height()
                                                                                  : element.handle->width())
                                              : 0;
        const bool vertical = element.style & kStyleVertical;
        const double travel = std::max(1, (vertical ? r.height() : r.width()) - handle);
        const double offset = vertical ? y - r.top - handle / 2.0 : x - r.left - handle / 2.0;
        const double value = std::clamp(vertical ? 1.0 - offset / travel : offset / travel, 0.0, 1.0);
        control->setNormalized(static_cast<float>(value), 1);
    } else if (element.style & kStylePush) {
        control->setNormalized(1.0f, 1);
        control->setNormalized(0.0f, 1);
    } else {
        control->setNormalized(control->getNormalized() >= 0.5f ? 0.0f : 1.0f, 1);
    }
    if (gestures) gestures->endGesture(control.get());
}

void EditorView::collect(const EditorElement& element, bool visible, std::vector<ElementInfo>& out) {
    out.push_back(ElementInfo{element.kind, element.name, element.hasRect, element.rect, visible, element.tooltip});
    const int32_t chosen = element.kind == Kind::Alternative ? chosenIndex(element) : -1;
    for (size_t i = 0; i < element.children.size(); ++i)
        collect(element.children[i], visible && (element.kind != Kind::Alternative || static_cast<int32_t>(i) == chosen),
                out);
}

int64_t EditorView::invalidations() {
    int64_t sum = 0;
    forEachElement(root_, [&](EditorElement& e) {
        if (e.hostView) sum += e.hostView->invalidations();
    });
    return sum;
}

std::vector<EditorView::ElementInfo> EditorView::elements() {
    std::vector<ElementInfo> out;
    collect(root_, true, out);
    return out;
}

} // namespace NivoloHost
