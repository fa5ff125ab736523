// A chained hash table of comparable keys to objects, with fail-fast
// iterators, and a string-keyed wrapper over it.
//
// Ownership: a table always owns its entries. It owns its keys only when
// created with ownsKeys (then every key handed to Put or Add belongs to the
// table from that call on). Values are never the table's, except that
// ClearAll(true) and Remove(key, true) destroy them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "collections/object.h"

namespace support {

// Raised by CompareTo when the other object is not of a class it can compare
// with: "<expected class> cannot be compared with <class given>".
class ECompareException : public std::runtime_error {
 public:
  ECompareException(std::string_view expectedClass, std::string_view givenClass);
};

class tComparable : public TObject {
 public:
  // 0 = equal, negative = this is less, positive = this is greater.
  virtual int CompareTo(const TObject* other) const = 0;
  // Keys that compare equal must hash alike.
  virtual int32_t HashCode() const = 0;
  // CompareTo(other) == 0 for an other of exactly this class, which the
  // table's lookups ask; a class may answer it faster.
  virtual bool SameClassEquals(const tComparable* other) const { return CompareTo(other) == 0; }
  const char* ClassName() const override { return "tComparable"; }
};

// A case-sensitive string key; the hash is computed once.
class tString : public tComparable {
 public:
  explicit tString(std::string_view text) : tString(text, HashOf(text)) {}
  ~tString() override;
  // A lookup key that refers to the caller's text instead of copying it. It
  // lives on the caller's stack while the text does, and is never stored in
  // a table (Put) nor handed to a table that owns its keys to Remove.
  static tString Lookup(std::string_view text) { return tString(Borrowed{}, text, HashOf(text)); }

  // Ordinal byte comparison; other must be a tString or a descendant.
  int CompareTo(const TObject* other) const override;
  int32_t HashCode() const override { return hash_; }
  bool SameClassEquals(const tComparable* other) const override;
  const char* ClassName() const override { return "tString"; }
  std::string_view Text() const { return std::string_view(data_, size_); }

  // h := h * 31 + byte over the text, modulo 2^32, read as signed.
  static int32_t HashOf(std::string_view text);

 protected:
  struct Borrowed {};
  tString(std::string_view text, int32_t hash);
  tString(Borrowed, std::string_view text, int32_t hash);

 private:
  // Short texts (names, addresses) live in the key object itself, so that a
  // lookup reaches the key and its text in one memory access; the object is
  // kept small for the same reason.
  static constexpr size_t kInlineText = 24;
  int32_t hash_;
  uint32_t size_;
  const char* data_;  // inline_, heap_ or, for a lookup key, the caller's text
  union {
    char* heap_;  // a longer text of the key's own; none for a lookup key
    char inline_[kInlineText];
  };
};

// A string key compared and hashed without regard to the case of A to Z.
class tStringNoCase : public tString {
 public:
  explicit tStringNoCase(std::string_view text) : tString(text, HashOf(text)) {}
  static tStringNoCase Lookup(std::string_view text) {
    return tStringNoCase(Borrowed{}, text, HashOf(text));
  }

  int CompareTo(const TObject* other) const override;
  bool SameClassEquals(const tComparable* other) const override { return CompareTo(other) == 0; }
  const char* ClassName() const override { return "tStringNoCase"; }

  // HashOf of the text with a to z taken as A to Z.
  static int32_t HashOf(std::string_view text);

 private:
  tStringNoCase(Borrowed, std::string_view text, int32_t hash) : tString(Borrowed{}, text, hash) {}
};

// One key/value pair of a bucket chain. Keys and values are not the entry's:
// the table decides what to destroy.
class tHashEntry : public tComparable {
 public:
  tHashEntry(tComparable* key, TObject* value) : Key(key), Value(value) {}
  // Other must be of this entry's own class; compares the keys.
  int CompareTo(const TObject* other) const override;
  int32_t HashCode() const override;
  const char* ClassName() const override { return "tHashEntry"; }

  tComparable* Key;
  TObject* Value;
  tHashEntry* Next = nullptr;
};

// Makes the table's entries; a table that needs richer entries is given a
// factory whose CreateEntry returns a descendant of tHashEntry.
class tHashEntryFactory : public TObject {
 public:
  virtual std::unique_ptr<tHashEntry> CreateEntry(tComparable* key, TObject* value);
  const char* ClassName() const override { return "tHashEntryFactory"; }
};

class tHashTableIterator;

// Key equality of the table: the same object (or both none), or objects of
// exactly the same class whose CompareTo gives 0.
bool KeysEqual(const tComparable* a, const tComparable* b);

class tHashTable : public TObject {
 public:
  // A capacity below 1 is taken as 1. No factory means plain tHashEntry entries.
  tHashTable(int capacity, bool ownsKeys, std::unique_ptr<tHashEntryFactory> factory = nullptr,
             double loadFactor = 0.75);
  // Clears (keys destroyed when owned; values survive).
  ~tHashTable() override;

