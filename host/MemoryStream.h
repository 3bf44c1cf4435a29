#pragma once
// A byte stream in memory: what the host saves a component's state into and
// restores it from.

#include <vector>

#include "interfaces/IByteStream.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class MemoryStream : public Zel::IByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    virtual ~MemoryStream() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // Reads what is there from the position; *bytesRead tells how much.
    Zel::tresult read(void* buffer, int32_t byteCount, int32_t* bytesRead) override;
    // Writes at the position, growing the stream as needed.
    Zel::tresult write(const void* buffer, int32_t byteCount, int32_t* bytesWritten) override;
    // A position before the start is refused; past the end is allowed (a later write fills with zeros).
    Zel::tresult seek(int64_t position, int32_t mode, int64_t* newPosition) override;
    Zel::tresult tell(int64_t* position) override;

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    // Keeps only the first size bytes, as a cut-short file would.
    void truncate(size_t size);
    void rewind() { position_ = 0; }

private:
    Zel::RefCount refCount_;
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
};

} // namespace NivoloHost
