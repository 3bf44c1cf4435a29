#pragma once
// The framework's skin service: skins registered by module (read from the
// module's resource), their bitmaps, colours and templates, and the editors
// built from the templates. It also takes the plug-in's colour groups.

#include <memory>
#include <string>
#include <vector>

#include "host/view/Skin.h"
#include "interfaces/IColorGroupInformation.h"
#include "interfaces/IPtr.h"
#include "interfaces/ISkinResource.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class SkinService : public Zel::ISkinResource, public Zel::IColorGroupInformation {
public:
    // The resource type a module carries its skin file as.
    static constexpr const char* kResourceType = "RCDATA";

    SkinService() = default;
    virtual ~SkinService() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // ISkinResource. Names of bitmaps, colours and templates are looked up in
    // the registered skins in registration order.
    Zel::tresult getBitmap(const char* name, Zel::FUnknown** bitmap) override;
    Zel::tresult getColour(const char* name, Zel::ColourArgb* colour) override;
    // Registering a module again replaces its skin. kResultFalse on any fault,
    // with the reason in lastError().
    Zel::tresult registerSkin(void* moduleHandle, const char16_t* fileName) override;
    Zel::tresult unregisterSkin(void* moduleHandle) override;
    int32_t templateCount() override;
    Zel::tresult templateName(int32_t index, char* buffer, int32_t size) override;
    Zel::tresult hasTemplate(const char* name) override;
    Zel::tresult templateSize(const char* name, Zel::ViewRect* size) override;
    // The face a font name is drawn with here.
    Zel::tresult getFontFace(const char* name, char* buffer, int32_t size) override;
    // Reads every registered module's skin again; a skin that no longer reads
    // keeps its old state.
    Zel::tresult reload() override;
    Zel::tresult createView(const char* templateName, Zel::IPlugController* controller,
                            Zel::IPlugView** view) override;

    // IColorGroupInformation: keeps the groups handed over and answers with them,
    // until the skin registered last before them is unregistered (they belong
    // to that module, which may be unloaded next).
    Zel::tresult assign(Zel::IColorGroupInformation* groups) override;
    Zel::tresult groupCount(int32_t* count) override;
    Zel::tresult groupAt(int32_t index, Zel::FUnknown** transform) override;

    // Registers a skin from resource file bytes under key (as registerSkin
    // does under a module handle): for tools that read the file directly.
    bool registerSkinData(void* key, const uint8_t* data, size_t size);
    const std::string& lastError() const { return lastError_; }
    size_t skinCount() const { return skins_.size(); }
    Zel::IColorGroupInformation* colourGroups() const { return groups_.get(); }

private:
    struct Registration {
        void* handle;
        std::string fileName; // empty for skins registered from bytes
        std::shared_ptr<const Skin> skin;
    };

    void store(void* handle, std::string fileName, std::shared_ptr<const Skin> skin);
    // The skin holding the template, and the template; null when none does.
    const SkinElement* findTemplate(const char* name, std::shared_ptr<const Skin>* skin = nullptr) const;
    std::shared_ptr<const Skin> readModuleSkin(void* handle, const std::string& fileName);

    Zel::RefCount refCount_;
    std::vector<Registration> skins_;
    Zel::IPtr<Zel::IColorGroupInformation> groups_;
    void* groupsOwner_ = nullptr;
    void* lastRegistered_ = nullptr;
    std::string lastError_;
};

} // namespace NivoloHost
