#include "module/NivoloFactory.h"

#include <cstring>
#include <new>

#include "controller/SmallVazEzaruController.h"
#include "module/ModuleIds.h"
#include "processor/VazEzaruZel.h"

namespace Zel {

namespace {

NivoloFactory* gFactory = nullptr;

template <size_t N>
void copyField(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::strncpy(field, text, N - 1);
}

const FactoryInfo& factoryInfo() {
    static const FactoryInfo info = [] {
        FactoryInfo i{};
        copyField(i.vendor, kVendorName);
        copyField(i.url, kVendorUrl);
        copyField(i.email, kVendorEmail);
        i.flags = FactoryInfo::kComponentNonDiscardable | FactoryInfo::kUnicode;
        return i;
    }();
    return info;
}

ClassInfo2 classInfo(const TUID& cid, const char* category, const char* name, uint32_t classFlags,
                     const char* subCategories) {
    ClassInfo2 info{};
    info.cid = cid;
    info.cardinality = kManyInstances;
    copyField(info.category, category);
    copyField(info.name, name);
    info.classFlags = classFlags;
    copyField(info.subCategories, subCategories);
    copyField(info.version, kModuleVersion);
    copyField(info.sdkVersion, kSdkVersion);
    return info; // vendor stays empty: hosts fall back to the factory's
}

// Processor and controller share no memory; they meet only through their connection.
constexpr uint32_t kDistributable = 1;

FUnknown* createProcessor(void*) {
    auto* processor = new (std::nothrow) VazEzaruZel;
    return processor ? processor->unknownCast() : nullptr;
}

FUnknown* createController(void*) {
    auto* controller = new (std::nothrow) SmallVazEzaruController;
    return controller ? controller->unknownCast() : nullptr;
}

} // namespace

NivoloFactory::NivoloFactory(const FactoryInfo& info) : CPluginFactory(info) {}

NivoloFactory::~NivoloFactory() {
    if (gFactory == this) gFactory = nullptr;
}

NivoloFactory* NivoloFactory::instance() { return gFactory; }

IPluginFactory* NivoloFactory::getFactory() {
    if (gFactory) {
        gFactory->AddRef();
        return gFactory;
    }
    auto* factory = new (std::nothrow) NivoloFactory(factoryInfo());
    if (!factory) return nullptr;
    gFactory = factory;

    static const ClassInfo2 processor =
        classInfo(kProcessorClassId, kProcessorCategory, kProcessorName, kDistributable, kProcessorSubCategories);
    static const ClassInfo2 controller = classInfo(kControllerClassId, kControllerCategory, kControllerName, 0, "");
    factory->registerClass(&processor, createProcessor);
    factory->registerClass(&controller, createController);
    return factory;
}

} // namespace Zel
