#include "collections/hash_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "collections/destroy_log.h"

namespace support {
namespace {

using support_test::DestroyLog;
using support_test::Numbered;
using Counted = support_test::Counted<TObject>;

// A key with a chosen hash code, for collisions and negative buckets; keys
// with the same id are equal.
class CountedKey : public tComparable {
 public:
  CountedKey(DestroyLog& log, int id, int32_t hash) : log_(log), id_(id), hash_(hash) {}
  ~CountedKey() override { log_.Destroyed(id_); }
  int CompareTo(const TObject* other) const override {
    return id_ - static_cast<const CountedKey*>(other)->id_;
  }
  int32_t HashCode() const override { return hash_; }
  const char* ClassName() const override { return "CountedKey"; }

 private:
  DestroyLog& log_;
  int id_;
  int32_t hash_;
};

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no exception)";
}

TEST(HashStringKeyTest, HashFollowsTheFormula) {
  EXPECT_EQ(tString("abc").HashCode(), 96354);
  EXPECT_EQ(tString("hello world").HashCode(), 1794106052);  // wraps modulo 2^32
  EXPECT_EQ(tString("\xff").HashCode(), 255);                // bytes are unsigned
  EXPECT_EQ(tString("polygenelubricants").HashCode(), INT32_MIN);
  // Every length against h * 31 + b byte by byte; without case as capitals.
  std::string text, upper;
  uint32_t expected = 0;
  for (int length = 0; length < 40; ++length) {
    EXPECT_EQ(tString::HashOf(text), static_cast<int32_t>(expected)) << length;
    EXPECT_EQ(tStringNoCase(text).HashCode(), tString(upper).HashCode()) << length;
    char c = static_cast<char>(0x61 + length * 7 % 150);  // letters and high bytes
    text += c;
    upper += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    expected = expected * 31u + static_cast<unsigned char>(c);
  }
}

TEST(HashStringKeyTest, Comparison) {
  tString a("a"), b("b"), ab("ab"), upperB("B"), high("\x80");
  EXPECT_LT(a.CompareTo(&ab), 0);
  EXPECT_LT(upperB.CompareTo(&a), 0);  // ordinal, case-sensitive
  EXPECT_GT(high.CompareTo(&b), 0);    // unsigned bytes
  tStringNoCase underscore("_"), lowerA("a"), eAcute("\xe9"), capitalEAcute("\xc9");
  EXPECT_EQ(tStringNoCase("AB").CompareTo(&ab), 0);
  EXPECT_GT(underscore.CompareTo(&lowerA), 0);     // letters compare as capitals
  EXPECT_NE(eAcute.CompareTo(&capitalEAcute), 0);  // only A to Z fold
  // Table equality wants the same class: a tString never equals a tStringNoCase.
  std::string text = "Some@Example.com";
  tString lookup = tString::Lookup(text), copy(text);
  tStringNoCase noCase(text), noCaseLookup = tStringNoCase::Lookup("SOME@example.COM");
  EXPECT_EQ(lookup.Text().data(), text.data());  // refers to the text
  EXPECT_TRUE(KeysEqual(&lookup, &copy));
  EXPECT_TRUE(KeysEqual(&noCaseLookup, &noCase));
  EXPECT_FALSE(KeysEqual(&copy, &noCase));
  EXPECT_FALSE(KeysEqual(nullptr, &copy));
  // Short texts are held in the key, longer ones apart: both compare whole.
  std::string longText = std::string(40, 'x') + "@example.com";
  tString longKey(longText), longLookup = tString::Lookup(longText);
  EXPECT_EQ(longKey.Text(), longText);
  EXPECT_TRUE(KeysEqual(&longKey, &longLookup));
  EXPECT_FALSE(KeysEqual(&longKey, &copy));
}

TEST(HashStringKeyTest, EntriesAndForeignClasses) {
  tString text("x"), other("y");
  tHashEntry none1(nullptr, nullptr), none2(nullptr, nullptr), withX(&text, nullptr),
      alsoX(&text, nullptr), withY(&other, nullptr);
  EXPECT_EQ(none1.CompareTo(&none2), 0);
  EXPECT_EQ(withX.CompareTo(&alsoX), 0);
  EXPECT_EQ(none1.CompareTo(&withX), -1);
  EXPECT_EQ(withX.CompareTo(&none1), -1);  // an absent key on either side gives -1
  EXPECT_LT(withX.CompareTo(&withY), 0);
  EXPECT_EQ(Message([&] { text.CompareTo(&withX); }), "tString cannot be compared with tHashEntry");
  EXPECT_EQ(Message([&] { withX.CompareTo(&text); }), "tHashEntry cannot be compared with tString");
  EXPECT_THROW(tStringNoCase("x").CompareTo(&withX), ECompareException);
}

