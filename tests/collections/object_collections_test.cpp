#include "collections/object_collections.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "collections/destroy_log.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "support/file_utils.h"

namespace support {
namespace {

using support_test::DestroyLog;
using support_test::Numbered;
using Plain = support_test::Counted<TObject>;
using Record = support_test::Counted<TExpireObject>;

TEST(ObjectCollectionTest, ListOperationsAndIndexErrors) {
  DestroyLog log;
  Plain a(log, 1), b(log, 2), c(log, 3);
  TObjectCollection list;
  list.Add(&a);
  list.Add(&b);
  list.Insert(1, &c);
  EXPECT_EQ(list.IndexOf(&b), 2);
  list.Delete(0);
  list.Remove(&b);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetItem(0), &c);
  EXPECT_TRUE(log.order.empty());  // Delete and Remove do not destroy
  try {
    list.Remove(&a);
    ADD_FAILURE() << "no exception";
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
  EXPECT_THROW(list.GetItem(1), EListError);
  EXPECT_THROW(list.Insert(2, &a), EListError);
}

TEST(ObjectCollectionTest, FreeAllDestroysInIndexOrderOnce) {
  DestroyLog log;
  TObjectCollection list;
  TObject* twice = new Plain(log, 2);
  for (TObject* object :
       std::vector<TObject*>{new Plain(log, 1), twice, nullptr, new Plain(log, 3), twice})
    list.Add(object);
  list.FreeAll();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(log.order, (std::vector<int>{1, 2, 3}));
}

TEST(HashObjectCollectionTest, KeysWithoutCaseAndObjectsSurvive) {
  DestroyLog log;
  Plain first(log, 1), second(log, 2);
  {
    THashObjectCollection collection;
    collection.Add("abc", &first);
    EXPECT_EQ(collection.Get("ABC"), &first);
    collection.Add("ABC", &second);  // the same key: the object is replaced
    EXPECT_EQ(collection.Count(), 1);
    EXPECT_EQ(collection.Remove("aBc"), &second);
    collection.Add("x", &first);
    collection.Clear();
    collection.Add("y", &second);
  }
  EXPECT_TRUE(log.order.empty());  // neither Clear nor the collection's end destroys

  THashObjectCollection owning;
  for (int id = 10; id < 15; ++id) owning.Add(Numbered("k", id), new Plain(log, id));
  owning.ClearAndFree();
  EXPECT_EQ(owning.Count(), 0);
  EXPECT_EQ(log.order.size(), 5u);
}

TEST(HashObjectCollectionTest, CursorWalksAndRemoves) {
  DestroyLog log;
  std::vector<std::unique_ptr<Plain>> objects;
  THashObjectCollection collection;
  EXPECT_EQ(collection.Next(), nullptr);  // before any First
  EXPECT_EQ(collection.CurrentKey(), "");
  EXPECT_EQ(collection.First(), nullptr);  // empty
  for (int id = 0; id < 30; ++id) {
    objects.push_back(std::make_unique<Plain>(log, id));
    collection.Add(Numbered("Key", id), objects.back().get());
  }
  std::set<std::string> seen;
  for (TObject* object = collection.First(); object; object = collection.Next()) {
    EXPECT_EQ(collection.CurrentValue(), object);
    int id = static_cast<Plain*>(object)->Id();
    EXPECT_EQ(collection.CurrentKey(), Numbered("Key", id));  // spelt as added
    seen.insert(collection.CurrentKey());
    if (id % 3 == 0) collection.RemoveCurrent();
  }
  EXPECT_EQ(seen.size(), 30u);
  EXPECT_EQ(collection.Count(), 20);
  for (int id = 0; id < 30; ++id)
    EXPECT_EQ(collection.Get(Numbered("key", id)) != nullptr, id % 3 != 0) << id;
  EXPECT_TRUE(log.order.empty());

  collection.First();
  collection.Add("new", objects[0].get());
  EXPECT_THROW(collection.Next(), std::runtime_error);  // "Iterator no longer valid"
}

class ExpireHashObjectCollectionTest : public testing::Test {
 protected:
  void SetUp() override {
    clock_.SetNow(platform::EncodeDateTime({2025, 6, 1, 10, 20, 10, 0}));
    platform::InstallClock(&clock_);
  }
  void TearDown() override { platform::InstallClock(nullptr); }

  Record* Touched(int id) {
    auto* record = new Record(log_, id);
    record->Touch();
    return record;
  }
  void AdvanceSeconds(int seconds) { clock_.Advance(static_cast<uint32_t>(seconds) * 1000); }

