#include "dsp/SavedState.h"

#include <atomic>
#include <vector>

#include "base/LittleEndianStream.h"
#include "interfaces/IByteStream.h"

namespace DSP {

namespace {
// 5 % of a 144-byte record is 7.2 bytes: a remainder of 8 or more rounds up.
constexpr int32_t kRoundUpFrom = 8;

bool readExactly(Zel::IByteStream* stream, void* into, int32_t size) {
    int32_t got = 0;
    return stream && stream->read(into, size, &got) == Zel::kResultOk && got == size;
}
} // namespace

int32_t SavedState::roundedByteCount(int32_t byteCount) {
    if (byteCount <= 0) return byteCount;
    const int32_t remainder = byteCount % kRecordStride;
    if (remainder < kRoundUpFrom) return byteCount;
    const int64_t rounded = (int64_t{byteCount} / kRecordStride + 1) * kRecordStride;
    return rounded > INT32_MAX ? byteCount : static_cast<int32_t>(rounded);
}

bool SavedState::readByteCount(Zel::IByteStream* stream, int32_t& byteCount) {
    uint8_t word[4];
    if (!readExactly(stream, word, 4)) return false;
    Zel::LittleEndianReader(word, 4).readInt32(byteCount);
    return true;
}

bool SavedState::readRecord(Zel::IByteStream* stream, ValueRecord& record) {
    uint8_t bytes[kRecordSize];
    if (!readExactly(stream, bytes, kRecordSize)) return false;
    Zel::LittleEndianReader reader(bytes, sizeof bytes);
    int32_t id = 0;
    reader.readBytes(record.name, sizeof record.name);
    reader.readInt32(id);
    reader.readFloat64(record.value);
    record.id = static_cast<uint32_t>(id);
    return true;
}

bool SavedState::writeRecords(Zel::IByteStream* stream, const ValueRecord* records, int32_t count) {
    if (!stream) return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(count > 0 ? count : 0) * kRecordSize);
    Zel::LittleEndianWriter writer(bytes);
    for (int32_t i = 0; i < count; ++i) {
        const ValueRecord& record = records[i];
        writer.writeBytes(record.name, sizeof record.name);
        writer.writeInt32(static_cast<int32_t>(record.id));
        writer.writeFloat64(std::atomic_ref<double>(const_cast<double&>(record.value)).load(std::memory_order_relaxed));
    }
    if (bytes.empty()) return true;
    int32_t written = 0;
    return stream->write(bytes.data(), static_cast<int32_t>(bytes.size()), &written) == Zel::kResultOk &&
           written == static_cast<int32_t>(bytes.size());
}

bool SavedState::write(Zel::IByteStream* stream, const ValueRecord* records, int32_t count) {
    std::vector<uint8_t> word;
    Zel::LittleEndianWriter(word).writeInt32(count * kRecordStride);
    int32_t written = 0;
    if (!stream || stream->write(word.data(), 4, &written) != Zel::kResultOk || written != 4) return false;
    return writeRecords(stream, records, count);
}

} // namespace DSP