TEST(HashTableTest, PutOfExistingKeyReplacesAndDestroysTheNewKey) {
  DestroyLog keys, values;
  Counted first(values, 1), second(values, 2);
  tHashTable table(10, true);
  ASSERT_TRUE(table.Put(new CountedKey(keys, 7, 70), &first));
  auto iterator = table.GetIterator();
  uint32_t modCount = table.ModCount();
  EXPECT_FALSE(table.Put(new CountedKey(keys, 7, 70), &second));
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.ModCount(), modCount);
  EXPECT_EQ(keys.Of(7), 1);      // the new key went, the stored one stays
  EXPECT_EQ(values.Total(), 0);  // the old value is not destroyed
  EXPECT_EQ(iterator->Value(), &second);
  // The stored key object itself put again stays stored.
  tComparable* stored = iterator->Key();
  EXPECT_FALSE(table.Put(stored, &first));
  EXPECT_EQ(keys.Of(7), 1);
  EXPECT_EQ(iterator->Key(), stored);
}

TEST(HashTableTest, GrowsWhenCountExceedsThreshold) {
  tHashTable table(10, true);
  for (int i = 0; i < 9; ++i) table.Put(new tString(Numbered("k", i)), nullptr);
  EXPECT_EQ(table.Capacity(), 10);  // 9 entries, threshold 8: no growth yet
  EXPECT_EQ(table.ModCount(), 9u);
  table.Put(new tString("k9"), nullptr);
  EXPECT_EQ(table.ModCount(), 11u);  // the insert and the rehash
  std::vector<std::pair<int, int>> steps = {{10, 8}, {table.Capacity(), table.Threshold()}};
  for (int i = 10; i < 200; ++i) {
    table.Put(new tString(Numbered("k", i)), nullptr);
    if (steps.back().first != table.Capacity())
      steps.push_back({table.Capacity(), table.Threshold()});
  }
  EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{
                       {10, 8}, {21, 16}, {43, 32}, {87, 65}, {175, 131}, {351, 263}}));
  for (int i = 0; i < 200; ++i) {
    tString key(Numbered("k", i));
    EXPECT_TRUE(table.ContainsKey(&key)) << i;
  }

  // Halves go to the even neighbour; a capacity below 1 is 1.
  EXPECT_EQ(tHashTable(2, false).Threshold(), 2);  // 1.5
  EXPECT_EQ(tHashTable(6, false).Threshold(), 4);  // 4.5
  EXPECT_EQ(tHashTable(0, false).Capacity(), 1);
}

TEST(HashTableTest, NegativeHashMapsToAbsoluteValueModCapacity) {
  DestroyLog log;
  tHashTable table(10, true);
  auto* negative = new CountedKey(log, 1, -7);
  table.Put(negative, nullptr);
  EXPECT_EQ(table.GetIterator()->Bucket(), 7);
  // -2^31 is taken as 2^31: 2147483648 mod 10 = 8.
  tString lowest("polygenelubricants");
  EXPECT_EQ(table.BucketOf(&lowest), 8);
  table.Put(new tString("polygenelubricants"), negative);
  EXPECT_EQ(table.Get(&lowest), negative);
  EXPECT_EQ(table.Remove(new tString("polygenelubricants"), false), negative);
  EXPECT_EQ(table.Count(), 1);
}

TEST(HashTableTest, RemoveAndKeyOwnership) {
  DestroyLog keys, values;
  auto* kept = new Counted(values, 1);
  tHashTable table(10, true);
  table.Put(new CountedKey(keys, 1, 5), kept);
  table.Put(new CountedKey(keys, 2, 5), new Counted(values, 2));  // same bucket
  uint32_t modCount = table.ModCount();

  CountedKey missing(keys, 3, 5);
  EXPECT_EQ(table.Remove(&missing, true), nullptr);
  EXPECT_EQ(table.ModCount(), modCount);
  EXPECT_EQ(keys.Total(), 0);  // a key not found stays the caller's

  // Found: the passed key and the stored key are both destroyed.
  EXPECT_EQ(table.Remove(new CountedKey(keys, 1, 5), false), kept);
  EXPECT_EQ(keys.Of(1), 2);
  EXPECT_EQ(values.Total(), 0);
  EXPECT_EQ(table.ModCount(), modCount + 1);
  delete kept;
  EXPECT_EQ(table.Remove(new CountedKey(keys, 2, 5), true), nullptr);
  EXPECT_EQ(values.Of(2), 1);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_TRUE(table.Put(nullptr, nullptr));  // an absent key is a key too
  EXPECT_EQ(table.Remove(nullptr, false), nullptr);
  EXPECT_EQ(table.Count(), 0);
}

