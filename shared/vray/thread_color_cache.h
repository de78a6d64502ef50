// Per-render-thread cache of a texture's colour per shading context.
//
// Each render thread reads and writes only its own list, picked by the
// thread index in the shading context, so shading needs no lock. The table
// itself is built, cleared and freed only from the render and frame hooks,
// when no shading runs.
#pragma once

#include "vrayrenderer.h"

namespace qv::vray {

class ThreadColorCache {
 public:
  struct Entry {
    int32 stamp;  // 0: holds nothing (the host never hands out stamp 0)
    VUtils::AColor color;
  };

  // A cache line of its own: the lists of different threads never share one.
  struct alignas(64) List {
    int32 count = 0;
    int32 growStep = kGrowStep;
    int32 capacity = 0;
    Entry* entries = nullptr;
  };

  static constexpr int32 kGrowStep = 30;
  static constexpr uint32 kNoCacheFlag = VUtils::RT_NO_CACHE;

  ThreadColorCache() = default;
  ~ThreadColorCache() { release(); }
  ThreadColorCache(const ThreadColorCache&) = delete;
  ThreadColorCache& operator=(const ThreadColorCache&) = delete;

  // One empty list per render thread; frees any previous table first.
  void allocate(int numThreads);
  void release();
  // Forgets every stored colour but keeps the lists' memory.
  void clear();

  bool isAllocated() const { return lists_ != nullptr; }
  int32 numLists() const { return numLists_; }
  // The list of one render thread, or null when there is none.
  const List* list(int threadIndex) const;

  // True, with the colour, when rc was stored since the last clear. Inline:
  // a hit is the common answer and should cost little more than the read.
  bool lookup(const VUtils::VRayContext& rc, VUtils::AColor& color) const {
    const List* list = listFor(rc);
    if (!list || rc.cacheIndex >= list->count) return false;
    const Entry& entry = list->entries[rc.cacheIndex];
    if (static_cast<uint32>(entry.stamp) != rc.cacheStamp) return false;
    color = entry.color;
    return true;
  }
  void store(const VUtils::VRayContext& rc, const VUtils::AColor& color);

 private:
  // The list rc may use, or null: no table, a no-cache ray, or a context
  // that names a thread or entry outside the table.
  List* listFor(const VUtils::VRayContext& rc) const {
    // Stamp 0 marks empty entries, so a context carrying it could only ever
    // match a cleared entry: it is not cached at all.
    if (!lists_ || (rc.rayparams.rayFlags & kNoCacheFlag) || rc.cacheStamp == 0 || !rc.threadData ||
        rc.cacheIndex < 0) {
      return nullptr;
    }
    const int threadIndex = rc.threadData->threadIndex;
    if (threadIndex < 0 || threadIndex >= numLists_) return nullptr;
    return lists_[threadIndex];
  }
  static void grow(List& list, int32 count);

  List** lists_ = nullptr;  // one list per render thread
  int32 numLists_ = 0;
};

}  // namespace qv::vray
