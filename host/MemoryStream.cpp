#include "host/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult MemoryStream::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IByteStream>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult MemoryStream::read(void* buffer, int32_t byteCount, int32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (byteCount < 0 || (!buffer && byteCount > 0)) return kInvalidArgument;
    const int64_t available = std::max<int64_t>(0, static_cast<int64_t>(bytes_.size()) - position_);
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(byteCount, available));
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    if (bytesRead) *bytesRead = n;
    return kResultOk;
}

tresult MemoryStream::write(const void* buffer, int32_t byteCount, int32_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    if (byteCount < 0 || (!buffer && byteCount > 0)) return kInvalidArgument;
    const size_t end = static_cast<size_t>(position_) + static_cast<size_t>(byteCount);
    if (end > bytes_.size()) bytes_.resize(end, 0);
    if (byteCount > 0) std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(byteCount));
    position_ = static_cast<int64_t>(end);
    if (bytesWritten) *bytesWritten = byteCount;
    return kResultOk;
}

tresult MemoryStream::seek(int64_t position, int32_t mode, int64_t* newPosition) {
    int64_t base;
    switch (mode) {
    case kSeekSet: base = 0; break;
    case kSeekCurrent: base = position_; break;
    case kSeekEnd: base = static_cast<int64_t>(bytes_.size()); break;
    default: return kInvalidArgument;
    }
    if (base + position < 0) return kInvalidArgument;
    position_ = base + position;
    if (newPosition) *newPosition = position_;
    return kResultOk;
}

tresult MemoryStream::tell(int64_t* position) {
    if (!position) return kInvalidArgument;
    *position = position_;
    return kResultOk;
}

void MemoryStream::truncate(size_t size) {
    if (size < bytes_.size()) bytes_.resize(size);
    position_ = std::min<int64_t>(position_, static_cast<int64_t>(bytes_.size()));
}

} // namespace NivoloHost
