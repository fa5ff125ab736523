#include "collections/hash_table.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <typeinfo>
#include <unordered_set>

namespace support {

namespace {

const char* ClassNameOf(const TObject* object) {
  return object ? object->ClassName() : "none";
}

// The nearest integer, halves to the even neighbour: 10 * 0.75 gives 8.
int NearestEven(double x) {
  if (!(x > 0)) return 0;
  if (x >= static_cast<double>(INT_MAX)) return INT_MAX;
  double whole = std::floor(x);
  double fraction = x - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
  return static_cast<int>(whole);
}

// The other object as a tString, or none. The same class as this key is the
// common case, and cheaper to check than a dynamic_cast.
const tString* AsString(const TObject* other, const std::type_info& ownClass) {
  if (other && typeid(*other) == ownClass) return static_cast<const tString*>(other);
  return dynamic_cast<const tString*>(other);
}

uint32_t TextSize(std::string_view text) {
  if (text.size() > UINT32_MAX) throw std::length_error("tString: text too long");
  return static_cast<uint32_t>(text.size());
}

unsigned char FoldCase(unsigned char c) {
  return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
}

template <bool foldCase>
uint32_t Byte(char c) {
  unsigned char b = static_cast<unsigned char>(c);
  return foldCase ? FoldCase(b) : b;
}

// h * 31 + b byte by byte, taken four bytes a step as
// h * 31^4 + b0 * 31^3 + b1 * 31^2 + b2 * 31 + b3: the same value modulo 2^32
// with a quarter of the chain of dependent multiplications.
template <bool foldCase>
int32_t HashBytes(std::string_view text) {
  uint32_t h = 0;
  const char* p = text.data();
  size_t n = text.size(), i = 0;
  for (; i + 4 <= n; i += 4)
    h = h * 923521u + Byte<foldCase>(p[i]) * 29791u + Byte<foldCase>(p[i + 1]) * 961u +
        Byte<foldCase>(p[i + 2]) * 31u + Byte<foldCase>(p[i + 3]);
  for (; i < n; ++i) h = h * 31u + Byte<foldCase>(p[i]);
  return static_cast<int32_t>(h);
}

}  // namespace

ECompareException::ECompareException(std::string_view expectedClass, std::string_view givenClass)
    : std::runtime_error(std::string(expectedClass) + " cannot be compared with " +
                         std::string(givenClass)) {}

// --- string keys ---

tString::tString(std::string_view text, int32_t hash) : hash_(hash), size_(TextSize(text)) {
  char* data = inline_;
  if (size_ > kInlineText) {
    heap_ = new char[size_];
    data = heap_;
  }
  if (size_ > 0) std::memcpy(data, text.data(), size_);
  data_ = data;
}

tString::tString(Borrowed, std::string_view text, int32_t hash)
    : hash_(hash), size_(TextSize(text)), data_(text.data()), heap_(nullptr) {}

tString::~tString() {
  if (size_ > kInlineText) delete[] heap_;
}

bool tString::SameClassEquals(const tComparable* other) const {
  auto* o = static_cast<const tString*>(other);
  return size_ == o->size_ && (size_ == 0 || std::memcmp(data_, o->data_, size_) == 0);
}

int32_t tString::HashOf(std::string_view text) {
  return HashBytes<false>(text);
}

int tString::CompareTo(const TObject* other) const {
  const tString* o = AsString(other, typeid(*this));
  if (!o) throw ECompareException("tString", ClassNameOf(other));
  int result = Text().compare(o->Text());
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int32_t tStringNoCase::HashOf(std::string_view text) {
  return HashBytes<true>(text);
}

int tStringNoCase::CompareTo(const TObject* other) const {
  const tString* o = AsString(other, typeid(*this));
  if (!o) throw ECompareException("tString", ClassNameOf(other));
  std::string_view a = Text();
  std::string_view b = o->Text();
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = FoldCase(static_cast<unsigned char>(a[i]));
    unsigned char cb = FoldCase(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// --- entries ---

int tHashEntry::CompareTo(const TObject* other) const {
  if (!other || typeid(*other) != typeid(*this))
    throw ECompareException(ClassName(), ClassNameOf(other));
  const tComparable* otherKey = static_cast<const tHashEntry*>(other)->Key;
  if (Key == otherKey) return 0;
  // An absent key on either side orders first from this entry's view.
  if (!Key || !otherKey) return -1;
  return Key->CompareTo(otherKey);
}

int32_t tHashEntry::HashCode() const {
  return Key ? Key->HashCode() : 0;
}

std::unique_ptr<tHashEntry> tHashEntryFactory::CreateEntry(tComparable* key, TObject* value) {
  return std::make_unique<tHashEntry>(key, value);
}

bool KeysEqual(const tComparable* a, const tComparable* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  // A tString never equals a tStringNoCase, whatever their texts.
  if (typeid(*a) != typeid(*b)) return false;
  return a->SameClassEquals(b);
}

// --- table ---

tHashTable::tHashTable(int capacity, bool ownsKeys, std::unique_ptr<tHashEntryFactory> factory,
                       double loadFactor)
    : buckets_(static_cast<size_t>(std::max(capacity, 1)), nullptr),
      entryFactory_(factory ? std::move(factory) : std::make_unique<tHashEntryFactory>()),
      threshold_(NearestEven(static_cast<double>(buckets_.size()) * loadFactor)),
      loadFactor_(loadFactor),
      ownsKeys_(ownsKeys) {}

tHashTable::~tHashTable() {
  tHashTable::ClearAll(false);
}

int tHashTable::BucketOf(const tComparable* key) const {
  int32_t h = key ? key->HashCode() : 0;
  uint32_t magnitude = h < 0 ? 0u - static_cast<uint32_t>(h) : static_cast<uint32_t>(h);
  return static_cast<int>(magnitude % static_cast<uint32_t>(buckets_.size()));
}

tHashEntry** tHashTable::FindLink(const tComparable* key, int bucket) const {
  // Equal keys hash alike, so an entry of another hash code is passed over
  // without a comparison.
  int32_t hash = key ? key->HashCode() : 0;
  for (tHashEntry* const* link = &buckets_[bucket]; *link; link = &(*link)->Next) {
    const tComparable* stored = (*link)->Key;
    if ((stored ? stored->HashCode() : 0) == hash && KeysEqual(stored, key))
      return const_cast<tHashEntry**>(link);
  }
  return nullptr;
}

tHashEntry* tHashTable::Find(const tComparable* key) const {
  tHashEntry** link = FindLink(key, BucketOf(key));
  return link ? *link : nullptr;
}

void tHashTable::Rehash() {
  size_t newCapacity = std::min<size_t>(buckets_.size() * 2 + 1, INT_MAX);
  ++modCount_;
  threshold_ = NearestEven(static_cast<double>(newCapacity) * loadFactor_);
  std::vector<tHashEntry*> old(newCapacity, nullptr);
  old.swap(buckets_);
  for (tHashEntry* e : old) {
    while (e) {
      tHashEntry* next = e->Next;
      int b = BucketOf(e->Key);
      e->Next = buckets_[b];
      buckets_[b] = e;
      e = next;
    }
  }
}

bool tHashTable::Add(tComparable* key, TObject* value) {
  return Put(key, value);
}

std::unique_ptr<tHashTableIterator> tHashTable::GetIterator() {
  return std::make_unique<tHashTableIterator>(*this);
}

bool tHashTable::ContainsKey(const tComparable* key) const {
  return Find(key) != nullptr;
}

bool tHashTable::ContainsValue(const TObject* value) const {
  for (tHashEntry* head : buckets_)
    for (tHashEntry* e = head; e; e = e->Next)
      if (e->Value == value) return true;
  return false;
}

TObject* tHashTable::Get(const tComparable* key) const {
  tHashEntry* e = Find(key);
  return e ? e->Value : nullptr;
}

bool tHashTable::Put(tComparable* key, TObject* value) {
  // An owned key that does not end up stored is destroyed, also when a
  // comparison or the entry's creation throws.
  std::unique_ptr<tComparable> ownedKey(ownsKeys_ ? key : nullptr);
  int b = BucketOf(key);
  if (tHashEntry** link = FindLink(key, b)) {
    tHashEntry* e = *link;
    e->Value = value;
    // The same object put again is the stored key: it stays.
    if (e->Key == key) ownedKey.release();
    return false;
  }
  ++modCount_;
  // Grows when inserting while Count already exceeds Threshold.
  if (count_ > threshold_) {
    Rehash();
    b = BucketOf(key);
  }
  std::unique_ptr<tHashEntry> entry = entryFactory_->CreateEntry(key, value);
  entry->Next = buckets_[b];
  buckets_[b] = entry.release();
  ownedKey.release();
  ++count_;
  return true;
}

TObject* tHashTable::Remove(tComparable* key, bool freeValue) {
  tHashEntry** link = FindLink(key, BucketOf(key));
  if (!link) return nullptr;
  tHashEntry* e = *link;
  ++modCount_;
  *link = e->Next;
  --count_;
  TObject* value = e->Value;
  if (ownsKeys_) {
    if (key != e->Key) delete key;
    delete e->Key;
  }
  delete e;
  if (freeValue) {
    delete value;
    return nullptr;
  }
  return value;
}

void tHashTable::ClearAll(bool freeValues) {
  // A value held under several keys (or also held as a key) is destroyed once.
  std::unordered_set<const TObject*> destroyed;
  auto destroy = [&](TObject* object) {
    if (object && (!freeValues || destroyed.insert(object).second)) delete object;
  };
  for (tHashEntry*& head : buckets_) {
    tHashEntry* e = head;
    head = nullptr;
    while (e) {
      tHashEntry* next = e->Next;
      if (ownsKeys_) destroy(e->Key);
      if (freeValues) destroy(e->Value);
      delete e;
      e = next;
    }
  }
  count_ = 0;
}

// --- iterators ---

tHashTableIterator::tHashTableIterator(tHashTable& table) : table_(&table) {
  First();
}

void tHashTableIterator::CheckValid() const {
  if (table_->modCount_ != expectedModCount_) throw std::runtime_error("Iterator no longer valid");
}

tHashEntry* tHashTableIterator::Current() const {
  return position_ < table_->count_ ? entry_ : nullptr;
}

tHashEntry* tHashTableIterator::Advance() {
  if (entry_->Next) return entry_->Next;
  const std::vector<tHashEntry*>& buckets = table_->buckets_;
  for (size_t b = static_cast<size_t>(bucket_) + 1; b < buckets.size(); ++b) {
    if (buckets[b]) {
      bucket_ = static_cast<int>(b);
      return buckets[b];
    }
  }
  return nullptr;
}

void tHashTableIterator::First() {
  expectedModCount_ = table_->modCount_;
  removed_ = false;
  position_ = 0;
  entry_ = nullptr;
  bucket_ = 0;
  if (table_->count_ == 0) return;
  const std::vector<tHashEntry*>& buckets = table_->buckets_;
  for (size_t b = 0; b < buckets.size(); ++b) {
    if (buckets[b]) {
      bucket_ = static_cast<int>(b);
      entry_ = buckets[b];
      return;
    }
  }
}

void tHashTableIterator::Next() {
  CheckValid();
  if (removed_) {
    // The removal already moved on to the next entry.
    removed_ = false;
    return;
  }
  if (!Current()) return;
  entry_ = Advance();
  if (entry_) ++position_;
}

void tHashTableIterator::Remove() {
  CheckValid();
  if (removed_ || !Current()) return;
  tHashEntry* old = entry_;
  entry_ = Advance();
  table_->Remove(old->Key, false);
  removed_ = true;
  expectedModCount_ = table_->modCount_;
}

bool tHashTableIterator::HasNext() const {
  CheckValid();
  return position_ < table_->count_ - 1 || (removed_ && position_ < table_->count_);
}

tComparable* tHashTableIterator::Key() const {
  CheckValid();
  tHashEntry* e = Current();
  return e && !removed_ ? e->Key : nullptr;
}

TObject* tHashTableIterator::Value() const {
  CheckValid();
  tHashEntry* e = Current();
  return e && !removed_ ? e->Value : nullptr;
}

bool tHashTableIterator::IsValid() const {
  CheckValid();
  return Current() && !removed_;
}

void tHashTableIterator::SetValue(TObject* value) {
  if (!IsValid()) throw std::runtime_error("The entry is not valid");
  entry_->Value = value;
}

bool tHashTableIterator::NotModified() const {
  return table_->modCount_ == expectedModCount_;
}

std::string tStrHashIterator::KeyString() const {
  const tComparable* key = Key();
  if (!key) return std::string();
  auto* text = dynamic_cast<const tString*>(key);
  if (!text) throw std::runtime_error(std::string("Wrong hash type. Got ") + key->ClassName());
  return std::string(text->Text());
}

// --- string-keyed wrapper ---

namespace {

// Lookups use a temporary key of the table's key class, on the stack and
// referring to the text.
template <typename Action>
auto WithLookupKey(bool caseSensitive, std::string_view text, Action action) {
  if (caseSensitive) {
    tString key = tString::Lookup(text);
    return action(key);
  }
  tStringNoCase key = tStringNoCase::Lookup(text);
  return action(key);
}

}  // namespace

tStringHash::tStringHash(bool caseSensitive, int capacity)
    : table_(capacity, true, nullptr, 0.75), caseSensitive_(caseSensitive) {}

std::unique_ptr<tString> tStringHash::MakeKey(std::string_view text) const {
  if (caseSensitive_) return std::make_unique<tString>(text);
  return std::make_unique<tStringNoCase>(text);
}

bool tStringHash::Add(std::string_view text, TObject* value) {
  return Put(text, value);
}

std::unique_ptr<tStrHashIterator> tStringHash::GetIterator() {
  return std::make_unique<tStrHashIterator>(table_);
}

bool tStringHash::ContainsKey(std::string_view text) const {
  try {
    return WithLookupKey(caseSensitive_, text,
                         [&](const tString& key) { return table_.ContainsKey(&key); });
  } catch (...) {
    return false;
  }
}

bool tStringHash::ContainsValue(const TObject* value) const {
  return table_.ContainsValue(value);
}

TObject* tStringHash::Get(std::string_view text) const {
  try {
    return WithLookupKey(caseSensitive_, text,
                         [&](const tString& key) { return table_.Get(&key); });
  } catch (...) {
    return nullptr;
  }
}

bool tStringHash::Put(std::string_view text, TObject* value) {
  return table_.Put(MakeKey(text).release(), value);
}

TObject* tStringHash::Remove(std::string_view text, bool freeValue) {
  try {
    std::unique_ptr<tString> key = MakeKey(text);
    uint32_t before = table_.ModCount();
    TObject* value = table_.Remove(key.get(), freeValue);
    // A found entry took the temporary key with it; otherwise it is still ours.
    if (table_.ModCount() != before) key.release();
    return value;
  } catch (...) {
    return nullptr;
  }
}

int tStringHash::Count() const {
  return table_.Count();
}

void tStringHash::Clear() {
  table_.Clear();
}

void tStringHash::ClearAll(bool freeValues) {
  table_.ClearAll(freeValues);
}

}  // namespace support
