#include "module/CPluginFactory.h"

#include <cstring>
#include <new>

#include "interfaces/InterfaceQuery.h"

namespace Zel {

namespace {
// Each 8-bit character widened to one UTF-16 unit, cut to leave the terminator.
template <size_t N, size_t M>
void widen(char16_t (&out)[N], const char (&in)[M]) {
    size_t i = 0;
    for (; i + 1 < N && i < M && in[i] != '\0'; ++i) out[i] = static_cast<char16_t>(static_cast<unsigned char>(in[i]));
    for (; i < N; ++i) out[i] = 0;
}
} // namespace

CPluginFactory::CPluginFactory(const FactoryInfo& info) : factoryInfo_(info) {}

CPluginFactory::~CPluginFactory() = default;

bool CPluginFactory::registerClass(const ClassInfo2* info, CreateFunction create, void* context) {
    if (!info || !create) return false;
    if (classRegistry_.size() == classRegistry_.capacity()) {
        try {
            classRegistry_.reserve(classRegistry_.capacity() + kRegistryGrowth);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    ClassEntry entry{};
    entry.info2 = *info;
    ClassInfoWide& wide = entry.infoWide;
    wide.cid = info->cid;
    wide.cardinality = info->cardinality;
    std::memcpy(wide.category, info->category, sizeof wide.category);
    widen(wide.name, info->name);
    wide.classFlags = info->classFlags;
    std::memcpy(wide.subCategories, info->subCategories, sizeof wide.subCategories);
    widen(wide.vendor, info->vendor);
    widen(wide.version, info->version);
    widen(wide.sdkVersion, info->sdkVersion);
    entry.wideOnly = false;
    entry.create = create;
    entry.context = context;
    classRegistry_.push_back(entry);
    return true;
}

tresult CPluginFactory::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IPluginFactory>(asked, this, obj) ||
        answerInterface<IPluginFactory2>(asked, this, obj) || answerInterface<IPluginFactory3>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult CPluginFactory::readFactoryInfo(FactoryInfo* info) {
    if (info) *info = factoryInfo_;
    return kResultOk;
}

int32_t CPluginFactory::classCount() { return static_cast<int32_t>(classRegistry_.size()); }

bool CPluginFactory::validIndex(int32_t index) const {
    return index >= 0 && static_cast<size_t>(index) < classRegistry_.size();
}

tresult CPluginFactory::readClassInfo(int32_t index, ClassInfo* info) {
    if (!info || !validIndex(index)) return kInvalidArgument;
    const ClassEntry& entry = classRegistry_[static_cast<size_t>(index)];
    if (entry.wideOnly) {
        std::memset(info, 0, sizeof *info);
        return kResultFalse;
    }
    std::memcpy(info, &entry.info2, sizeof *info); // the leading ClassInfo part
    return kResultOk;
}

tresult CPluginFactory::readClassInfo2(int32_t index, ClassInfo2* info) {
    if (!info || !validIndex(index)) return kInvalidArgument;
    const ClassEntry& entry = classRegistry_[static_cast<size_t>(index)];
    if (entry.wideOnly) {
        std::memset(info, 0, sizeof *info);
        return kResultFalse;
    }
    *info = entry.info2;
    return kResultOk;
}

tresult CPluginFactory::readClassInfoWide(int32_t index, ClassInfoWide* info) {
    if (!info || !validIndex(index)) return kInvalidArgument;
    *info = classRegistry_[static_cast<size_t>(index)].infoWide;
    return kResultOk;
}

tresult CPluginFactory::createInstance(const TUID& classId, const TUID& iid, void** obj) {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    for (const ClassEntry& entry : classRegistry_) {
        if (!iidEqual(entry.info2.cid, classId)) continue;
        FUnknown* instance = entry.create(entry.context);
        if (!instance) return kNoInterface;
        if (instance->QueryInterface(iid, obj) != kResultOk || !*obj) {
            *obj = nullptr;
            instance->Release(); // the creation reference was the only one
            return kNoInterface;
        }
        instance->Release(); // the caller keeps the reference the query added
        return kResultOk;
    }
    return kNoInterface;
}

tresult CPluginFactory::acceptHostContext(FUnknown*) { return kResultOk; }

} // namespace Zel
