#include "host/InfoCommand.h"

#include <cstring>

#include "host/JsonString.h"
#include "host/PluginModule.h"
#include "interfaces/IPtr.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

namespace {

template <size_t N>
std::string field(const char (&text)[N]) {
    return std::string(text, strnlen(text, N));
}

// UTF-16 field to UTF-8 for the terminal.
template <size_t N>
std::string field(const char16_t (&text)[N]) {
    char buffer[N * 3 + 1];
    size_t n = Zel::utf16ToUtf8(text, N, buffer, sizeof buffer);
    return std::string(buffer, n);
}

// The fields every form of the class record has, as the host will show them.
struct ClassView {
    Zel::TUID cid{};
    int32_t cardinality = 0;
    std::string category, name, subCategories, vendor, version, sdkVersion;
    uint32_t classFlags = 0;
    bool extended = false; // the factory answered more than the basic record
};

bool readClass(Zel::IPluginFactory* factory, int32_t index, ClassView& view) {
    if (auto f3 = Zel::queryInterface<Zel::IPluginFactory3>(factory)) {
        Zel::ClassInfoWide info{};
        if (f3->readClassInfoWide(index, &info) == Zel::kResultOk) {
            view = {info.cid,          info.cardinality,        field(info.category), field(info.name),
                    field(info.subCategories), field(info.vendor), field(info.version), field(info.sdkVersion),
                    info.classFlags,   true};
            return true;
        }
    }
    if (auto f2 = Zel::queryInterface<Zel::IPluginFactory2>(factory)) {
        Zel::ClassInfo2 info{};
        if (f2->readClassInfo2(index, &info) == Zel::kResultOk) {
            view = {info.cid,          info.cardinality,        field(info.category), field(info.name),
                    field(info.subCategories), field(info.vendor), field(info.version), field(info.sdkVersion),
                    info.classFlags,   true};
            return true;
        }
    }
    Zel::ClassInfo info{};
    if (factory->readClassInfo(index, &info) != Zel::kResultOk) return false;
    view = {};
    view.cid = info.cid;
    view.cardinality = info.cardinality;
    view.category = field(info.category);
    view.name = field(info.name);
    return true;
}

} // namespace

int runInfo(const std::string& modulePath, std::ostream& out, std::ostream& err) {
    PluginModule module;
    std::string error;
    if (!module.load(modulePath, error)) {
        err << "nivolo-host: " << error << "\n";
        return 1;
    }
    Zel::IPluginFactory* factory = module.factory();

    Zel::FactoryInfo info{};
    factory->readFactoryInfo(&info);
    out << "Module: " << modulePath << "\n";
    out << "Factory\n";
    out << "  vendor:  " << jsonString(field(info.vendor)) << "\n";
    out << "  url:     " << jsonString(field(info.url)) << "\n";
    out << "  email:   " << jsonString(field(info.email)) << "\n";
    out << "  flags:   " << info.flags << "\n";

    int32_t count = factory->classCount();
    out << "Classes: " << count << "\n";
    for (int32_t i = 0; i < count; ++i) {
        ClassView view;
        if (!readClass(factory, i, view)) {
            err << "nivolo-host: the factory gave no information for class " << i << "\n";
            return 1;
        }
        out << "[" << i << "] " << Zel::tuidToRegistry(view.cid) << "\n";
        out << "    cardinality:    " << view.cardinality << "\n";
        out << "    category:       " << jsonString(view.category) << "\n";
        out << "    name:           " << jsonString(view.name) << "\n";
        if (!view.extended) continue;
        out << "    class flags:    " << view.classFlags << "\n";
        out << "    sub-categories: " << jsonString(view.subCategories) << "\n";
        out << "    vendor:         "
            << (view.vendor.empty() ? jsonString(field(info.vendor)) + " (factory's)" : jsonString(view.vendor)) << "\n";
        out << "    version:        " << jsonString(view.version) << "\n";
        out << "    sdk version:    " << jsonString(view.sdkVersion) << "\n";
    }
    return 0;
}

int runVersion(const std::string& hostVersion, const std::string& modulePath, const std::string& libraries,
               std::ostream& out, std::ostream& err) {
    out << "nivolo-host " << hostVersion << "\n";
    PluginModule module;
    std::string error;
    int status = 0;
    if (!module.load(modulePath, error)) {
        err << "nivolo-host: " << error << "\n";
        status = 1;
    } else {
        Zel::IPluginFactory* factory = module.factory();
        ClassView view;
        bool found = false;
        for (int32_t i = 0; !found && i < factory->classCount(); ++i)
            found = readClass(factory, i, view) && view.category == "Audio Module Class";
        out << (found ? view.name : std::string("module")) << " "
            << (found && !view.version.empty() ? view.version : std::string("(no version)")) << " (" << modulePath
            << ")\n";
    }
    out << libraries << "\n";
    return status;
}

} // namespace NivoloHost
