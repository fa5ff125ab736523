#include "collections/object_collections.h"

#include <unordered_set>

#include "platform/clock.h"
#include "support/file_utils.h"

namespace support {

// --- list ---

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

int TObjectCollection::Add(TObject* object) {
  items_.push_back(object);
  return Count() - 1;
}

void TObjectCollection::Insert(int index, TObject* object) {
  if (index < 0 || index > Count()) throw EListError(index);
  items_.insert(items_.begin() + index, object);
}

TObject* TObjectCollection::GetItem(int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return items_[static_cast<size_t>(index)];
}

void TObjectCollection::SetItem(int index, TObject* object) {
  if (index < 0 || index >= Count()) throw EListError(index);
  items_[static_cast<size_t>(index)] = object;
}

void TObjectCollection::FreeAll() {
  // Taken out first, so that the list is empty whatever a destructor does.
  std::vector<TObject*> items;
  items.swap(items_);
  std::unordered_set<const TObject*> destroyed;
  for (TObject* object : items)
    if (object && destroyed.insert(object).second) delete object;
}

int TObjectCollection::IndexOf(const TObject* object) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == object) return static_cast<int>(i);
  return -1;
}

void TObjectCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(index);
  items_.erase(items_.begin() + index);
}

void TObjectCollection::Remove(const TObject* object) {
  Delete(IndexOf(object));
}

// --- string-keyed collection ---

THashObjectCollection::THashObjectCollection() : hash_(false, 10) {}

tStrHashIterator& THashObjectCollection::Cursor() {
  if (!cursor_) cursor_ = hash_.GetIterator();
  return *cursor_;
}

int THashObjectCollection::Count() const {
  return hash_.Count();
}

void THashObjectCollection::Clear() {
  hash_.Clear();
}

void THashObjectCollection::ClearAndFree() {
  hash_.ClearAll(true);
}

void THashObjectCollection::Add(std::string_view key, TObject* object) {
  hash_.Add(key, object);
}

TObject* THashObjectCollection::Get(std::string_view key) const {
  return hash_.Get(key);
}

TObject* THashObjectCollection::Remove(std::string_view key) {
  return hash_.Remove(key, false);
}

TObject* THashObjectCollection::First() {
  tStrHashIterator& cursor = Cursor();
  cursor.First();
  return cursor.Value();
}

TObject* THashObjectCollection::Next() {
  if (!cursor_) return nullptr;
  cursor_->Next();
  return cursor_->Value();
}

void THashObjectCollection::RemoveCurrent() {
  if (cursor_) cursor_->Remove();
}

std::string THashObjectCollection::CurrentKey() const {
  return cursor_ ? cursor_->KeyString() : std::string();
}

TObject* THashObjectCollection::CurrentValue() const {
  return cursor_ ? cursor_->Value() : nullptr;
}

// --- expiring collection ---

uint32_t CurrentFileDate() {
  return DateTimeToFileDate(platform::Now());
}

void TExpireObject::Touch() {
  Stamp = CurrentFileDate();
}

TExpireHashObjectCollection::~TExpireHashObjectCollection() {
  hash_.ClearAll(true);
}

void TExpireHashObjectCollection::Add(std::string_view key, TObject* object) {
  // Without an age, a walk below the cap could destroy nothing: it is left
  // out, so that filling a large cache stays linear.
  if (expireAge_ > 0 || (maxCount_ > 0 && Count() >= maxCount_)) ExpireExcept(object);
  THashObjectCollection::Add(key, object);
}

void TExpireHashObjectCollection::Expire() {
  ExpireExcept(nullptr);
}

void TExpireHashObjectCollection::ExpireExcept(const TObject* keep) {
  try {
    // On the packed values, in 64 bits: a clock outside the packed range
    // (date 0) must not wrap round and expire everything.
    int64_t limit = static_cast<int64_t>(CurrentFileDate()) - expireAge_;
    bool haveOldest = false;
    uint32_t oldestStamp = 0;
    std::string oldestKey;
    tStrHashIterator& cursor = Cursor();
    // Walked by entry, not by First/Next, so that an entry held as none does
    // not end the walk.
    for (cursor.First(); cursor.IsValid(); cursor.Next()) {
      auto* object = dynamic_cast<TExpireObject*>(cursor.Value());
      if (!object || object == keep) continue;
      if (expireAge_ > 0 && static_cast<int64_t>(object->Stamp) < limit) {
        cursor.Remove();
        delete object;
      } else if (maxCount_ > 0 && (!haveOldest || object->Stamp < oldestStamp)) {
        haveOldest = true;
        oldestStamp = object->Stamp;
        oldestKey = cursor.KeyString();
      }
    }
    if (maxCount_ > 0 && Count() >= maxCount_ && haveOldest) delete hash_.Remove(oldestKey, false);
  } catch (...) {
    // A cache that cannot be trimmed now is trimmed on a later Add.
  }
}

}  // namespace support
