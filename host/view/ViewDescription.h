#pragma once
// The parent object the framework hands a controller's view builder: the skin
// element's attributes, its "property" children and its rectangle.

#include <string>
#include <utility>
#include <vector>

#include "host/view/SkinModel.h"
#include "interfaces/IViewDescription.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class ViewDescription : public Zel::IViewDescription {
public:
    explicit ViewDescription(const SkinElement& element);
    virtual ~ViewDescription() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // A value longer than the buffer is cut (and still terminated).
    Zel::tresult getAttribute(const char* key, char* buffer, int32_t size) override;
    Zel::tresult getRect(Zel::ViewRect* rect) override;

private:
    Zel::RefCount refCount_;
    std::vector<std::pair<std::string, std::string>> attributes_;
    std::vector<std::pair<std::string, std::string>> properties_;
    Zel::ViewRect rect_;
};

} // namespace NivoloHost
