#pragma once
// Block mean squares kept in ascending order, in a linked list over a node
// pool allocated once: inserting never allocates.

#include <cstdint>

namespace DSP {

class SortedSumsList {
public:
    struct Node {
        Node* next;
        float value;
    };

    explicit SortedSumsList(int32_t capacity);
    virtual ~SortedSumsList();
    SortedSumsList(const SortedSumsList&) = delete;
    SortedSumsList& operator=(const SortedSumsList&) = delete;

    // Links value in front of the first node not smaller than it. A full list starts over empty first.
    void insert(float value);
    void clear();

    int32_t count() const { return count_; }
    int32_t capacity() const { return capacity_; }
    float sum() const { return sum_; }
    const Node* head() const { return head_; }

    // The loudness-range percentiles over the values above threshold: the
    // values at the 10th (low) and 95th (high) percentile. False when no value
    // lies above it.
    bool percentiles(float threshold, float& low, float& high) const;

private:
    int32_t capacity_;
    Node* pool_;
    int32_t count_ = 0;
    Node* head_ = nullptr;
    float sum_ = 0.0f;
};

} // namespace DSP
