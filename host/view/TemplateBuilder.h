#pragma once
// Builds an editor's element tree from a skin template: binds every named
// control through the controller, asks its view builder for every named view,
// and carries fonts down to the texts inside them.

#include <string>
#include <vector>

#include "host/view/EditorElement.h"
#include "host/view/Skin.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IViewBuilder.h"

namespace NivoloHost {

class TemplateBuilder {
public:
    // controller may be null (nothing is bound then); its view builder is
    // asked of it.
    TemplateBuilder(const Skin& skin, Zel::IPlugController* controller);

    EditorElement build(const SkinElement& templ);

    // Names the controller had no control (or view) for, in template order.
    const std::vector<std::string>& unresolved() const { return unresolved_; }

private:
    void buildChildren(const SkinElement& element, const EditorElement::Font& font, EditorElement& out);
    EditorElement buildElement(const SkinElement& element, const EditorElement::Font& font);
    void bindControl(EditorElement& out);
    void buildModuleView(const SkinElement& element, EditorElement& out);
    Bitmap* bitmapNamed(const SkinElement& element, const char* attribute);

    const Skin& skin_;
    Zel::IPlugController* controller_;
    Zel::IPtr<Zel::IViewBuilder> builder_;
    std::vector<std::string> unresolved_;
};

} // namespace NivoloHost
