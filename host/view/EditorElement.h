#pragma once
// One element of a built editor: a skin element bound to its control, bitmaps,
// font and (for a named view) the host view of the module's view.

#include <string>
#include <vector>

#include "host/view/Bitmap.h"
#include "host/view/HostViewObject.h"
#include "interfaces/IControl.h"
#include "interfaces/IPtr.h"
#include "interfaces/ViewTypes.h"

namespace NivoloHost {

struct EditorElement {
    enum class Kind {
        Group,       // the template, a font, or a view without a name: its children
        Image,       // a bitmap, unscaled, clipped to the rectangle
        Text,        // the bound control's value text
        Switch,      // a clickable area, with an optional picture
        Slider,      // a handle over a background, at the control's normalised value
        Alternative, // the child whose position equals the control's value
        ModuleView,  // a view the controller's view builder made
    };

    struct Font {
        std::string face;
        int32_t size = 12;
        Zel::ColourArgb colour = 0xFF000000u;
    };

    Kind kind = Kind::Group;
    std::string name; // bound control or view name; empty when unbound
    bool hasRect = false;
    Zel::ViewRect rect;
    std::string tooltip;
    uint32_t style = 0; // SkinStyle bits
    bool leftAligned = false;
    Font font;
    Zel::IPtr<Zel::IControl> control;
    Zel::IPtr<Bitmap> bitmap; // image, switch picture, slider background
    Zel::IPtr<Bitmap> handle; // slider handle
    Zel::IPtr<HostViewObject> hostView;
    std::vector<EditorElement> children;

    bool contains(int32_t x, int32_t y) const {
        return hasRect && x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
    }
};

} // namespace NivoloHost