  // Grows to 2 * Capacity + 1 buckets.
  virtual void Rehash();
  virtual bool Add(tComparable* key, TObject* value);
  // Positioned on the first entry. The iterator must not outlive the table.
  virtual std::unique_ptr<tHashTableIterator> GetIterator();
  virtual bool ContainsKey(const tComparable* key) const;
  // Identity of the value objects.
  virtual bool ContainsValue(const TObject* value) const;
  virtual TObject* Get(const tComparable* key) const;
  // Inserts, or replaces the value of an equal key (the old value survives).
  // True when a new entry was made. With OwnsKeys a key that is not stored is
  // destroyed.
  virtual bool Put(tComparable* key, TObject* value);
  // Unlinks the entry of an equal key and returns its value; none when there
  // is no such entry or freeValue destroyed the value. With OwnsKeys the stored
  // key is destroyed, and so is the passed key when an entry was found; when
  // none was found the passed key stays the caller's.
  virtual TObject* Remove(tComparable* key, bool freeValue);
  virtual int Count() const { return count_; }
  virtual void Clear() { ClearAll(false); }
  // Destroys every entry, its key when owned and, with freeValues, its value
  // (a value held by several entries once). Leaves ModCount as it is.
  virtual void ClearAll(bool freeValues);

  const char* ClassName() const override { return "tHashTable"; }
  int Capacity() const { return static_cast<int>(buckets_.size()); }
  int Threshold() const { return threshold_; }
  double LoadFactor() const { return loadFactor_; }
  bool OwnsKeys() const { return ownsKeys_; }
  // Grows on every insert of a new key, removal of a found key and rehash.
  uint32_t ModCount() const { return modCount_; }
  // |HashCode| mod Capacity; the hash -2^31 is taken as 2^31.
  int BucketOf(const tComparable* key) const;

 private:
  friend class tHashTableIterator;

  // The link (bucket slot or an entry's Next) that holds the entry of an
  // equal key in that bucket; none when there is no such entry.
  tHashEntry** FindLink(const tComparable* key, int bucket) const;
  tHashEntry* Find(const tComparable* key) const;

  std::vector<tHashEntry*> buckets_;  // owned chains
  std::unique_ptr<tHashEntryFactory> entryFactory_;
  uint32_t modCount_ = 0;
  int threshold_;
  double loadFactor_;
  int count_ = 0;
  bool ownsKeys_;
};

class tMapIterator : public TObject {
 public:
  virtual void First() = 0;
  virtual void Next() = 0;
  virtual void Remove() = 0;
  virtual bool HasNext() const = 0;
  virtual tComparable* Key() const = 0;
  virtual TObject* Value() const = 0;
  virtual bool IsValid() const = 0;
  virtual void SetValue(TObject* value) = 0;
  virtual bool NotModified() const = 0;
  const char* ClassName() const override { return "tMapIterator"; }
};

// Fail-fast: once the table changed other than through this iterator's own
// Remove and SetValue, every checking operation raises "Iterator no longer
// valid" (std::runtime_error).
class tHashTableIterator : public tMapIterator {
 public:
  explicit tHashTableIterator(tHashTable& table);

  void First() override;
  // After a Remove through the iterator, Next stays on the entry that the
  // removal moved to. Past the end it does nothing.
  void Next() override;
  // Removes the current entry (its value survives) and moves on.
  void Remove() override;
  bool HasNext() const override;
  // None after a Remove or past the end.
  tComparable* Key() const override;
  TObject* Value() const override;
  bool IsValid() const override;
  // Raises "The entry is not valid" when IsValid is false. The old value survives.
  void SetValue(TObject* value) override;
  bool NotModified() const override;
  const char* ClassName() const override { return "tHashTableIterator"; }

  int Bucket() const { return bucket_; }
  int Position() const { return position_; }

 protected:
  void CheckValid() const;

 private:
  // The current entry. Position < Count guards against entries freed by a
  // Clear, which leaves ModCount alone and so is not caught by the check.
  tHashEntry* Current() const;
  // The entry after the current one, in bucket order; moves bucket_ along.
  tHashEntry* Advance();

  tHashTable* table_;
  tHashEntry* entry_ = nullptr;
  int bucket_ = 0;
  uint32_t expectedModCount_ = 0;
  bool removed_ = false;
  int position_ = 0;
};

class tStrHashIterator : public tHashTableIterator {
 public:
  using tHashTableIterator::tHashTableIterator;
  // The current key's text; "" when there is no current key. Raises "Wrong
  // hash type. Got <class>" when the key is not a tString.
  std::string KeyString() const;
  const char* ClassName() const override { return "tStrHashIterator"; }
};

// String keys over a table that owns them. Lookups wrap the text in a
// temporary key; lookups and removals swallow errors.
class tStringHash : public TObject {
 public:
  // caseSensitive: tString keys; otherwise tStringNoCase keys.
  explicit tStringHash(bool caseSensitive, int capacity = 10);

  virtual bool Add(std::string_view text, TObject* value);
  virtual std::unique_ptr<tStrHashIterator> GetIterator();
  virtual bool ContainsKey(std::string_view text) const;
  virtual bool ContainsValue(const TObject* value) const;
  virtual TObject* Get(std::string_view text) const;
  // True when a new entry was made; the old value of a replaced one survives.
  virtual bool Put(std::string_view text, TObject* value);
  virtual TObject* Remove(std::string_view text, bool freeValue);
  virtual int Count() const;
  virtual void Clear();
  virtual void ClearAll(bool freeValues);

  const char* ClassName() const override { return "tStringHash"; }
  bool CaseSensitive() const { return caseSensitive_; }
  tHashTable& Table() { return table_; }
  const tHashTable& Table() const { return table_; }

 private:
  std::unique_ptr<tString> MakeKey(std::string_view text) const;

  tHashTable table_;
  bool caseSensitive_;
};

}  // namespace support
