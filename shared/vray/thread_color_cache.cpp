#include "thread_color_cache.h"

#include <algorithm>
#include <cstdint>

namespace qv::vray {

void ThreadColorCache::allocate(int numThreads) {
  release();
  const int32 n = std::max(numThreads, 0);
  lists_ = new List*[static_cast<std::size_t>(n)];
  for (int32 i = 0; i < n; ++i) lists_[i] = new List();
  numLists_ = n;
}

void ThreadColorCache::release() {
  if (!lists_) return;
  for (int32 i = 0; i < numLists_; ++i) {
    delete[] lists_[i]->entries;
    delete lists_[i];
  }
  delete[] lists_;
  lists_ = nullptr;
  numLists_ = 0;
}

void ThreadColorCache::clear() {
  for (int32 i = 0; i < numLists_; ++i) {
    List& list = *lists_[i];
    for (int32 e = 0; e < list.count; ++e) list.entries[e].stamp = 0;
  }
}

const ThreadColorCache::List* ThreadColorCache::list(int threadIndex) const {
  if (!lists_ || threadIndex < 0 || threadIndex >= numLists_) return nullptr;
  return lists_[threadIndex];
}

void ThreadColorCache::grow(List& list, int32 count) {
  if (count > list.capacity) {
    const int32 capacity = count - count % list.growStep + list.growStep;
    Entry* entries = new Entry[static_cast<std::size_t>(capacity)];
    std::copy(list.entries, list.entries + list.count, entries);
    delete[] list.entries;
    list.entries = entries;
    list.capacity = capacity;
  }
  for (int32 e = list.count; e < count; ++e) list.entries[e].stamp = 0;
  list.count = count;
}

void ThreadColorCache::store(const VUtils::VRayContext& rc, const VUtils::AColor& color) {
  List* list = listFor(rc);
  if (!list) return;
  const int32 index = rc.cacheIndex;
  // The growth below must not overflow: an index this large cannot be a
  // real entry index, so it is treated like any other unusable context.
  if (index >= list->count) {
    if (index > INT32_MAX - 2 * kGrowStep) return;
    grow(*list, index + 1);
  }
  Entry& entry = list->entries[index];
  entry.stamp = static_cast<int32>(rc.cacheStamp);
  entry.color = color;
}

}  // namespace qv::vray
