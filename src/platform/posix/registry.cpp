// The registry stand-in: an in-memory tree with Windows' case rules, which can be
// saved to and loaded from a REGEDIT4-style text file.
#include "platform/registry.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/posix/posix_platform.h"

namespace platform {
namespace {

// Windows value type numbers, as the file form writes them.
constexpr uint32_t kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7;

struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
  }
};

struct StoredValue {
  uint32_t type = kSz;
  std::string bytes;  // strings without terminator; a DWORD as 4 little-endian bytes
};

struct Key {
  std::map<std::string, std::shared_ptr<Key>, NoCase> subkeys;
  std::map<std::string, StoredValue, NoCase> values;
  bool deleted = false;
  bool readOnly = false;  // values cannot be written, as under a denying access list
};

struct Tree {
  std::shared_ptr<Key> roots[7];
  Tree() {
    for (auto& r : roots) r = std::make_shared<Key>();
  }
};

std::recursive_mutex treeMutex;
Tree tree;

const char* const kRootNames[7] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('\\', pos);
    if (next == std::string::npos) next = path.size();
    if (next > pos) parts.push_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

// Windows' limits: 512 levels of keys, 255 characters in a key name, 16383 in
// a value name.
constexpr size_t kMaxDepth = 512, kMaxKeyName = 255, kMaxValueName = 16383;

// Whether Windows would create a key of this name. Line breaks are refused too:
// the file form could not hold them.
bool ValidKeyName(const std::string& name) {
  return name.size() <= kMaxKeyName && name.find_first_of("\r\n") == std::string::npos;
}

std::shared_ptr<Key> Find(Tree& t, RegRoot root, const std::string& path, bool create) {
  // As on Windows NT: performance data holds no keys and dynamic data is gone.
  if (root == RegRoot::PerformanceData || root == RegRoot::DynData) return nullptr;
  std::shared_ptr<Key> key = t.roots[static_cast<int>(root)];
  std::vector<std::string> parts = SplitPath(path);
  if (parts.size() > kMaxDepth) return nullptr;
  for (const auto& part : parts) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      if (!create || !ValidKeyName(part)) return nullptr;
      it = key->subkeys.emplace(part, std::make_shared<Key>()).first;
    }
    key = it->second;
  }
  return key;
}

// Keys are at most kMaxDepth deep, so recursion over them is bounded.
void MarkDeleted(Key& key) {
  key.deleted = true;
  for (auto& [name, sub] : key.subkeys) MarkDeleted(*sub);
}

// ---- the file form ----

std::string Hex2(unsigned char c) {
  static const char digits[] = "0123456789abcdef";
  return {digits[c >> 4], digits[c & 15]};
}

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

bool Printable(const std::string& s) {
  for (unsigned char c : s)
    if (IsControl(c)) return false;
  return true;
}

// Regedit escapes only "\" and the quote. Strings with control characters are
// written in hex form instead; names cannot be, so their control characters
// are written as "\xHH", which regedit never writes (its "\" is always "\\").
std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (IsControl(u)) {
      out += "\\x" + Hex2(u);
      continue;
    }
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string HexList(const std::string& prefix, const std::string& bytes) {
  std::string out = prefix;
  size_t column = prefix.size();
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) {
      out += ',';
      ++column;
      if (column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
    out += Hex2(static_cast<unsigned char>(bytes[i]));
    column += 2;
  }
  return out;
}

std::string ValueText(const StoredValue& v) {
  if (v.type == kSz && Printable(v.bytes)) return Quote(v.bytes);
  if (v.type == kDword && v.bytes.size() == 4) {
    uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = d << 8 | static_cast<unsigned char>(v.bytes[i]);
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "dword:%08x", d);
    return buffer;
  }
  if (v.type == kBinary) return HexList("hex:", v.bytes);
  // Strings with control characters keep their bytes exactly in hex form.
  std::string bytes = v.bytes;
  if (v.type == kSz || v.type == kExpandSz) bytes += '\0';
  char kind[16];
  std::snprintf(kind, sizeof kind, "hex(%x):", v.type);
  return HexList(kind, bytes);
}

void WriteValues(std::string& out, const Key& key) {
  for (const auto& [name, value] : key.values)
    out += (name.empty() ? "@" : Quote(name)) + "=" + ValueText(value) + "\n";
}

void WriteKey(std::string& out, const std::string& path, const Key& key) {
  // A key with subkeys comes back through them; an empty one needs its own line.
  if (!key.values.empty() || key.subkeys.empty()) {
    out += "[" + path + "]\n";
    WriteValues(out, key);
    out += "\n";
  }
  for (const auto& [name, sub] : key.subkeys) WriteKey(out, path + "\\" + name, *sub);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseQuoted(const std::string& line, size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c == '\\') {
      if (++pos >= line.size()) return false;
      c = line[pos];
      if (c == 'x' && pos + 2 < line.size() && HexDigit(line[pos + 1]) >= 0 &&
          HexDigit(line[pos + 2]) >= 0) {
        c = static_cast<char>(HexDigit(line[pos + 1]) << 4 | HexDigit(line[pos + 2]));
        pos += 2;
      }
    }
    out += c;
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::string& out) {
  out.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos >= text.size()) break;
    if (pos + 1 >= text.size()) return false;
    int hi = HexDigit(text[pos]), lo = HexDigit(text[pos + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi << 4 | lo);
    pos += 2;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos < text.size()) {
      if (text[pos] != ',') return false;
      ++pos;
      while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
      if (pos >= text.size()) return false;  // a comma with no byte after it
    }
  }
  return true;
}

