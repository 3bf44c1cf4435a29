#include "host/PluginModule.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "interfaces/PluginExports.h"

namespace NivoloHost {

namespace {
// Loader texts can span lines (and end in one); the host reports one.
std::string oneLine(const char* text) {
    std::string s = text ? text : "unknown error";
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The platform's dynamic loader: open, look up, close, and why opening failed.
#if defined(_WIN32)
void* openLibrary(const std::string& path) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    if (units <= 0) return nullptr;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), units);
    // No "cannot find" dialog box for a module that is missing pieces.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryW(wide.c_str());
    SetErrorMode(previous);
    return reinterpret_cast<void*>(library);
}
void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
std::string loaderError() {
    const DWORD code = GetLastError();
    char text[512] = {};
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                        sizeof text, nullptr))
        return "error " + std::to_string(code);
    return oneLine(text);
}
#else
void* openLibrary(const std::string& path) {
    dlerror();
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* findSymbol(void* library, const char* name) { return dlsym(library, name); }
void closeLibrary(void* library) { dlclose(library); }
std::string loaderError() { return oneLine(dlerror()); }
#endif
} // namespace

bool PluginModule::load(const std::string& path, std::string& error) {
    unload();
    void* library = openLibrary(path);
    if (!library) {
        error = "cannot load module '" + path + "': " + loaderError();
        return false;
    }
    auto initDll = reinterpret_cast<Zel::InitDllProc>(findSymbol(library, Zel::kInitDllName));
    void* exitDll = findSymbol(library, Zel::kExitDllName);
    void* getFactory = findSymbol(library, Zel::kGetPluginFactoryName);
    if (!initDll || !exitDll || !getFactory) {
        error = "'" + path + "' is not a plug-in module: it does not export InitDll, ExitDll and GetPluginFactory";
        closeLibrary(library);
        return false;
    }
    if (!initDll()) {
        error = "module '" + path + "' refused to initialise (InitDll returned false)";
        closeLibrary(library);
        return false;
    }
    Zel::IPluginFactory* factory = reinterpret_cast<Zel::GetPluginFactoryProc>(getFactory)();
    if (!factory) {
        error = "module '" + path + "' returned no factory";
        reinterpret_cast<Zel::ExitDllProc>(exitDll)();
        closeLibrary(library);
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
    closeLibrary(library_);
    library_ = nullptr;
    exitDll_ = nullptr;
    getPluginFactory_ = nullptr;
    path_.clear();
}

} // namespace NivoloHost
