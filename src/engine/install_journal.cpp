#include "engine/install_journal.h"

#include <cstdio>
#include <cstdlib>
#include <set>

#include "archive/crc32.h"
#include "platform/services.h"
#include "platform/system.h"
#include "product/product.h"
#include "registration/com_registration.h"
#include "support/file_utils.h"
#include "support/log_writer.h"
#include "support/numbers.h"
#include "support/text_fields.h"

namespace engine {
namespace {

constexpr char kJournalName[] = "OrvikSetup.journal";
// For the tests of interrupted runs: the process ends at once, as if killed,
// right after the note of this number was flushed and before its change.
constexpr char kHaltVariable[] = "ORVIK_SETUP_HALT_AT";

// The kinds of note.
constexpr char kBegin[] = "begin";      // installation folder, then the names of its top level
constexpr char kMove[] = "move";        // from, to
constexpr char kCreate[] = "create";    // path
constexpr char kCopy[] = "copy";        // path, its copy in the backup folder
constexpr char kKey[] = "key";          // root, path, "absent" or then rel, name, type, data...
constexpr char kService[] = "service";  // name, "absent" or its configuration
constexpr char kRunning[] = "running";  // module indexes
constexpr char kComServer[] = "com";    // library, "1" when it was registered before
constexpr char kDone[] = "done";        // the point of no return
constexpr char kUndone[] = "undone";    // the number of a note undone by a rollback
constexpr char kAbsent[] = "absent";
constexpr char kKeyOnly[] = "key";  // the type of an image entry that stands for a key

// Ends the process as a kill would when the journal holds `lines` notes and
// the tests asked for it.
void HaltForTests(size_t lines) {
  const size_t haltAt =
      static_cast<size_t>(std::atol(platform::GetEnvironment(kHaltVariable).c_str()));
  if (haltAt != 0 && lines == haltAt) std::_Exit(9);
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
  }
  return out;
}

// The bytes of support::BytesToHex's digits.
std::string Unhex(const std::string& text) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(support::HexDigitValue(text[i]) * 16 +
                             support::HexDigitValue(text[i + 1]));
  return out;
}

bool Exists(const std::string& path) {
  return platform::GetFileAttributes(support::NormalizeDir(path, false)) !=
         platform::kInvalidAttributes;
}

bool IsFolder(const std::string& path) {
  const uint32_t attributes = platform::GetFileAttributes(support::NormalizeDir(path, false));
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) &&
         !(attributes & platform::kAttrReparsePoint);
}

std::string Parent(const std::string& path) {
  return support::FolderOfPath(support::NormalizeDir(path, false));
}

// Deletes a file or a folder with everything in it; true when it is gone.
bool RemovePath(const std::string& path) {
  const std::string bare = support::NormalizeDir(path, false);
  if (!Exists(bare)) return true;
  if (IsFolder(bare)) {
    support::DeleteDirectory(bare + "\\", "", true);
  } else {
    platform::SetFileAttributes(bare, platform::kAttrNormal);
    platform::DeleteFile(bare);
  }
  return !Exists(bare);
}

bool Rename(const std::string& from, const std::string& to) {
  const std::string target = support::NormalizeDir(to, false);
  support::CreateDirectoryPath(Parent(target));
  return platform::MoveFile(support::NormalizeDir(from, false), target);
}

// Copies a file or a folder with everything in it.
bool CopyPath(const std::string& from, const std::string& to) {
  const std::string source = support::NormalizeDir(from, false),
                    target = support::NormalizeDir(to, false);
  if (!IsFolder(source)) {
    support::CreateDirectoryPath(Parent(target));
    return platform::CopyFile(source, target, false);
  }
  if (!support::CreateDirectoryPath(target)) return false;
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(source + "\\*.*", entries);
  bool copied = true;
  for (const platform::DirEntry& entry : entries)
    if (entry.name != "." && entry.name != "..")
      copied &= CopyPath(source + "\\" + entry.name, target + "\\" + entry.name);
  return copied;
}

std::string KeyName(platform::RegRoot root, const std::string& path) {
  size_t begin = path.find_first_not_of('\\');
  std::string bare = begin == std::string::npos ? "" : path.substr(begin);
  while (!bare.empty() && bare.back() == '\\') bare.pop_back();
  return std::to_string(static_cast<int>(root)) + ":" + support::LowerCase(bare);
}