bool ParseValueData(const std::string& text, StoredValue& value) {
  if (!text.empty() && text[0] == '"') {
    size_t pos = 0;
    value.type = kSz;
    return ParseQuoted(text, pos, value.bytes) && pos == text.size();
  }
  if (text.rfind("dword:", 0) == 0) {
    std::string digits = text.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t d = 0;
    for (char c : digits) {
      int h = HexDigit(c);
      if (h < 0) return false;
      d = d << 4 | static_cast<uint32_t>(h);
    }
    value.type = kDword;
    value.bytes.assign(4, '\0');
    for (int i = 0; i < 4; ++i) value.bytes[i] = static_cast<char>(d >> (8 * i));
    return true;
  }
  if (text.rfind("hex", 0) != 0) return false;
  size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string kind = text.substr(3, colon - 3);
  value.type = kBinary;
  if (!kind.empty()) {
    if (kind.size() < 3 || kind.size() > 10 || kind.front() != '(' || kind.back() != ')')
      return false;
    value.type = 0;
    for (size_t i = 1; i + 1 < kind.size(); ++i) {
      int h = HexDigit(kind[i]);
      if (h < 0) return false;
      value.type = value.type * 16 + static_cast<uint32_t>(h);
    }
  }
  if (!ParseHexBytes(text.substr(colon + 1), value.bytes)) return false;
  if ((value.type == kSz || value.type == kExpandSz) && !value.bytes.empty() &&
      value.bytes.back() == '\0')
    value.bytes.pop_back();
  return true;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    pos = end + 1;
  }
  return lines;
}

bool Parse(const std::string& text, Tree& out, std::string& error) {
  std::vector<std::string> lines = SplitLines(text);
  size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  if (i >= lines.size() || lines[i] != "REGEDIT4") {
    error = "not a registry file: the first line is not REGEDIT4";
    return false;
  }
  std::shared_ptr<Key> key;
  for (++i; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        error = where + "unterminated key name";
        return false;
      }
      std::string path = line.substr(1, line.size() - 2);
      size_t cut = path.find('\\');
      std::string rootName = path.substr(0, cut);
      int root = -1;
      for (int r = 0; r < 7; ++r)
        if (strcasecmp(rootName.c_str(), kRootNames[r]) == 0) root = r;
      if (root < 0) {
        error = where + "unknown root key " + rootName;
        return false;
      }
      key = Find(out, static_cast<RegRoot>(root),
                 cut == std::string::npos ? "" : path.substr(cut + 1), true);
      if (!key) {
        error = where + "invalid key " + path;
        return false;
      }
      continue;
    }
    if (!key) {
      error = where + "value outside of a key";
      return false;
    }
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!ParseQuoted(line, pos, name) || name.size() > kMaxValueName) {
      error = where + "malformed value name";
      return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
      error = where + "missing '=' after the value name";
      return false;
    }
    std::string data = line.substr(pos + 1);
    // A hex list goes on over lines that end in "\".
    if (data.rfind("hex", 0) == 0) {
      while (!data.empty() && data.back() == '\\') {
        data.pop_back();
        if (++i >= lines.size()) {
          error = where + "hex list continues past the end of the file";
          return false;
        }
        size_t start = lines[i].find_first_not_of(" \t");
        if (start != std::string::npos) data += lines[i].substr(start);
      }
    }
    StoredValue value;
    if (!ParseValueData(data, value)) {
      error = where + "malformed value data";
      return false;
    }
    key->values[name] = value;
  }
  return true;
}

bool Store(Key& key, const std::string& name, uint32_t type, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (key.deleted || key.readOnly || name.size() > kMaxValueName) return false;
  StoredValue& v = key.values[name];
  v.type = type;
  v.bytes = bytes;
  return true;
}

}  // namespace

struct RegKey::Impl {
  std::shared_ptr<Key> key;
};

RegKey::RegKey() = default;
RegKey::~RegKey() = default;

bool RegKey::Open(RegRoot root, const std::string& path, bool create) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  Close();
  std::shared_ptr<Key> key = Find(tree, root, path, create);
  if (!key) return false;
  impl_ = std::make_unique<Impl>();
  impl_->key = key;
  return true;
}

void RegKey::Close() {
  impl_.reset();
}

bool RegKey::IsOpen() const {
  return impl_ != nullptr;
}

