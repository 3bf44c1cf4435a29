#pragma once
// A bounded queue between one producing thread and one consuming thread, free
// of locks on both sides: the audio thread hands values to the UI thread (and
// the UI thread to the audio thread) without allocating, locking or waiting.
// The storage is sized once, at construction; a full queue refuses a value
// rather than block its producer.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

namespace NivoloHost {

template <class T>
class SpscQueue {
public:
    // Holds at least capacity values (rounded up to a power of two).
    explicit SpscQueue(size_t capacity) : slots_(roundUp(capacity)), mask_(slots_.size() - 1) {}
    SpscQueue(const SpscQueue&) = delete;
    SpscQueue& operator=(const SpscQueue&) = delete;

    size_t capacity() const { return slots_.size(); }

    // [producer] False when the queue is full: the value is not queued.
    bool push(const T& value) { return push(&value, 1) == 1; }
    // [producer] Queues the first values of count that fit; returns how many.
    size_t push(const T* values, size_t count) {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t head = head_.load(std::memory_order_acquire);
        const size_t n = std::min(count, slots_.size() - (tail - head));
        for (size_t i = 0; i < n; ++i) slots_[(tail + i) & mask_] = values[i];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }
    // [producer] Room left, at least (the consumer may be making more).
    size_t space() const {
        return slots_.size() - (tail_.load(std::memory_order_relaxed) - head_.load(std::memory_order_acquire));
    }

    // [consumer] False when the queue is empty.
    bool pop(T& value) { return pop(&value, 1) == 1; }
    // [consumer] Takes up to count values, oldest first; returns how many.
    size_t pop(T* values, size_t count) {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t tail = tail_.load(std::memory_order_acquire);
        const size_t n = std::min(count, tail - head);
        for (size_t i = 0; i < n; ++i) values[i] = slots_[(head + i) & mask_];
        head_.store(head + n, std::memory_order_release);
        return n;
    }
    // [consumer] Values waiting, at least (the producer may be adding more).
    size_t available() const {
        return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_relaxed);
    }

private:
    static size_t roundUp(size_t n) {
        size_t size = 1;
        while (size < n) size <<= 1;
        return size;
    }

    std::vector<T> slots_;
    const size_t mask_;
    // Both only grow (wrapping is harmless: the distance is what counts); on
    // lines of their own so that the two threads do not share a cache line.
    alignas(64) std::atomic<size_t> head_{0}; // next slot to read
    alignas(64) std::atomic<size_t> tail_{0}; // next slot to write
};

} // namespace NivoloHost