const char* RootName(platform::RegRoot root) {
  static const char* const names[] = {
      "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
      "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
  return names[static_cast<int>(root)];
}

std::string Joined(const std::string& path, const std::string& sub) {
  return sub.empty() ? path : support::NormalizeDir(path, false) + "\\" + sub;
}

// The key with everything below it: a key entry for each key, a value entry
// for each value.
void ImageOf(platform::RegRoot root, const std::string& path, const std::string& sub,
             std::vector<std::string>& fields) {
  platform::RegKey key;
  if (!key.Open(root, Joined(path, sub), false)) return;
  fields.insert(fields.end(), {sub, "", kKeyOnly, ""});
  std::vector<std::string> names;
  key.ValueNames(names);
  for (const std::string& name : names) {
    platform::RegValue value;
    if (!key.ReadValue(name, value)) continue;
    std::string data = value.type == platform::RegType::DWord ? std::to_string(value.dword)
                                                              : support::BytesToHex(value.data);
    fields.insert(fields.end(), {sub, name, std::to_string(static_cast<int>(value.type)), data});
  }
  key.SubKeyNames(names);
  for (const std::string& name : names) ImageOf(root, path, Joined(sub, name), fields);
}

bool RestoreKey(platform::RegRoot root, const std::string& path,
                const std::vector<std::string>& fields) {
  if (platform::RegKeyExists(root, path)) platform::RegDeleteKeyTree(root, path);
  bool restored = !platform::RegKeyExists(root, path);
  for (size_t i = 3; i + 3 < fields.size(); i += 4) {
    const std::string &sub = fields[i], &name = fields[i + 1], &type = fields[i + 2],
                      &data = fields[i + 3];
    platform::RegKey key;
    if (!key.Open(root, Joined(path, sub), true)) {
      restored = false;
      continue;
    }
    if (type == kKeyOnly) continue;
    switch (static_cast<platform::RegType>(std::atoi(type.c_str()))) {
      case platform::RegType::String:
        restored &= key.WriteString(name, Unhex(data));
        break;
      case platform::RegType::ExpandString:
        restored &= key.WriteExpandString(name, Unhex(data));
        break;
      case platform::RegType::DWord:
        restored &= key.WriteDWord(name, static_cast<uint32_t>(std::strtoul(data.c_str(), 0, 10)));
        break;
      default:
        restored &= key.WriteBinary(name, Unhex(data));
    }
  }
  return restored;
}

bool RestoreService(const std::vector<std::string>& fields) {
  const std::string& name = fields[0];
  if (fields[1] == kAbsent) {
    platform::StopService(name);
    const uint32_t error = platform::DeleteService(name);
    return error == 0 || error == platform::kErrorServiceDoesNotExist ||
           error == platform::kErrorServiceMarkedForDelete;
  }
  if (fields.size() < 7) return false;
  const uint32_t startType = static_cast<uint32_t>(std::atoi(fields[1].c_str()));
  const std::string &binaryPath = fields[2], &displayName = fields[3];
  platform::ServiceConfig config;
  if (platform::QueryServiceConfig(name, config) != 0 &&
      platform::CreateService({name, displayName, binaryPath}) != 0)
    return false;
  platform::FailureActions actions;
  actions.ResetPeriod = static_cast<uint32_t>(std::atoi(fields[4].c_str()));
  actions.RebootMessage = fields[5];
  actions.Command = fields[6];
  for (size_t i = 7; i + 1 < fields.size(); i += 2)
    actions.Actions.push_back({static_cast<uint32_t>(std::atoi(fields[i].c_str())),
                               static_cast<uint32_t>(std::atoi(fields[i + 1].c_str()))});
  bool restored = platform::ChangeServiceBinaryPath(name, binaryPath) == 0 &&
                  platform::ChangeServiceStartType(name, startType) == 0;
  const uint32_t error = platform::SetServiceFailureActions(name, actions);
  return restored && (error == 0 || error == platform::kErrorCallNotImplemented);
}

// The folder of the setup log, never deleted by a rollback: the log says what happened.
std::string LogFolderName() {
  const std::string log = setup::kSetupLogFile;
  return support::LowerCase(log.substr(0, log.find('\\')));
}

// Deletes what the top level of the installation folder holds now and did not
// hold when the run began, but the setup log's folder and setup's own.
bool RestoreTopLevel(const JournalRecord& record, std::vector<std::string>& removed) {
  const std::string& dir = record.fields[0];
  std::set<std::string> kept{LogFolderName()};
  for (const char* own : {kBackupFolder, kStagingFolder})
    kept.insert(support::LowerCase(support::NormalizeDir(own, false)));
  for (size_t i = 1; i < record.fields.size(); ++i)
    kept.insert(support::LowerCase(record.fields[i]));
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(dir + "*.*", entries);
  bool restored = true;
  for (const platform::DirEntry& entry : entries) {
    if (entry.name == "." || entry.name == ".." || kept.count(support::LowerCase(entry.name)))
      continue;
    if (RemovePath(dir + entry.name))
      removed.push_back(dir + entry.name);
    else
      restored = false;
  }
  return restored;
}

// Undoes one note; true when what it changed is as it was.
bool Undo(const JournalRecord& record) {
  const std::vector<std::string>& f = record.fields;
  if (record.kind == kBegin && !f.empty()) {
    std::vector<std::string> removed;
    const bool restored = RestoreTopLevel(record, removed);
    for (const std::string& path : removed) support::SetupLog("Rollback: deleted \"" + path + "\"");
    return restored;
  }
  if (record.kind == kCreate && f.size() == 1) {
    if (!Exists(f[0])) return true;
    support::SetupLog("Rollback: deleted \"" + f[0] + "\"");
    return RemovePath(f[0]);
  }
  if (record.kind == kMove && f.size() == 2) {
    if (!Exists(f[1])) return true;  // not moved, or already back
    support::SetupLog("Rollback: moved back \"" + f[0] + "\"");
    return RemovePath(f[0]) && Rename(f[1], f[0]);
  }
  if (record.kind == kCopy && f.size() == 2) {
    if (!Exists(f[1])) return true;
    support::SetupLog("Rollback: restored \"" + f[0] + "\"");
    return RemovePath(f[0]) && CopyPath(f[1], f[0]);
  }
  if (record.kind == kKey && f.size() >= 3) {
    const auto root = static_cast<platform::RegRoot>(std::atoi(f[0].c_str()));
    support::SetupLog(std::string("Rollback: registry key ") + RootName(root) + "\\" +
                      support::NormalizeDir(f[1], false) +
                      (f[2] == kAbsent ? " deleted" : " restored"));
    if (f[2] == kAbsent)
      return !platform::RegKeyExists(root, f[1]) || platform::RegDeleteKeyTree(root, f[1]);
    return RestoreKey(root, f[1], f);
  }
  if (record.kind == kService && f.size() >= 2) {
    support::SetupLog("Rollback: service " + f[0] + (f[1] == kAbsent ? " deleted" : " restored"));
    return RestoreService(f);
  }
  if (record.kind == kComServer && f.size() == 2) {
    if (f[1] == "1" || !platform::FileExists(f[0])) return true;
    support::SetupLog("Rollback: COM server \"" + f[0] + "\" unregistered");
    return registration::UnregisterComServer(f[0]);
  }
  return true;  // running, done, undone: nothing to undo
}

}  // namespace

