#include "host/HostAttributeSet.h"

#include <algorithm>

#include "host/AudioThreadGuard.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult HostAttributeSet::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IAttributeSet>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

template <class T>
const T* HostAttributeSet::find(const char* key) const {
    if (!key) return nullptr;
    AudioThreadGuard::Exempt exempt; // the lookup makes a key string
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : std::get_if<T>(&it->second);
}

tresult HostAttributeSet::setInt(const char* key, int64_t value) {
    if (!key) return kInvalidArgument;
    AudioThreadGuard::Exempt exempt; // messages are filled on the audio thread too
    values_[key] = value;
    return kResultOk;
}

tresult HostAttributeSet::getInt(const char* key, int64_t& value) {
    const int64_t* v = find<int64_t>(key);
    if (!v) return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult HostAttributeSet::setFloat(const char* key, double value) {
    if (!key) return kInvalidArgument;
    AudioThreadGuard::Exempt exempt;
    values_[key] = value;
    return kResultOk;
}

tresult HostAttributeSet::getFloat(const char* key, double& value) {
    const double* v = find<double>(key);
    if (!v) return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult HostAttributeSet::setString(const char* key, const char16_t* string) {
    if (!key || !string) return kInvalidArgument;
    AudioThreadGuard::Exempt exempt;
    values_[key] = std::u16string(string);
    return kResultOk;
}

tresult HostAttributeSet::getString(const char* key, char16_t* buffer, uint32_t sizeInBytes) {
    const std::u16string* v = find<std::u16string>(key);
    const size_t capacity = sizeInBytes / sizeof(char16_t);
    if (!v || !buffer || capacity == 0) return kResultFalse;
    size_t n = std::min(v->size(), capacity - 1);
    std::copy_n(v->data(), n, buffer);
    buffer[n] = 0;
    return kResultOk;
}

tresult HostAttributeSet::setBinary(const char* key, const void* data, uint32_t sizeInBytes) {
    if (!key || (!data && sizeInBytes > 0)) return kInvalidArgument;
    AudioThreadGuard::Exempt exempt;
    const auto* bytes = static_cast<const uint8_t*>(data);
    values_[key] = std::vector<uint8_t>(bytes, bytes + sizeInBytes);
    return kResultOk;
}

tresult HostAttributeSet::getBinary(const char* key, const void*& data, uint32_t& sizeInBytes) {
    const std::vector<uint8_t>* v = find<std::vector<uint8_t>>(key);
    if (!v) return kResultFalse;
    data = v->data();
    sizeInBytes = static_cast<uint32_t>(v->size());
    return kResultOk;
}

} // namespace NivoloHost