TEST(HashTableTest, CollidingKeysStayReachable) {
  DestroyLog log;
  tHashTable table(10, true);
  for (int id = 0; id < 10; ++id) table.Put(new CountedKey(log, id, 3), nullptr);
  for (int id : {9, 0, 5}) table.Remove(new CountedKey(log, id, 3), false);  // head, tail, middle
  for (int id = 0; id < 10; ++id) {
    CountedKey key(log, id, 3);
    EXPECT_EQ(table.ContainsKey(&key), id != 9 && id != 0 && id != 5) << id;
  }
  // "Aa" and "BB" share a hash code; so do "AaAa", "AaBB" and "BBAa".
  TObject values[5];
  tStringHash strings(true);
  const char* texts[] = {"Aa", "BB", "AaAa", "AaBB", "BBAa"};
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(strings.Put(texts[i], &values[i]));
  EXPECT_EQ(tString::HashOf("Aa"), tString::HashOf("BB"));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(strings.Get(texts[i]), &values[i]) << texts[i];
}

TEST(HashTableTest, TableWithoutKeyOwnershipNeverDestroysKeys) {
  DestroyLog keys, other;
  std::vector<std::unique_ptr<CountedKey>> owned;
  for (int id = 0; id < 4; ++id) owned.push_back(std::make_unique<CountedKey>(keys, id, id));
  {
    tHashTable table(10, false);
    for (auto& key : owned) table.Put(key.get(), nullptr);
    CountedKey duplicate(other, 0, 0);
    EXPECT_FALSE(table.Put(&duplicate, nullptr));
    table.Remove(owned[1].get(), false);
    table.ClearAll(true);
    table.Put(owned[2].get(), nullptr);
  }
  EXPECT_EQ(keys.Total(), 0);
}

TEST(HashTableTest, ClearAllDestroysEachValueOnce) {
  DestroyLog keys, values;
  Counted survivor(values, 9);
  auto* shared = new Counted(values, 1);
  {
    tHashTable table(10, true);
    table.Put(new CountedKey(keys, 1, 1), shared);
    table.Put(new CountedKey(keys, 2, 2), shared);  // one value under two keys
    table.Put(new CountedKey(keys, 3, 3), nullptr);
    uint32_t modCount = table.ModCount();
    table.ClearAll(true);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(table.ModCount(), modCount);
    EXPECT_EQ(values.Of(1), 1);
    EXPECT_EQ(keys.Total(), 3);
    // Clear and the table's end leave values alone.
    table.Put(new CountedKey(keys, 4, 4), &survivor);
    table.Clear();
    table.Put(new CountedKey(keys, 5, 5), &survivor);
  }
  EXPECT_EQ(keys.Total(), 5);
  EXPECT_EQ(values.Total(), 1);
}

TEST(HashTableIteratorTest, VisitsEveryEntryOnceAndStopsAtTheEnd) {
  tStringHash hash(true, 10);
  for (int i = 0; i < 100; ++i) hash.Put(Numbered("key", i), nullptr);
  auto iterator = hash.GetIterator();
  std::set<std::string> seen;
  int steps = 0;
  for (; iterator->HasNext() && steps < 1000; iterator->Next(), ++steps)
    seen.insert(iterator->KeyString());
  seen.insert(iterator->KeyString());
  EXPECT_EQ(steps, 99);
  EXPECT_EQ(seen.size(), 100u);
  // Past the last entry: nothing current, and further steps do nothing.
  iterator->Next();
  iterator->Next();
  EXPECT_FALSE(iterator->IsValid());
  EXPECT_EQ(iterator->Value(), nullptr);
  EXPECT_EQ(iterator->Key(), nullptr);
  EXPECT_EQ(iterator->KeyString(), "");
  EXPECT_EQ(Message([&] { iterator->SetValue(nullptr); }), "The entry is not valid");
}

