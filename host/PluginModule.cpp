#include "host/PluginModule.h"

#include <dlfcn.h>

#include "interfaces/PluginExports.h"

namespace NivoloHost {

namespace {
// dlerror texts can span lines; the host reports one.
std::string oneLine(const char* text) {
    std::string s = text ? text : "unknown error";
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}
} // namespace

bool PluginModule::load(const std::string& path, std::string& error) {
    unload();
    dlerror();
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        error = "cannot load module '" + path + "': " + oneLine(dlerror());
        return false;
    }
    auto initDll = reinterpret_cast<Zel::InitDllProc>(dlsym(library, Zel::kInitDllName));
    void* exitDll = dlsym(library, Zel::kExitDllName);
    void* getFactory = dlsym(library, Zel::kGetPluginFactoryName);
    if (!initDll || !exitDll || !getFactory) {
        error = "'" + path + "' is not a plug-in module: it does not export InitDll, ExitDll and GetPluginFactory";
        dlclose(library);
        return false;
    }
    if (!initDll()) {
        error = "module '" + path + "' refused to initialise (InitDll returned false)";
        dlclose(library);
        return false;
    }
    Zel::IPluginFactory* factory = reinterpret_cast<Zel::GetPluginFactoryProc>(getFactory)();
    if (!factory) {
        error = "module '" + path + "' returned no factory";
        reinterpret_cast<Zel::ExitDllProc>(exitDll)();
        dlclose(library);
        return false;
    }
    library_ = library;
    exitDll_ = exitDll;
    getPluginFactory_ = getFactory;
    factory_ = Zel::IPtr<Zel::IPluginFactory>::adopt(factory);
    path_ = path;
    return true;
}

Zel::IPluginFactory* PluginModule::callGetPluginFactory() const {
    if (!getPluginFactory_) return nullptr;
    return reinterpret_cast<Zel::GetPluginFactoryProc>(getPluginFactory_)();
}

void PluginModule::unload() {
    if (!library_) return;
    factory_.reset();
    reinterpret_cast<Zel::ExitDllProc>(exitDll_)();
    dlclose(library_);
    library_ = nullptr;
    exitDll_ = nullptr;
    getPluginFactory_ = nullptr;
    path_.clear();
}

} // namespace NivoloHost
