#pragma once
// The component state the host saves with its project, read and written in
// one place for the accessor, the processor and the controller: a
// little-endian int32 byte count (144 per record, the in-memory record), then
// 140-byte records (128-byte name, int32 id, float64 plain value).

#include <cstdint>

#include "dsp/ValueRecord.h"

namespace Zel {
class IByteStream;
}

namespace DSP {

class SavedState {
public:
    static constexpr int32_t kRecordStride = static_cast<int32_t>(sizeof(ValueRecord)); // per record in the count
    static constexpr int32_t kRecordSize = kSavedValueRecordSize;                       // per record in the stream

    // The byte count as readers take it: one that counted 140-byte records
    // (its remainder over 144 more than 5 % of a record) still names whole
    // records, and is rounded up to them.
    static int32_t roundedByteCount(int32_t byteCount);
    // Records named by a byte count (rounded): negative for a negative count.
    static int32_t recordCount(int32_t byteCount) { return roundedByteCount(byteCount) / kRecordStride; }

    // False when the stream ends first; nothing is taken from a short stream
    // that a caller could mistake for data.
    static bool readByteCount(Zel::IByteStream* stream, int32_t& byteCount);
    static bool readRecord(Zel::IByteStream* stream, ValueRecord& record);
    // The byte count for count records, then the records; the values are read
    // whole even while another thread stores them. False on a write error.
    static bool write(Zel::IByteStream* stream, const ValueRecord* records, int32_t count);
    static bool writeRecords(Zel::IByteStream* stream, const ValueRecord* records, int32_t count);
};

} // namespace DSP