TEST(HashTableIteratorTest, RemovingEveryEntryVisitsEachOnce) {
  DestroyLog keys, values;
  std::vector<std::unique_ptr<Counted>> objects;
  tHashTable table(10, true);
  for (int id = 0; id < 40; ++id) {  // collisions and spread entries alike
    objects.push_back(std::make_unique<Counted>(values, id));
    table.Put(new CountedKey(keys, id, id % 3 == 0 ? 1 : id), objects.back().get());
  }
  std::map<int, int> visits;
  auto iterator = table.GetIterator();
  for (int guard = 0; iterator->IsValid() && guard < 100; ++guard) {
    ++visits[static_cast<Counted*>(iterator->Value())->Id()];
    iterator->Remove();
    EXPECT_EQ(iterator->Key(), nullptr);
    iterator->Next();
  }
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(visits.size(), 40u);
  for (const auto& [id, n] : visits) EXPECT_EQ(n, 1) << id;
  EXPECT_EQ(keys.Total(), 40);
  EXPECT_EQ(values.Total(), 0);
}

TEST(HashTableIteratorTest, ChangeOtherThanThroughItMakesItFail) {
  tStringHash hash(true);
  hash.Put("a", nullptr);
  hash.Put("b", nullptr);
  auto iterator = hash.GetIterator();
  auto other = hash.GetIterator();
  hash.Put("a", nullptr);         // replacing is no structural change
  hash.Remove("missing", false);  // nor is removing nothing
  EXPECT_NO_THROW(iterator->Next());
  other->Remove();
  EXPECT_FALSE(iterator->NotModified());
  for (const std::function<void()>& check : std::vector<std::function<void()>>{
           [&] { iterator->Next(); }, [&] { iterator->Key(); }, [&] { iterator->Value(); },
           [&] { iterator->HasNext(); }, [&] { iterator->IsValid(); }, [&] { iterator->Remove(); },
           [&] { iterator->SetValue(nullptr); }})
    EXPECT_EQ(Message(check), "Iterator no longer valid");
  iterator->First();  // starts over on the changed table
  EXPECT_TRUE(iterator->IsValid());
  hash.Put("c", nullptr);
  EXPECT_THROW(iterator->Next(), std::runtime_error);
}

TEST(HashTableIteratorTest, SetValueReplacesWithoutInvalidating) {
  DestroyLog values;
  Counted before(values, 1), after(values, 2);
  tStringHash hash(true);
  hash.Put("k", &before);
  auto iterator = hash.GetIterator();
  iterator->SetValue(&after);
  EXPECT_TRUE(iterator->NotModified());
  EXPECT_EQ(hash.Get("k"), &after);
  iterator->Remove();
  EXPECT_EQ(Message([&] { iterator->SetValue(&before); }), "The entry is not valid");
  EXPECT_EQ(values.Total(), 0);
}

TEST(HashTableIteratorTest, AfterClearItShowsNoEntry) {
  // Clear leaves ModCount alone, so the iterator cannot tell; it must still
  // not reach the freed entries.
  tStringHash hash(true);
  for (int i = 0; i < 5; ++i) hash.Put(std::to_string(i), nullptr);
  auto iterator = hash.GetIterator();
  iterator->Next();
  hash.Clear();
  EXPECT_TRUE(iterator->NotModified());
  EXPECT_FALSE(iterator->IsValid());
  EXPECT_EQ(iterator->Key(), nullptr);
  iterator->Next();
  iterator->Remove();
}

TEST(HashTableIteratorTest, KeyStringNeedsStringKeys) {
  DestroyLog keys;
  tHashTable table(10, true);
  table.Put(new CountedKey(keys, 1, 1), nullptr);
  tStrHashIterator iterator(table);
  EXPECT_EQ(Message([&] { iterator.KeyString(); }), "Wrong hash type. Got CountedKey");
}

TEST(StringHashTest, CaseSensitivity) {
  DestroyLog values;
  Counted lower(values, 1), upper(values, 2);
  tStringHash sensitive(true);
  sensitive.Put("abc", &lower);
  sensitive.Put("ABC", &upper);
  EXPECT_EQ(sensitive.Count(), 2);
  EXPECT_EQ(sensitive.Get("Abc"), nullptr);

  tStringHash insensitive(false);
  EXPECT_TRUE(insensitive.Put("abc", &lower));
  EXPECT_EQ(insensitive.Get("ABC"), &lower);
  EXPECT_FALSE(insensitive.Put("ABC", &upper));  // the same key: replaced
  EXPECT_EQ(insensitive.Count(), 1);
  EXPECT_EQ(insensitive.GetIterator()->KeyString(), "abc");  // the first spelling stays
  EXPECT_EQ(insensitive.Remove("aBc", false), &upper);
  EXPECT_EQ(insensitive.Count(), 0);
}

}  // namespace
}  // namespace support
