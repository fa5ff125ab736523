// Collections of objects over the pointer list and the string hash: a list
// that can destroy its objects, a string-keyed collection with a built-in
// cursor, and a variant whose entries expire by age and whose size is capped
// (the domain and account record caches).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "collections/hash_table.h"
#include "collections/object.h"

namespace support {

// The list's index error: "List index out of bounds (<index>)".
class EListError : public std::out_of_range {
 public:
  explicit EListError(int index);
};

// A list of objects. The objects are not the list's: only FreeAll destroys
// them, and the list's own destruction leaves them alone.
class TObjectCollection : public TObject {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // The index of the new item.
  int Add(TObject* object);
  // Index may be Count (append); otherwise raises EListError.
  void Insert(int index, TObject* object);
  // Forgets every item; the objects survive.
  void Clear() { items_.clear(); }
  const std::vector<TObject*>& Items() const { return items_; }

  // GetItem, SetItem and Delete raise EListError for an index outside the list.
  virtual TObject* GetItem(int index) const;
  virtual void SetItem(int index, TObject* object);
  // Destroys every object in index order (an object listed twice once), then
  // empties the list.
  virtual void FreeAll();
  // -1 when the object is not in the list.
  virtual int IndexOf(const TObject* object) const;
  // Does not destroy the object.
  virtual void Delete(int index);
  // Delete(IndexOf(object)): an object not in the list raises EListError.
  virtual void Remove(const TObject* object);

  const char* ClassName() const override { return "TObjectCollection"; }

 private:
  std::vector<TObject*> items_;
};

// Objects by string key, keys compared without regard to case. The objects
// are not the collection's: Clear, Remove, RemoveCurrent and the collection's
// destruction leave them alone; ClearAndFree destroys them.
//
// Iteration: First, then Next until it yields none; RemoveCurrent may be
// called between them. Next raises "Iterator no longer valid" when the
// collection was changed other than through RemoveCurrent since First. An
// object stored as none ends such a walk early.
class THashObjectCollection : public TObject {
 public:
  THashObjectCollection();

  virtual int Count() const;
  virtual void Clear();
  virtual void ClearAndFree();
  // A key already held gets the new object; the object it held before is not
  // destroyed.
  virtual void Add(std::string_view key, TObject* object);
  virtual TObject* Get(std::string_view key) const;
  // Returns the object that was held under the key (not destroyed), or none.
  virtual TObject* Remove(std::string_view key);
  // Resets the cursor onto the first entry; none when empty.
  virtual TObject* First();
  // None at the end, and before the first First.
  virtual TObject* Next();
  virtual void RemoveCurrent();
  // "" when the cursor is on no entry.
  virtual std::string CurrentKey() const;
  virtual TObject* CurrentValue() const;

  const char* ClassName() const override { return "THashObjectCollection"; }
  const tStringHash& Hash() const { return hash_; }

 protected:
  // Created on first use and kept until the collection is destroyed.
  tStrHashIterator& Cursor();

  tStringHash hash_;

 private:
  std::unique_ptr<tStrHashIterator> cursor_;
};

// A cached object: Stamp is its last use as a packed file date (date in the
// high 16 bits, time of day in 2-second steps in the low 16 bits).
class TExpireObject : public TObject {
 public:
  // The owner calls this when it creates or refreshes the object.
  void Touch();
  const char* ClassName() const override { return "TExpireObject"; }

  uint32_t Stamp = 0;
};

// The current local date-time as a packed file date, from the platform clock.
uint32_t CurrentFileDate();

// A cache of TExpireObject objects. Unlike its base it owns what it holds:
// Expire destroys stale and evicted objects, and so does its destruction.
// Objects of other classes are held but never expire nor are evicted.
class TExpireHashObjectCollection : public THashObjectCollection {
 public:
  // maxCount 0: no cap; expireAge 0: no expiry. The age is counted on the
  // packed values, so 15 is about 30 seconds.
  explicit TExpireHashObjectCollection(int maxCount = 0, int expireAge = 0)
      : maxCount_(maxCount), expireAge_(expireAge) {}
  ~TExpireHashObjectCollection() override;

  // Expires first (when an age is set, or the cap is reached), so that adding
  // to a full cache evicts the least recently stamped object. The object being
  // added is never the one destroyed.
  void Add(std::string_view key, TObject* object) override;
  // Destroys the objects older than ExpireAge; then, when the cache holds at
  // least MaxCount objects, destroys the one with the smallest stamp (the
  // first met among equals). Errors end it silently. Resets the cursor.
  virtual void Expire();

  const char* ClassName() const override { return "TExpireHashObjectCollection"; }
  int MaxCount() const { return maxCount_; }
  void SetMaxCount(int maxCount) { maxCount_ = maxCount; }
  int ExpireAge() const { return expireAge_; }
  void SetExpireAge(int expireAge) { expireAge_ = expireAge; }

 private:
  void ExpireExcept(const TObject* keep);

  int maxCount_;
  int expireAge_;
};

}  // namespace support