std::string EncodeRecord(const JournalRecord& record) {
  std::string line = Escape(record.kind);
  for (const std::string& field : record.fields) line.append(1, '\t').append(Escape(field));
  char check[16];
  std::snprintf(check, sizeof check, "\t%08x", static_cast<unsigned>(archive::StringCRC32(line)));
  return line + check + "\r\n";
}

bool DecodeRecord(const std::string& line, JournalRecord& record) {
  const size_t tab = line.rfind('\t');
  if (tab == std::string::npos || line.size() - tab != 9) return false;
  char check[16];
  std::snprintf(check, sizeof check, "%08x",
                static_cast<unsigned>(archive::StringCRC32(std::string_view(line).substr(0, tab))));
  if (line.compare(tab + 1, 8, check) != 0) return false;
  record = JournalRecord();
  size_t start = 0;
  for (bool first = true;; first = false) {
    const size_t end = line.find('\t', start);
    const std::string field = Unescape(line.substr(start, end - start));
    if (first)
      record.kind = field;
    else
      record.fields.push_back(field);
    if (end == tab) break;
    start = end + 1;
  }
  return true;
}

namespace {

// The notes of a journal's text up to the first torn or damaged one; valid is
// the length of the text they take.
std::vector<JournalRecord> ParseJournal(const std::string& text, size_t& valid) {
  std::vector<JournalRecord> records;
  valid = 0;
  for (size_t end; (end = text.find("\r\n", valid)) != std::string::npos; valid = end + 2) {
    JournalRecord record;
    if (!DecodeRecord(text.substr(valid, end - valid), record)) break;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

std::vector<JournalRecord> ReadJournal(const std::string& path) {
  std::string text;
  size_t valid = 0;
  support::ReadWholeFile(path, text);
  return ParseJournal(text, valid);
}

TInstallJournal::TInstallJournal(std::string path) : path_(std::move(path)) {}

TInstallJournal::~TInstallJournal() {
  if (Active()) platform::SetRegistryWatcher(nullptr);
}

std::string TInstallJournal::DefaultPath() {
  return support::GetWindowsDirectoryPath() + kJournalName;
}

bool TInstallJournal::Begin(const std::string& installDir) {
  installDir_ = support::NormalizeDir(installDir);
  backupDir_ = installDir_ + kBackupFolder;
  records_ = backups_ = 0;
  created_.clear();
  keys_.clear();
  services_.clear();
  if (!file_.Open(path_, platform::File::Mode::Create)) return false;
  JournalRecord begin{kBegin, {installDir_}};
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(installDir_ + "*.*", entries);
  topLevel_.clear();
  for (const platform::DirEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    begin.fields.push_back(entry.name);
    topLevel_.insert(support::LowerCase(entry.name));
  }
  if (!Append(begin)) return false;
  platform::SetRegistryWatcher(
      [this](platform::RegRoot root, const std::string& key) { SaveKey(root, key); });
  return true;
}

bool TInstallJournal::Append(const JournalRecord& record) {
  const std::string line = EncodeRecord(record);
  if (!file_.Write(line.data(), static_cast<int64_t>(line.size())) || !file_.Flush()) return false;
  HaltForTests(++records_);
  return true;
}

bool TInstallJournal::Inside(const std::string& path) const {
  return support::LowerCase(path).rfind(support::LowerCase(installDir_), 0) == 0;
}

bool TInstallJournal::NoteCreated(const std::string& path) {
  // What lies below a top-level entry the installation folder did not have
  // goes with it: the first note says which it had.
  if (Inside(path)) {
    const std::string below = path.substr(installDir_.size());
    if (!topLevel_.count(support::LowerCase(below.substr(0, below.find('\\'))))) return true;
  }
  std::string outermost = support::NormalizeDir(path, false);
  for (std::string parent = Parent(outermost);
       !parent.empty() && parent.size() < outermost.size() && !Exists(parent);
       parent = Parent(outermost))
    outermost = support::NormalizeDir(parent, false);
  const std::string lower = support::LowerCase(outermost);
  for (const std::string& made : created_)
    if (lower == made || lower.rfind(made + "\\", 0) == 0) return true;
  created_.insert(lower);
  return Append({kCreate, {outermost}});
}

std::string TInstallJournal::NextBackup() {
  if (!support::DirExists(backupDir_)) {
    support::CreateDirectoryPath(backupDir_);
    platform::SetFileAttributes(support::NormalizeDir(backupDir_, false), platform::kAttrHidden);
  }
  return backupDir_ + std::to_string(++backups_);
}

bool TInstallJournal::Move(const std::string& from, const std::string& to) {
  if (!Active()) return Rename(from, to);
  const std::string parent = Parent(to);
  if (!parent.empty() && !Exists(parent)) NoteCreated(parent);
  return Append({kMove, {support::NormalizeDir(from, false), support::NormalizeDir(to, false)}}) &&
         Rename(from, to);
}

bool TInstallJournal::Replacing(const std::string& path) {
  if (!Active()) return true;
  if (!Exists(path)) return NoteCreated(path);
  const std::string backup = NextBackup();
  if (Inside(path)) return Move(path, backup);
  return Append({kCopy, {support::NormalizeDir(path, false), backup}}) && CopyPath(path, backup);
}

bool TInstallJournal::Preserving(const std::string& path) {
  if (!Active() || !Exists(path) || !Inside(path)) return Replacing(path);
  const std::string backup = NextBackup();
  return Move(path, backup) && platform::CopyFile(backup, path, false);
}

void TInstallJournal::SavingService(const std::string& name) {
  if (!Active() || !services_.insert(support::LowerCase(name)).second) return;
  platform::ServiceConfig config;
  if (platform::QueryServiceConfig(name, config) != 0) {
    Append({kService, {name, kAbsent}});
    return;
  }
  platform::FailureActions actions;
  platform::QueryServiceFailureActions(name, actions);
  JournalRecord record{
      kService,
      {name, std::to_string(config.StartType), config.BinaryPath, config.DisplayName,
       std::to_string(actions.ResetPeriod), actions.RebootMessage, actions.Command}};
  for (const platform::ServiceAction& action : actions.Actions) {
    record.fields.push_back(std::to_string(action.Type));
    record.fields.push_back(std::to_string(action.Delay));
  }
  Append(record);
}

void TInstallJournal::Running(const std::vector<int>& modules) {
  if (!Active()) return;
  JournalRecord record{kRunning, {}};
  for (int module : modules) record.fields.push_back(std::to_string(module));
  Append(record);
}

void TInstallJournal::RegisteringComServer(const std::string& library, bool registeredBefore) {
  if (Active()) Append({kComServer, {library, registeredBefore ? "1" : "0"}});
}

bool TInstallJournal::Saved(const std::string& name) const {
  for (const std::string& saved : keys_)
    if (name == saved || name.rfind(saved + "\\", 0) == 0) return true;
  return false;
}

void TInstallJournal::SaveKey(platform::RegRoot root, const std::string& path) {
  // Every write is told: one below a saved key costs no reading.
  if (Saved(KeyName(root, path))) return;
  std::string key = path;
  while (!key.empty() && key.back() == '\\') key.pop_back();
  // A key that does not exist yet is the run's from its outermost missing parent on.
  for (std::string parent = support::FolderOfPath(key);
       !platform::RegKeyExists(root, key) && parent.find_first_not_of('\\') != std::string::npos &&
       !platform::RegKeyExists(root, parent);
       parent = support::FolderOfPath(key)) {
    key = parent;
    while (!key.empty() && key.back() == '\\') key.pop_back();
  }
  const std::string name = KeyName(root, key);
  if (Saved(name)) return;
  keys_.insert(name);
  JournalRecord record{kKey, {std::to_string(static_cast<int>(root)), key}};
  if (!platform::RegKeyExists(root, key)) {
    record.fields.push_back(kAbsent);
  } else {
    record.fields.push_back("image");
    ImageOf(root, key, "", record.fields);
  }
  Append(record);
}

void TInstallJournal::Finish() {
  if (!Active()) return;
  platform::SetRegistryWatcher(nullptr);
  Append({kDone, {}});
  file_.Close();
  support::SetupLog("Point of no return: " + std::to_string(records_ - 2) +
                    " changes were journaled");
}

void TInstallJournal::RemoveBackups() {
  if (backupDir_.empty()) return;
  support::DeleteDirectory(backupDir_, "", true);
  platform::DeleteFile(path_);
}

RollbackResult TInstallJournal::RollBack() {
  if (Active()) platform::SetRegistryWatcher(nullptr);
  file_.Close();
  return RollBackFile(path_);
}

bool TInstallJournal::StoppedModules() const {
  for (const JournalRecord& record : ReadJournal(path_))
    if (record.kind == kRunning) return true;
  return false;
}

bool TInstallJournal::Unfinished(const std::string& path) {
  const std::vector<JournalRecord> records = ReadJournal(path);
  return !records.empty() && records.back().kind != kDone;
}

RollbackResult TInstallJournal::RollBackFile(const std::string& path) {
  RollbackResult result;
  std::string text;
  size_t valid = 0;
  support::ReadWholeFile(path, text);
  const std::vector<JournalRecord> records = ParseJournal(text, valid);
  if (records.empty() || records.front().kind != kBegin || records.front().fields.empty()) {
    platform::DeleteFile(path);
    return result;
  }
  result.found = true;
  result.installDir = records.front().fields[0];
  bool done = false;
  std::set<size_t> undone;
  for (const JournalRecord& record : records) {
    done |= record.kind == kDone;
    if (record.kind == kUndone && !record.fields.empty())
      undone.insert(static_cast<size_t>(std::atol(record.fields[0].c_str())));
    if (record.kind == kRunning)
      for (const std::string& module : record.fields)
        result.running.push_back(std::atoi(module.c_str()));
  }
  if (done) result.running.clear();
  // Undone notes follow the valid ones: a torn end is cut off first.
  if (valid < text.size()) support::ReplaceFileContent(path, text.substr(0, valid));
  platform::File file;
  bool noting = file.Open(path, platform::File::Mode::ReadWrite) && file.SeekToEnd();
  for (size_t i = records.size(); !done && i-- > 0;) {
    if (undone.count(i) || records[i].kind == kUndone) continue;
    if (!Undo(records[i])) {
      ++result.failed;
      const std::vector<std::string>& f = records[i].fields;
      support::SetupLog("Error: Rollback: cannot undo " + records[i].kind +
                        (f.empty() ? "" : " \"" + f[0] + "\"") + " - " +
                        platform::SystemErrorText(platform::LastError()));
      continue;
    }
    ++result.undone;
    const std::string line = EncodeRecord({kUndone, {std::to_string(i)}});
    noting = noting && file.Write(line.data(), static_cast<int64_t>(line.size())) && file.Flush();
    HaltForTests(records.size() + result.undone);
  }
  file.Close();
  if (result.failed == 0) {
    support::DeleteDirectory(result.installDir + kBackupFolder, "", true);
    platform::DeleteFile(path);
  }
  return result;
}

}  // namespace engine