bool RegKey::ReadValue(const std::string& name, RegValue& value) const {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (!impl_ || impl_->key->deleted) return false;
  auto it = impl_->key->values.find(name);
  if (it == impl_->key->values.end()) return false;
  const StoredValue& v = it->second;
  value = RegValue();
  value.data = v.bytes;
  switch (v.type) {
    case kSz:
      value.type = RegType::String;
      break;
    case kExpandSz:
      value.type = RegType::ExpandString;
      break;
    case kBinary:
      value.type = RegType::Binary;
      break;
    case kMultiSz:
      value.type = RegType::MultiString;
      break;
    case kDword:
      value.type = RegType::DWord;
      for (size_t i = v.bytes.size() < 4 ? v.bytes.size() : 4; i-- > 0;)
        value.dword = value.dword << 8 | static_cast<unsigned char>(v.bytes[i]);
      break;
    default:
      value.type = RegType::Other;
      break;
  }
  return true;
}

bool RegKey::WriteString(const std::string& name, const std::string& text) {
  return impl_ && Store(*impl_->key, name, kSz, text);
}

bool RegKey::WriteExpandString(const std::string& name, const std::string& text) {
  return impl_ && Store(*impl_->key, name, kExpandSz, text);
}

bool RegKey::WriteDWord(const std::string& name, uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return impl_ && Store(*impl_->key, name, kDword, bytes);
}

bool RegKey::WriteBinary(const std::string& name, const std::string& bytes) {
  return impl_ && Store(*impl_->key, name, kBinary, bytes);
}

bool RegKey::DeleteValue(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (!impl_ || impl_->key->deleted) return false;
  return impl_->key->values.erase(name) > 0;
}

bool RegKey::ValueNames(std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  names.clear();
  if (!impl_ || impl_->key->deleted) return false;
  for (const auto& [name, value] : impl_->key->values) names.push_back(name);
  return true;
}

bool RegKey::SubKeyNames(std::vector<std::string>& names) const {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  names.clear();
  if (!impl_ || impl_->key->deleted) return false;
  for (const auto& [name, sub] : impl_->key->subkeys) names.push_back(name);
  return true;
}

bool RegKeyExists(RegRoot root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  return Find(tree, root, path, false) != nullptr;
}

bool RegDeleteKeyTree(RegRoot root, const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return false;  // a root key cannot be deleted
  std::string leaf = parts.back();
  parts.pop_back();
  std::shared_ptr<Key> parent = tree.roots[static_cast<int>(root)];
  for (const auto& part : parts) {
    auto it = parent->subkeys.find(part);
    if (it == parent->subkeys.end()) return false;
    parent = it->second;
  }
  auto it = parent->subkeys.find(leaf);
  if (it == parent->subkeys.end()) return false;
  MarkDeleted(*it->second);
  parent->subkeys.erase(it);
  return true;
}

namespace posix {

void SetRegistryKeyReadOnly(RegRoot root, const std::string& path, bool readOnly) {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  if (std::shared_ptr<Key> key = Find(tree, root, path, true)) key->readOnly = readOnly;
}

void ClearRegistry() {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  for (auto& r : tree.roots) MarkDeleted(*r);
  tree = Tree();
}

std::string RegistryToText() {
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  std::string out = "REGEDIT4\n\n";
  for (int r = 0; r < 7; ++r) {
    const Key& root = *tree.roots[r];
    if (!root.values.empty()) {  // values of the root key itself
      out += std::string("[") + kRootNames[r] + "]\n";
      WriteValues(out, root);
      out += "\n";
    }
    for (const auto& [name, sub] : root.subkeys)
      WriteKey(out, std::string(kRootNames[r]) + "\\" + name, *sub);
  }
  return out;
}

bool RegistryFromText(const std::string& text, std::string& error) {
  Tree parsed;
  if (!Parse(text, parsed, error)) return false;
  std::lock_guard<std::recursive_mutex> lock(treeMutex);
  for (auto& r : tree.roots) MarkDeleted(*r);
  tree = parsed;
  return true;
}

bool LoadRegistryFile(const std::string& nativePath, std::string& error) {
  FILE* f = std::fopen(nativePath.c_str(), "rb");
  if (!f) {
    error = "cannot open " + nativePath;
    return false;
  }
  std::string text;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  bool readError = std::ferror(f);
  std::fclose(f);
  if (readError) {
    error = "cannot read " + nativePath;
    return false;
  }
  if (!RegistryFromText(text, error)) {
    error = nativePath + ": " + error;
    return false;
  }
  return true;
}

bool SaveRegistryFile(const std::string& nativePath, std::string& error) {
  std::string text = RegistryToText();
  // A fresh temporary beside the target, so that the rename stays on one file
  // system and a failed save leaves the old file as it was.
  std::string temp = nativePath + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot create a temporary file beside " + nativePath + ": " + std::strerror(errno);
    return false;
  }
  fchmod(fd, 0644);
  int failure = 0;
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (!failure && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && !failure) failure = errno;
  if (!failure && std::rename(temp.c_str(), nativePath.c_str()) != 0) failure = errno;
  if (failure) {
    unlink(temp.c_str());
    error = "cannot write " + nativePath + ": " + std::strerror(failure);
    return false;
  }
  // The rename itself reaches the disk with the directory.
  size_t cut = nativePath.find_last_of('/');
  std::string dir = cut == std::string::npos ? "." : cut == 0 ? "/" : nativePath.substr(0, cut);
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

}  // namespace posix
}  // namespace platform
