#pragma once
// Zeroed sample memory aligned for vector code (32 bytes, so every SIMD
// width in use can load it aligned). Allocation failure raises the
// framework's out-of-memory error.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#if defined(_WIN32)
#include <malloc.h>
#endif

#include "base/OutOfMemory.h"

namespace DSP {

inline constexpr size_t kSampleAlignment = 32;

// Windows' C library has no aligned_alloc, and its aligned blocks need their own free.
inline void* alignedAlloc(size_t bytes) {
#if defined(_WIN32)
    return _aligned_malloc(bytes, kSampleAlignment);
#else
    return std::aligned_alloc(kSampleAlignment, bytes);
#endif
}

inline void alignedFree(void* memory) {
#if defined(_WIN32)
    _aligned_free(memory);
#else
    std::free(memory);
#endif
}

template <typename T>
T* allocateAligned(size_t count) {
    size_t bytes = (count * sizeof(T) + kSampleAlignment - 1) / kSampleAlignment * kSampleAlignment;
    if (bytes == 0) bytes = kSampleAlignment;
    void* memory = alignedAlloc(bytes);
    if (!memory) throw Zel::OutOfMemoryError();
    std::memset(memory, 0, bytes);
    return static_cast<T*>(memory);
}

template <typename T>
void freeAligned(T*& memory) {
    alignedFree(memory);
    memory = nullptr;
}

// One aligned buffer of length samples per channel, behind one pointer array.
template <typename T>
T** allocateChannels(int32_t channels, size_t length) {
    T** array = static_cast<T**>(std::calloc(static_cast<size_t>(channels > 0 ? channels : 1), sizeof(T*)));
    if (!array) throw Zel::OutOfMemoryError();
    try {
        for (int32_t c = 0; c < channels; ++c) array[c] = allocateAligned<T>(length);
    } catch (...) {
        for (int32_t c = 0; c < channels; ++c) alignedFree(array[c]);
        std::free(array);
        throw;
    }
    return array;
}

template <typename T>
void freeChannels(T**& array, int32_t channels) {
    if (!array) return;
    for (int32_t c = 0; c < channels; ++c) alignedFree(array[c]);
    std::free(array);
    array = nullptr;
}

// A plain pointer array of channels entries (cursors), zeroed.
template <typename T>
T** allocatePointerArray(int32_t channels) {
    T** array = static_cast<T**>(std::calloc(static_cast<size_t>(channels > 0 ? channels : 1), sizeof(T*)));
    if (!array) throw Zel::OutOfMemoryError();
    return array;
}

template <typename T>
void freePointerArray(T**& array) {
    std::free(array);
    array = nullptr;
}

} // namespace DSP
