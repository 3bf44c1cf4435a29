#include "host/view/TemplateBuilder.h"

#include <charconv>

#include "host/view/SkinParser.h"
#include "host/view/ViewDescription.h"

namespace NivoloHost {

using namespace Zel;

TemplateBuilder::TemplateBuilder(const Skin& skin, IPlugController* controller)
    : skin_(skin), controller_(controller), builder_(queryInterface<IViewBuilder>(controller)) {}

EditorElement TemplateBuilder::build(const SkinElement& templ) {
    EditorElement root;
    root.kind = EditorElement::Kind::Group;
    root.hasRect = true;
    root.rect = Skin::templateSize(templ);
    buildChildren(templ, EditorElement::Font{}, root);
    return root;
}

void TemplateBuilder::buildChildren(const SkinElement& element, const EditorElement::Font& font, EditorElement& out) {
    for (const SkinElement& child : element.children) {
        if (child.tag == "property") continue; // read by the view description
        out.children.push_back(buildElement(child, font));
    }
}

Bitmap* TemplateBuilder::bitmapNamed(const SkinElement& element, const char* attribute) {
    const std::string* name = element.attribute(attribute);
    return name ? skin_.bitmap(*name) : nullptr;
}

void TemplateBuilder::bindControl(EditorElement& out) {
    if (out.name.empty()) return;
    IControl* control = nullptr;
    if (controller_ && controller_->findControl(out.name.c_str(), &control) == kResultOk && control)
        out.control = IPtr<IControl>::adopt(control);
    else
        unresolved_.push_back(out.name);
}

void TemplateBuilder::buildModuleView(const SkinElement& element, EditorElement& out) {
    if (!builder_) {
        unresolved_.push_back(out.name);
        return;
    }
    auto description = IPtr<ViewDescription>::adopt(new ViewDescription(element));
    FUnknown* parent = static_cast<IViewDescription*>(description.get());
    FUnknown* view = parent;
    builder_->createView(out.name.c_str(), &out.rect, &view);
    if (view == parent) {
        unresolved_.push_back(out.name);
        return;
    }
    auto made = IPtr<FUnknown>::adopt(view);
    out.hostView = queryInterface<HostViewObject>(made.get());
    if (out.hostView) out.hostView->setRect(out.rect);
    else unresolved_.push_back(out.name); // a view object that is not one of our host views
}

EditorElement TemplateBuilder::buildElement(const SkinElement& element, const EditorElement::Font& inherited) {
    using Kind = EditorElement::Kind;
    EditorElement out;
    out.hasRect = element.hasRect;
    out.rect = element.rect;
    out.tooltip = element.attributeOr("tip");
    out.name = element.attributeOr("name");
    out.style = SkinParser::parseStyle(element.attributeOr("style"));
    out.font = inherited;
    const std::string& tag = element.tag;

    if (tag == "font") {
        out.kind = Kind::Group;
        out.name.clear();
        EditorElement::Font font = inherited;
        font.face = element.attributeOr("face", font.face);
        const std::string size = element.attributeOr("size");
        int32_t pixels = 0;
        if (auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), pixels);
            ec == std::errc() && end == size.data() + size.size() && pixels > 0)
            font.size = pixels;
        if (const std::string* colour = element.attribute("color")) skin_.colour(*colour, font.colour);
        out.font = font;
        buildChildren(element, font, out);
    } else if (tag == "image") {
        out.kind = Kind::Image;
        out.bitmap = bitmapNamed(element, "bitmap");
    } else if (tag == "text") {
        out.kind = Kind::Text;
        out.leftAligned = element.attributeOr("just") == "left";
        bindControl(out);
    } else if (tag == "switch") {
        out.kind = Kind::Switch;
        out.bitmap = bitmapNamed(element, "bitmap");
        bindControl(out);
    } else if (tag == "slider") {
        out.kind = Kind::Slider;
        out.bitmap = bitmapNamed(element, "background");
        out.handle = bitmapNamed(element, "handle");
        bindControl(out);
    } else if (tag == "alternative") {
        out.kind = Kind::Alternative;
        bindControl(out);
        buildChildren(element, inherited, out);
    } else if (tag == "view" && !out.name.empty()) {
        out.kind = Kind::ModuleView;
        buildModuleView(element, out);
    } else {
        // Plain views and elements this framework does not draw hold their children.
        out.kind = Kind::Group;
        out.name.clear();
        buildChildren(element, inherited, out);
    }
    return out;
}

} // namespace NivoloHost
