#include "thread_color_cache.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv::vray {
namespace {

using VUtils::AColor;

// A shading context of one render thread. It owns the thread data it points
// to, so it must stay where it was made.
struct Context {
  Context(int threadIndex, int cacheIndex, uint32 stamp) {
    threadData.threadIndex = threadIndex;
    rc.threadData = &threadData;
    rc.cacheIndex = cacheIndex;
    rc.cacheStamp = stamp;
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  VUtils::VRayThreadData threadData;
  VUtils::VRayContext rc;
};

// A colour that differs for every (index, stamp), so a hit on the wrong
// entry shows.
AColor colourFor(int index, uint32 stamp) {
  return AColor(static_cast<float>(index), static_cast<float>(stamp), 0.5f, 0.25f);
}

void storeAt(ThreadColorCache& cache, int thread, int index, uint32 stamp) {
  Context c(thread, index, stamp);
  cache.store(c.rc, colourFor(index, stamp));
}

bool hits(const ThreadColorCache& cache, int thread, int index, uint32 stamp, AColor* found) {
  Context c(thread, index, stamp);
  return cache.lookup(c.rc, *found);
}

// True when the entry is there and gives back exactly what storeAt stored.
bool holds(const ThreadColorCache& cache, int thread, int index, uint32 stamp) {
  AColor found(-1.0f, -1.0f, -1.0f, -1.0f);
  return hits(cache, thread, index, stamp, &found) && found == colourFor(index, stamp);
}

void expectEveryListEmpty(const ThreadColorCache& cache) {
  for (int t = 0; t < cache.numLists(); ++t) {
    const ThreadColorCache::List* list = cache.list(t);
    ASSERT_NE(list, nullptr) << "thread " << t;
    EXPECT_EQ(list->count, 0) << "thread " << t;
    EXPECT_EQ(list->capacity, 0) << "thread " << t;
    EXPECT_EQ(list->entries, nullptr) << "thread " << t;
  }
}

TEST(ThreadColorCacheLayout, EmptyListsStartWithNothingAndTheStandardStep) {
  ThreadColorCache cache;
  cache.allocate(3);
  ASSERT_TRUE(cache.isAllocated());
  ASSERT_EQ(cache.numLists(), 3);
  for (int t = 0; t < 3; ++t) {
    ASSERT_NE(cache.list(t), nullptr);
    EXPECT_EQ(cache.list(t)->growStep, 30);
  }
  expectEveryListEmpty(cache);
  EXPECT_EQ(cache.list(-1), nullptr);
  EXPECT_EQ(cache.list(3), nullptr);
}

TEST(ThreadColorCacheLayout, FirstStoreOpensOneStepOfEntries) {
  ThreadColorCache cache;
  cache.allocate(1);
  storeAt(cache, 0, 0, 7);
  const ThreadColorCache::List* list = cache.list(0);
  EXPECT_EQ(list->count, 1);
  EXPECT_EQ(list->capacity, 30);
  EXPECT_EQ(list->growStep, 30);
  ASSERT_NE(list->entries, nullptr);
  EXPECT_EQ(list->entries[0].stamp, 7);
  EXPECT_EQ(list->entries[0].color, colourFor(0, 7));
}

TEST(ThreadColorCacheLayout, StoreWithinCapacityOnlyRaisesTheCount) {
  ThreadColorCache cache;
  cache.allocate(1);
  storeAt(cache, 0, 0, 7);
  const ThreadColorCache::Entry* before = cache.list(0)->entries;
  storeAt(cache, 0, 29, 8);
  const ThreadColorCache::List* list = cache.list(0);
  EXPECT_EQ(list->count, 30);
  EXPECT_EQ(list->capacity, 30);
  EXPECT_EQ(list->entries, before);
  for (int e = 1; e < 29; ++e) EXPECT_EQ(list->entries[e].stamp, 0) << "entry " << e;
  EXPECT_TRUE(holds(cache, 0, 0, 7));
  EXPECT_TRUE(holds(cache, 0, 29, 8));
}

TEST(ThreadColorCacheLayout, StorePastCapacityGrowsAndKeepsWhatWasThere) {
  ThreadColorCache cache;
  cache.allocate(1);
  storeAt(cache, 0, 0, 7);
  storeAt(cache, 0, 12, 9);
  storeAt(cache, 0, 30, 8);
  const ThreadColorCache::List* list = cache.list(0);
  EXPECT_EQ(list->count, 31);
  EXPECT_EQ(list->capacity, 60);
  EXPECT_TRUE(holds(cache, 0, 0, 7));
  EXPECT_TRUE(holds(cache, 0, 12, 9));
  EXPECT_TRUE(holds(cache, 0, 30, 8));
  for (int e = 13; e < 30; ++e) EXPECT_EQ(list->entries[e].stamp, 0) << "entry " << e;

  // A second growth, several steps at once.
  storeAt(cache, 0, 100, 5);
  EXPECT_EQ(list->count, 101);
  EXPECT_EQ(list->capacity, 120);
  EXPECT_TRUE(holds(cache, 0, 0, 7));
  EXPECT_TRUE(holds(cache, 0, 12, 9));
  EXPECT_TRUE(holds(cache, 0, 30, 8));
  EXPECT_TRUE(holds(cache, 0, 100, 5));
  for (int e = 31; e < 100; ++e) EXPECT_EQ(list->entries[e].stamp, 0) << "entry " << e;
}

TEST(ThreadColorCacheLayout, NewCapacityIsTheCountRoundedDownToAStepPlusOneStep) {
  // {entry index stored into an empty list, capacity afterwards}
  const std::vector<std::pair<int, int>> cases = {{0, 30},  {1, 30},  {28, 30}, {29, 60}, {30, 60},
                                                  {44, 60}, {58, 60}, {59, 90}, {60, 90}};
  ThreadColorCache cache;
  cache.allocate(static_cast<int>(cases.size()));
  for (std::size_t t = 0; t < cases.size(); ++t) {
    const int index = cases[t].first;
    storeAt(cache, static_cast<int>(t), index, 3);
    const ThreadColorCache::List* list = cache.list(static_cast<int>(t));
    EXPECT_EQ(list->count, index + 1) << "index " << index;
    EXPECT_EQ(list->capacity, cases[t].second) << "index " << index;
    for (int e = 0; e < index; ++e) EXPECT_EQ(list->entries[e].stamp, 0) << "entry " << e;
  }
}

TEST(ThreadColorCacheLookup, HitGivesBackTheStoredColour) {
  ThreadColorCache cache;
  cache.allocate(2);
  storeAt(cache, 1, 4, 11);
  EXPECT_TRUE(holds(cache, 1, 4, 11));

  // A later store for the same entry replaces it.
  Context c(1, 4, 12);
  cache.store(c.rc, AColor(9.0f, 8.0f, 7.0f, 6.0f));
  AColor found;
  ASSERT_TRUE(cache.lookup(c.rc, found));
  EXPECT_EQ(found, AColor(9.0f, 8.0f, 7.0f, 6.0f));
  EXPECT_FALSE(holds(cache, 1, 4, 11));
}

TEST(ThreadColorCacheLookup, MissesOnAnythingButTheSameThreadEntryAndStamp) {
  ThreadColorCache cache;
  cache.allocate(2);
  storeAt(cache, 0, 2, 11);
  AColor found;
  EXPECT_FALSE(hits(cache, 0, 2, 12, &found)) << "other stamp";
  EXPECT_FALSE(hits(cache, 1, 2, 11, &found)) << "other thread";
  EXPECT_FALSE(hits(cache, 0, 1, 11, &found)) << "entry below, never stored";
  EXPECT_FALSE(hits(cache, 0, 3, 11, &found)) << "entry at the count";
  EXPECT_FALSE(hits(cache, 0, 29, 11, &found)) << "entry within capacity, beyond the count";
  EXPECT_FALSE(hits(cache, 0, 500, 11, &found)) << "entry beyond capacity";
  EXPECT_TRUE(holds(cache, 0, 2, 11));
}

TEST(ThreadColorCacheLookup, NothingIsCachedWithoutATable) {
  ThreadColorCache cache;
  EXPECT_FALSE(cache.isAllocated());
  EXPECT_EQ(cache.numLists(), 0);
  EXPECT_EQ(cache.list(0), nullptr);
  storeAt(cache, 0, 0, 1);
  EXPECT_FALSE(cache.isAllocated());
  AColor found;
  EXPECT_FALSE(hits(cache, 0, 0, 1, &found));
}

TEST(ThreadColorCacheLookup, NoCacheRaysNeitherReadNorWrite) {
  ThreadColorCache cache;
  cache.allocate(1);
  storeAt(cache, 0, 3, 5);

  Context flagged(0, 3, 5);
  flagged.rc.rayparams.rayFlags = VUtils::RT_NO_CACHE;
  AColor found;
  EXPECT_FALSE(cache.lookup(flagged.rc, found));

  Context flaggedNew(0, 10, 6);
  flaggedNew.rc.rayparams.rayFlags = VUtils::RT_NO_CACHE | 0x1u;
  cache.store(flaggedNew.rc, colourFor(10, 6));
  EXPECT_EQ(cache.list(0)->count, 4);
  EXPECT_FALSE(hits(cache, 0, 10, 6, &found));

  // Overwriting an existing entry is refused just the same.
  Context flaggedOld(0, 3, 9);
  flaggedOld.rc.rayparams.rayFlags = VUtils::RT_NO_CACHE;
  cache.store(flaggedOld.rc, colourFor(3, 9));
  EXPECT_TRUE(holds(cache, 0, 3, 5));

  // Other flags leave the cache in use.
  for (const uint32 flags :
       {0x1u, 0x200000u, 0x800000u, static_cast<uint32>(~VUtils::RT_NO_CACHE)}) {
    Context other(0, 3, 5);
    other.rc.rayparams.rayFlags = flags;
    EXPECT_TRUE(cache.lookup(other.rc, found)) << std::hex << flags;
  }
}

TEST(ThreadColorCacheTable, ClearForgetsColoursButKeepsTheMemory) {
  ThreadColorCache cache;
  cache.allocate(2);
  storeAt(cache, 0, 0, 4);
  storeAt(cache, 0, 35, 4);
  storeAt(cache, 1, 2, 6);
  const ThreadColorCache::Entry* entries0 = cache.list(0)->entries;
  const ThreadColorCache::Entry* entries1 = cache.list(1)->entries;

  cache.clear();
  ASSERT_TRUE(cache.isAllocated());
  ASSERT_EQ(cache.numLists(), 2);
  EXPECT_EQ(cache.list(0)->count, 36);
  EXPECT_EQ(cache.list(0)->capacity, 60);
  EXPECT_EQ(cache.list(0)->entries, entries0);
  EXPECT_EQ(cache.list(1)->count, 3);
  EXPECT_EQ(cache.list(1)->capacity, 30);
  EXPECT_EQ(cache.list(1)->entries, entries1);
  for (int e = 0; e < 36; ++e) EXPECT_EQ(entries0[e].stamp, 0) << "entry " << e;
  for (int e = 0; e < 3; ++e) EXPECT_EQ(entries1[e].stamp, 0) << "entry " << e;
  AColor found;
  EXPECT_FALSE(hits(cache, 0, 0, 4, &found));
  EXPECT_FALSE(hits(cache, 0, 35, 4, &found));
  EXPECT_FALSE(hits(cache, 1, 2, 6, &found));

  // The kept memory is used again.
  storeAt(cache, 0, 20, 8);
  EXPECT_TRUE(holds(cache, 0, 20, 8));
  EXPECT_EQ(cache.list(0)->entries, entries0);
}

TEST(ThreadColorCacheTable, AllocatingAgainReplacesTheTable) {
  ThreadColorCache cache;
  cache.allocate(3);
  storeAt(cache, 2, 40, 5);
  cache.allocate(5);
  ASSERT_EQ(cache.numLists(), 5);
  expectEveryListEmpty(cache);
  EXPECT_EQ(cache.list(5), nullptr);
  AColor found;
  EXPECT_FALSE(hits(cache, 2, 40, 5, &found));
  storeAt(cache, 4, 1, 2);
  EXPECT_TRUE(holds(cache, 4, 1, 2));

  cache.allocate(2);
  ASSERT_EQ(cache.numLists(), 2);
  expectEveryListEmpty(cache);
  EXPECT_EQ(cache.list(2), nullptr);
  EXPECT_FALSE(hits(cache, 4, 1, 2, &found));
}

TEST(ThreadColorCacheTable, ReleaseDropsEverything) {
  ThreadColorCache cache;
  cache.allocate(4);
  storeAt(cache, 3, 50, 5);
  cache.release();
  EXPECT_FALSE(cache.isAllocated());
  EXPECT_EQ(cache.numLists(), 0);
  EXPECT_EQ(cache.list(0), nullptr);
  AColor found;
  EXPECT_FALSE(hits(cache, 3, 50, 5, &found));
  storeAt(cache, 3, 50, 5);
  EXPECT_FALSE(cache.isAllocated());
  cache.release();
  EXPECT_FALSE(cache.isAllocated());
}

TEST(ThreadColorCacheTable, ATableForNoThreadsCachesNothing) {
  for (const int threads : {0, -2}) {
    ThreadColorCache cache;
    cache.allocate(threads);
    EXPECT_EQ(cache.numLists(), 0) << threads;
    EXPECT_EQ(cache.list(0), nullptr) << threads;
    storeAt(cache, 0, 0, 1);
    AColor found;
    EXPECT_FALSE(hits(cache, 0, 0, 1, &found)) << threads;
  }
}

// Contexts that name no usable entry must be misses that touch no memory
// outside the table; the address sanitizer build checks the latter.
class ThreadColorCacheUnusableContext : public testing::Test {
 protected:
  void SetUp() override {
    cache.allocate(2);
    storeAt(cache, 0, 0, 3);
    storeAt(cache, 1, 5, 3);
  }

