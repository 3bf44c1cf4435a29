#include "dsp/SortedSumsList.h"

#include <cstdlib>

#include "base/OutOfMemory.h"

namespace DSP {

SortedSumsList::SortedSumsList(int32_t capacity) : capacity_(capacity > 0 ? capacity : 1) {
    pool_ = static_cast<Node*>(std::calloc(static_cast<size_t>(capacity_), sizeof(Node)));
    if (!pool_) throw Zel::OutOfMemoryError();
}

SortedSumsList::~SortedSumsList() { std::free(pool_); }

void SortedSumsList::clear() {
    count_ = 0;
    head_ = nullptr;
    sum_ = 0.0f;
}

void SortedSumsList::insert(float value) {
    if (count_ >= capacity_) clear();
    Node* node = &pool_[count_++];
    node->value = value;
    Node** link = &head_;
    while (*link && (*link)->value < value) link = &(*link)->next;
    node->next = *link;
    *link = node;
    sum_ += value;
}

bool SortedSumsList::percentiles(float threshold, float& low, float& high) const {
    const Node* node = head_;
    int32_t skipped = 0;
    while (node && node->value <= threshold) {
        node = node->next;
        ++skipped;
    }
    const int32_t n = count_ - skipped;
    if (n < 1) return false;
    const int32_t lo = static_cast<int32_t>(0.1f * static_cast<float>(n - 1) + 0.5f);
    const int32_t hi = static_cast<int32_t>(0.95f * static_cast<float>(n - 1) + 0.5f);
    if (lo > hi || hi >= n) return false;
    for (int32_t i = 0; i < hi; ++i) {
        if (i == lo) low = node->value;
        node = node->next;
    }
    if (lo == hi) low = node->value;
    high = node->value;
    return true;
}

} // namespace DSP
