#pragma once
// A host-owned byte stream: the saved state of a component.

#include "FUnknown.h"

namespace Zel {

class IByteStream : public FUnknown {
public:
    static constexpr const TUID& iid = IByteStream_iid;

    enum SeekMode : int32_t { kSeekSet = 0, kSeekCurrent = 1, kSeekEnd = 2 };

    // [ui thread] A short read is no error: bytesRead tells how much came.
    virtual tresult read(void* buffer, int32_t byteCount, int32_t* bytesRead) = 0;
    virtual tresult write(const void* buffer, int32_t byteCount, int32_t* bytesWritten) = 0;
    virtual tresult seek(int64_t position, int32_t mode, int64_t* newPosition) = 0;
    virtual tresult tell(int64_t* position) = 0;

protected:
    ~IByteStream() = default;
};

} // namespace Zel