  // rc must neither hit nor change any list.
  void expectIgnored(const VUtils::VRayContext& rc, const char* what) {
    AColor found(-1.0f, -1.0f, -1.0f, -1.0f);
    EXPECT_FALSE(cache.lookup(rc, found)) << what;
    EXPECT_EQ(found, AColor(-1.0f, -1.0f, -1.0f, -1.0f)) << what;
    cache.store(rc, AColor(42.0f, 42.0f, 42.0f, 42.0f));
    EXPECT_EQ(cache.list(0)->count, 1) << what;
    EXPECT_EQ(cache.list(0)->capacity, 30) << what;
    EXPECT_EQ(cache.list(1)->count, 6) << what;
    EXPECT_EQ(cache.list(1)->capacity, 30) << what;
    EXPECT_TRUE(holds(cache, 0, 0, 3)) << what;
    EXPECT_TRUE(holds(cache, 1, 5, 3)) << what;
  }

  ThreadColorCache cache;
};

TEST_F(ThreadColorCacheUnusableContext, ThreadIndexOutsideTheTable) {
  for (const int thread : {-1, 2, 3, 1000, INT_MAX, INT_MIN}) {
    Context c(thread, 0, 3);
    expectIgnored(c.rc, ("thread " + std::to_string(thread)).c_str());
  }
}

TEST_F(ThreadColorCacheUnusableContext, NegativeEntryIndex) {
  for (const int index : {-1, -30, INT_MIN}) {
    Context c(0, index, 3);
    expectIgnored(c.rc, ("index " + std::to_string(index)).c_str());
  }
}

TEST_F(ThreadColorCacheUnusableContext, NoThreadData) {
  VUtils::VRayContext rc;
  rc.threadData = nullptr;
  rc.cacheIndex = 0;
  rc.cacheStamp = 3;
  expectIgnored(rc, "no thread data");
}

TEST_F(ThreadColorCacheUnusableContext, StampZero) {
  // Entry 1 of thread 1 was opened by growth and holds stamp 0 itself.
  Context grown(1, 1, 0);
  expectIgnored(grown.rc, "stamp 0 on a grown entry");
  Context used(0, 0, 0);
  expectIgnored(used.rc, "stamp 0 on a stored entry");
  Context fresh(0, 7, 0);
  expectIgnored(fresh.rc, "stamp 0 beyond the count");
}

TEST_F(ThreadColorCacheUnusableContext, EntryIndexNearTheIntegerLimit) {
  for (const int index : {INT32_MAX, INT32_MAX - 1, INT32_MAX - 29, INT32_MAX - 30}) {
    Context c(0, index, 3);
    expectIgnored(c.rc, ("index " + std::to_string(index)).c_str());
  }
}

}  // namespace
}  // namespace qv::vray