  platform::VirtualClock clock_;
  DestroyLog log_;
};

TEST_F(ExpireHashObjectCollectionTest, StampIsThePackedClock) {
  std::unique_ptr<Record> record(Touched(1));
  // 2025-06-01 10:20:10: date 45 << 9 | 6 << 5 | 1, time 10 << 11 | 20 << 5 | 10 / 2.
  EXPECT_EQ(record->Stamp, (((45u << 9) | (6u << 5) | 1u) << 16) | ((10u << 11) | (20u << 5) | 5u));
}

TEST_F(ExpireHashObjectCollectionTest, FullCacheEvictsTheSmallestStamp) {
  TExpireHashObjectCollection cache(2, 0);
  Record* older = Touched(1);
  AdvanceSeconds(10);
  Record* newer = Touched(2);
  cache.Add("newer", newer);  // added first, stamped later: the stamp decides
  cache.Add("older", older);
  AdvanceSeconds(10);
  cache.Add("third", Touched(3));
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_EQ(log_.order, std::vector<int>{1});
  EXPECT_EQ(cache.Get("newer"), newer);
}

TEST_F(ExpireHashObjectCollectionTest, EqualStampsEvictTheFirstMet) {
  TExpireHashObjectCollection cache(3, 0);
  for (int id = 1; id <= 3; ++id) cache.Add(Numbered("k", id), Touched(id));
  int firstMet = static_cast<Record*>(cache.First())->Id();
  cache.Add("k4", Touched(4));
  EXPECT_EQ(log_.order, std::vector<int>{firstMet});
}

TEST_F(ExpireHashObjectCollectionTest, NeverHoldsMoreThanMaxCount) {
  TExpireHashObjectCollection cache(5, 0);
  std::vector<int> expected;
  for (int id = 0; id < 50; ++id) {
    cache.Add(Numbered("k", id), Touched(id));
    EXPECT_LE(cache.Count(), 5);
    AdvanceSeconds(2);
    if (id < 45) expected.push_back(id);
  }
  EXPECT_EQ(log_.order, expected);  // the least recent first
  EXPECT_NE(cache.Get("k45"), nullptr);
}

TEST_F(ExpireHashObjectCollectionTest, AgeCountsOnPackedValues) {
  // Stamped 10:20:10; 15 units of 2 seconds reach back to it at 10:20:40.
  TExpireHashObjectCollection cache(0, 15);
  cache.Add("old", Touched(1));
  AdvanceSeconds(30);
  cache.Expire();
  EXPECT_EQ(cache.Count(), 1);
  AdvanceSeconds(2);
  cache.Expire();
  EXPECT_EQ(cache.Count(), 0);
  EXPECT_EQ(log_.order, std::vector<int>{1});

  // Add expires first; the fresh object survives.
  for (int id = 2; id < 5; ++id) cache.Add(Numbered("stale", id), Touched(id));
  AdvanceSeconds(60);
  cache.Add("fresh", Touched(5));
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(std::set<int>(log_.order.begin(), log_.order.end()), (std::set<int>{1, 2, 3, 4}));
  EXPECT_EQ(log_.order.size(), 4u);
}

TEST_F(ExpireHashObjectCollectionTest, WithoutLimitsOrClockNothingGoes) {
  TExpireHashObjectCollection unlimited;
  for (int id = 0; id < 20; ++id) unlimited.Add(std::to_string(id), Touched(id));
  clock_.SetNow(clock_.Now() + 400);
  unlimited.Expire();
  EXPECT_EQ(unlimited.Count(), 20);

  // A clock outside the packed range gives 0; that must not expire everything.
  TExpireHashObjectCollection cache(0, 15);
  cache.Add("a", Touched(100));
  clock_.SetNow(platform::EncodeDateTime({1970, 1, 1, 0, 0, 0, 0}));
  cache.Expire();
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_TRUE(log_.order.empty());
}

TEST_F(ExpireHashObjectCollectionTest, OtherObjectsNeitherExpireNorEndTheWalk) {
  TExpireHashObjectCollection cache(0, 15);
  Plain plain(log_, 100);
  cache.Add("plain", &plain);
  cache.Add("none", nullptr);
  for (int id = 0; id < 5; ++id) cache.Add(Numbered("r", id), Touched(id));
  AdvanceSeconds(120);
  cache.Expire();
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_EQ(log_.order.size(), 5u);
  EXPECT_EQ(cache.Remove("plain"), &plain);
}

TEST_F(ExpireHashObjectCollectionTest, ReAddingTheOldestObjectKeepsIt) {
  TExpireHashObjectCollection cache(2, 15);
  Record* first = Touched(1);
  cache.Add("first", first);
  AdvanceSeconds(4);
  cache.Add("second", Touched(2));
  AdvanceSeconds(120);
  // Stale and the oldest, but the one being added: it is not destroyed.
  cache.Add("first", first);
  EXPECT_EQ(log_.order, std::vector<int>{2});
  EXPECT_EQ(cache.Get("first"), first);
}

TEST_F(ExpireHashObjectCollectionTest, CacheDestroysWhatItHoldsOnce) {
  {
    TExpireHashObjectCollection cache(10, 15);
    for (int id = 0; id < 6; ++id) cache.Add(Numbered("k", id), Touched(id));
    TObject* removed = cache.First();
    cache.RemoveCurrent();  // handed back to the caller
    EXPECT_EQ(cache.CurrentValue(), nullptr);
    EXPECT_TRUE(log_.order.empty());
    delete removed;
  }
  EXPECT_EQ(log_.order.size(), 6u);
  EXPECT_EQ(std::set<int>(log_.order.begin(), log_.order.end()).size(), 6u);
}

}  // namespace
}  // namespace support
