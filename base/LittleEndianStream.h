#pragma once
// Little-endian reading and writing of the fixed-width fields of the saved
// state, independent of the host's byte order.

#include <cstdint>
#include <cstring>
#include <vector>

namespace Zel {

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::vector<uint8_t>& out) : out_(out) {}

    void writeInt32(int32_t value) { writeUnsigned(static_cast<uint32_t>(value), 4); }
    void writeFloat64(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        writeUnsigned(bits, 8);
    }
    // Exactly size bytes: text is copied, cut, and zero-padded to the field.
    void writeFixedString(const char* text, size_t size) {
        size_t length = text ? strnlen(text, size) : 0;
        out_.insert(out_.end(), text, text + length);
        out_.insert(out_.end(), size - length, 0);
    }
    void writeBytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        out_.insert(out_.end(), p, p + size);
    }

private:
    void writeUnsigned(uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    std::vector<uint8_t>& out_;
};

// Every read checks the remaining length first; a short read returns false
// and leaves the output untouched.
class LittleEndianReader {
public:
    LittleEndianReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool readInt32(int32_t& value) {
        uint64_t raw;
        if (!readUnsigned(raw, 4)) return false;
        value = static_cast<int32_t>(static_cast<uint32_t>(raw));
        return true;
    }
    bool readFloat64(double& value) {
        uint64_t raw;
        if (!readUnsigned(raw, 8)) return false;
        std::memcpy(&value, &raw, 8);
        return true;
    }
    bool readBytes(void* out, size_t size) {
        if (remaining() < size) return false;
        std::memcpy(out, data_ + position_, size);
        position_ += size;
        return true;
    }
    size_t remaining() const { return size_ - position_; }
    size_t position() const { return position_; }

private:
    bool readUnsigned(uint64_t& value, int bytes) {
        if (remaining() < static_cast<size_t>(bytes)) return false;
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint64_t(data_[position_ + i]) << (8 * i);
        position_ += static_cast<size_t>(bytes);
        value = v;
        return true;
    }
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

} // namespace Zel
