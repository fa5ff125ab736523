#include "engine/install_journal.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>

#include "archive/crc32.h"
#include "archive/entry_names.h"
#include "platform/clock.h"
#include "platform/folder_handle.h"
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
constexpr char kBegin[] = "begin";      // format, folder, run, from, to, then the top level's names
constexpr char kMove[] = "move";        // from, to
constexpr char kCreate[] = "create";    // path
constexpr char kCopy[] = "copy";        // path, its copy in the backup folder
constexpr char kKey[] = "key";          // root, path, "absent" or then rel, name, type, data...
constexpr char kValue[] = "value";      // root, key, name, old type, old data, new type, new data
constexpr char kService[] = "service";  // name, "absent" or its configuration
constexpr char kRunning[] = "running";  // module indexes
constexpr char kComServer[] = "com";    // library, "1" when it was registered before
constexpr char kDone[] = "done";        // the point of no return
constexpr char kRetire[] = "retire";    // a replaced folder aside, its successor: merged after done
constexpr char kUndone[] = "undone";    // the number of a note undone by a rollback
constexpr char kAbsent[] = "absent";
constexpr char kKeyOnly[] = "key";  // the type of an image entry that stands for a key
constexpr size_t kHeaderFields = 5;
constexpr char kValueName[] = "Version";

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
  const uint32_t attributes = platform::GetFileAttributes(bare);
  if (IsFolder(bare)) {
    support::DeleteDirectory(bare + "\\", "", true);
  } else if (attributes & platform::kAttrDirectory) {
    platform::RemoveDirectory(bare);  // a link to a folder: the link alone
  } else {
    if (!(attributes & platform::kAttrReparsePoint))
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

// Copies a file or a folder with everything in it. A link is not copied: what
// it points to is not the folder's.
bool CopyPath(const std::string& from, const std::string& to) {
  const std::string source = support::NormalizeDir(from, false),
                    target = support::NormalizeDir(to, false);
  if (!IsFolder(source)) {
    support::CreateDirectoryPath(Parent(target));
    return platform::CopyFile(source, target, false);
  }
  bool copied = true;
  std::string top;  // the source as the walk opened it
  const bool walked = support::WalkTree(
      source, "*.*",
      [&](const platform::FolderHandle& held, const std::vector<platform::DirEntry>& entries) {
        if (top.empty()) top = held.Path();
        const std::string into = support::NormalizeDir(target) + held.Path().substr(top.size());
        std::vector<std::string> subfolders;
        if (!support::CreateDirectoryPath(into)) {
          copied = false;
          return subfolders;
        }
        for (const platform::DirEntry& entry : entries) {
          if (entry.attributes & platform::kAttrReparsePoint) continue;
          if (entry.attributes & platform::kAttrDirectory)
            subfolders.push_back(entry.name);
          else
            copied &= platform::CopyFile(held.Path() + entry.name, into + entry.name, false);
        }
        return subfolders;
      });
  return walked && copied;
}

// A copy of a file or a folder at to, whole or not at all: made under a
// temporary name, checked, then renamed. False when it is not whole (a full
// disk); nothing is at to then, and what was copied waits in the backup
// folder with the rest.
bool SaveCopy(const std::string& from, const std::string& to) {
  const std::string part = support::NormalizeDir(to, false) + ".part";
  if (!CopyPath(from, part)) return false;
  if (!IsFolder(from)) {
    std::string original, copy;
    if (!support::ReadWholeFile(support::NormalizeDir(from, false), original) ||
        !support::ReadWholeFile(part, copy) || original != copy)
      return false;
  }
  return Rename(part, to);
}

// Whether path lies strictly below folder (ending in "\"): it begins with the
// folder, in any case, and what follows is a relative name by the entry-name
// rule (a trailing "\" aside). A prefix alone would take "C:\Orvik\..\x" as
// below "C:\Orvik\".
bool Inside(const std::string& path, const std::string& folder) {
  return !folder.empty() && path.size() > folder.size() &&
         support::SameText(std::string_view(path).substr(0, folder.size()), folder) &&
         archive::IsSafeEntryName(support::NormalizeDir(path.substr(folder.size()), false));
}

// Whether path is a full path: "X:\" or "\\" (a share) and then names by the
// entry-name rule.
bool IsFullPath(const std::string& path) {
  const bool drive = path.size() > 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                     path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  if (!drive && path.rfind("\\\\", 0) != 0) return false;
  return archive::IsSafeEntryName(support::NormalizeDir(path.substr(drive ? 3 : 2), false));
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

// A value as two note fields: its type and its data (a number as decimal
// digits, anything else as hex digits); "absent" and "" when there is none.
std::vector<std::string> ValueFields(const std::optional<platform::RegValue>& value) {
  if (!value) return {kAbsent, ""};
  return {std::to_string(static_cast<int>(value->type)), value->type == platform::RegType::DWord
                                                             ? std::to_string(value->dword)
                                                             : support::BytesToHex(value->data)};
}

std::optional<platform::RegValue> ReadValue(platform::RegRoot root, const std::string& path,
                                            const std::string& name) {
  platform::RegKey key;
  platform::RegValue value;
  if (!key.Open(root, path, false) || !key.ReadValue(name, value)) return std::nullopt;
  return value;
}

bool WriteValue(platform::RegKey& key, const std::string& name, const std::string& type,
                const std::string& data) {
  switch (static_cast<platform::RegType>(std::atoi(type.c_str()))) {
    case platform::RegType::String:
      return key.WriteString(name, Unhex(data));
    case platform::RegType::ExpandString:
      return key.WriteExpandString(name, Unhex(data));
    case platform::RegType::DWord:
      return key.WriteDWord(name, static_cast<uint32_t>(std::strtoul(data.c_str(), 0, 10)));
    default:
      return key.WriteBinary(name, Unhex(data));
  }
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
    const std::vector<std::string> typed = ValueFields(value);
    fields.insert(fields.end(), {sub, name, typed[0], typed[1]});
  }
  key.SubKeyNames(names);
  for (const std::string& name : names) ImageOf(root, path, Joined(sub, name), fields);
}

// Writes a deleted key back as it was; one that is there again was made by
// someone else since, and is kept as it is.
bool RestoreKey(platform::RegRoot root, const std::string& path,
                const std::vector<std::string>& fields) {
  if (platform::RegKeyExists(root, path)) {
    support::SetupLog(std::string("Rollback: kept registry key ") + RootName(root) + "\\" +
                      support::NormalizeDir(path, false) + ", made again since");
    return true;
  }
  bool restored = true;
  for (size_t i = 3; i + 3 < fields.size(); i += 4) {
    const std::string &sub = fields[i], &name = fields[i + 1], &type = fields[i + 2];
    platform::RegKey key;
    if (!key.Open(root, Joined(path, sub), true)) {
      restored = false;
      continue;
    }
    if (type != kKeyOnly) restored &= WriteValue(key, name, type, fields[i + 3]);
  }
  return restored;
}

// A value the run wrote or deleted gets back what it held, unless it holds
// neither that nor what the run gave it: someone changed it since, and the
// later value stays.
bool RestoreValue(const std::vector<std::string>& f) {
  const auto root = static_cast<platform::RegRoot>(std::atoi(f[0].c_str()));
  const std::string &path = f[1], &name = f[2];
  const std::vector<std::string> now = ValueFields(ReadValue(root, path, name)), old{f[3], f[4]},
                                 written{f[5], f[6]};
  const std::string where =
      std::string(RootName(root)) + "\\" + support::NormalizeDir(path, false) + "\\" + name;
  if (now == old) return true;
  if (now != written) {
    support::SetupLog("Rollback: kept the later value of " + where);
    return true;
  }
  support::SetupLog("Rollback: registry value " + where + " restored");
  platform::RegKey key;
  if (old[0] == kAbsent)
    return !key.Open(root, path, false) || key.DeleteValue(name) || !ReadValue(root, path, name);
  return key.Open(root, path, true) && WriteValue(key, name, old[0], old[1]);
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

// The folder of the setup log, never touched by a rollback: the log says what happened.
std::string LogFolderName() {
  const std::string log = setup::kSetupLogFile;
  return support::LowerCase(log.substr(0, log.find('\\')));
}

// What the undoing of one journal's notes knows and keeps.
struct UndoContext {
  const JournalHeader& header;
  unsigned kept = 0;  // entries moved into the kept folder
};

// The top level of the installation folder holds what it held when the run
// began, but for what the run's own notes name (undone before this one) and
// what came from elsewhere meanwhile: that stays, and the log says so.
bool UndoBegin(const UndoContext& context) {
  const JournalHeader& header = context.header;
  std::set<std::string> known{LogFolderName()};
  for (const std::string& own : {header.StagingDir(), header.BackupDir(), header.KeptDir()})
    known.insert(support::LowerCase(support::NameOfPath(support::NormalizeDir(own, false))));
  for (const std::string& name : header.topLevel) known.insert(support::LowerCase(name));
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(header.installDir + "*.*", entries);
  for (const platform::DirEntry& entry : entries)
    if (entry.name != "." && entry.name != ".." && !known.count(support::LowerCase(entry.name)))
      support::SetupLog("Rollback: left in place \"" + header.installDir + entry.name +
                        "\", which the run did not make");
  return true;
}

// What the run made at path goes. A file that cannot be deleted (a program
// running from it) is renamed into the backup folder instead, which goes with
// the run's other folders.
bool UndoCreate(const std::string& path, UndoContext& context) {
  if (!Exists(path)) return true;
  support::SetupLog("Rollback: deleted \"" + path + "\"");
  if (RemovePath(path)) return true;
  if (IsFolder(path)) return false;
  const std::string aside =
      context.header.BackupDir() + "undone-" + support::NameOfPath(path) + "-";
  for (int n = 1; n < 1000; ++n)
    if (!Exists(aside + std::to_string(n))) return Rename(path, aside + std::to_string(n));
  return false;
}

// What the run moved from from to to goes back. Whatever stands at from now
// came from elsewhere: it is kept, renamed into the kept folder.
bool UndoMove(const std::string& from, const std::string& to, UndoContext& context) {
  if (!Exists(to)) return true;  // not moved, or already back
  if (Exists(from)) {
    // A folder of its own for each: a rollback resumed later finds the earlier ones.
    while (Exists(context.header.KeptDir() + std::to_string(++context.kept))) continue;
    const std::string kept = context.header.KeptDir() + std::to_string(context.kept) + "\\" +
                             support::NameOfPath(support::NormalizeDir(from, false));
    if (!Rename(from, kept)) return false;
    support::SetupLog("Rollback: kept \"" + from + "\" as \"" + kept + "\"");
  }
  support::SetupLog("Rollback: moved back \"" + from + "\"");
  return Rename(to, from);
}

// The copy taken before path changed takes its place: renamed over it in the
// installation folder (no space needed), else copied beside it first.
bool UndoCopy(const std::string& path, const std::string& backup, const UndoContext& context) {
  if (!Exists(backup)) return true;
  support::SetupLog("Rollback: restored \"" + path + "\"");
  const std::string target = support::NormalizeDir(path, false);
  if (IsFolder(backup)) return RemovePath(path) && CopyPath(backup, path) && RemovePath(backup);
  if (Inside(path, context.header.installDir)) {
    platform::SetFileAttributes(target, platform::kAttrNormal);
    return platform::ReplaceFile(backup, target);
  }
  const std::string part = target + ".orvik-restore";
  return CopyPath(backup, part) && platform::ReplaceFile(part, target) && RemovePath(backup);
}

bool ValidRoot(const std::string& field) {
  return field.size() == 1 && field[0] >= '0' && field[0] <= '6';
}

bool UndoKey(const std::vector<std::string>& f) {
  if (!ValidRoot(f[0])) return false;
  const auto root = static_cast<platform::RegRoot>(std::atoi(f[0].c_str()));
  support::SetupLog(std::string("Rollback: registry key ") + RootName(root) + "\\" +
                    support::NormalizeDir(f[1], false) +
                    (f[2] == kAbsent ? " deleted" : " restored"));
  if (f[2] == kAbsent)
    return !platform::RegKeyExists(root, f[1]) || platform::RegDeleteKeyTree(root, f[1]);
  return (f.size() - 3) % 4 == 0 && RestoreKey(root, f[1], f);
}

// Whether a note undoes files; once an undo failed, no file is touched.
bool IsFileNote(const JournalRecord& record) {
  return record.kind == kBegin || record.kind == kCreate || record.kind == kMove ||
         record.kind == kCopy;
}

// Undoes one note; true when what it changed is as it was. A note of a kind
// this setup does not know, or with fields it does not expect, is never taken
// as undone.
bool Undo(const JournalRecord& record, UndoContext& context) {
  const std::vector<std::string>& f = record.fields;
  const std::string& kind = record.kind;
  if (kind == kBegin) return UndoBegin(context);
  if (kind == kCreate && f.size() == 1) return UndoCreate(f[0], context);
  if (kind == kMove && f.size() == 2) return UndoMove(f[0], f[1], context);
  if (kind == kCopy && f.size() == 2) return UndoCopy(f[0], f[1], context);
  if (kind == kKey && f.size() >= 3) return UndoKey(f);
  if (kind == kValue && f.size() == 7 && ValidRoot(f[0])) return RestoreValue(f);
  if (kind == kService && (f.size() == 2 ? f[1] == kAbsent : f.size() >= 7 && f.size() % 2 == 1)) {
    support::SetupLog("Rollback: service " + f[0] + (f[1] == kAbsent ? " deleted" : " restored"));
    return RestoreService(f);
  }
  if (kind == kComServer && f.size() == 2) {
    if (f[1] == "1" || !platform::FileExists(f[0])) return true;
    support::SetupLog("Rollback: COM server \"" + f[0] + "\" unregistered");
    return registration::UnregisterComServer(f[0]);
  }
  return (kind == kRunning) || (kind == kRetire && f.size() == 2);  // nothing to undo
}

// Moves what the replaced folder aside holds and its successor lacks into the
// successor: what arrived after the folders were read. What the successor has
// stays aside, for the backup folder's deletion. No recursion, whatever the
// tree's depth; no link entered. Each move is first told to noting, when given.
// False when something could not be moved.
bool MergeReplaced(const std::string& aside, const std::string& target,
                   const std::function<bool(const std::string&, const std::string&)>& noting) {
  bool merged = true;
  std::string top;  // the aside folder as the walk opened it
  support::WalkTree(
      aside, "*.*",
      [&](const platform::FolderHandle& held, const std::vector<platform::DirEntry>& entries) {
        if (top.empty()) top = held.Path();
        const std::string& from = held.Path();
        const std::string to = target + from.substr(top.size());
        std::vector<std::string> subfolders;
        for (const platform::DirEntry& entry : entries) {
          const uint32_t there = platform::GetFileAttributes(to + entry.name);
          const bool folder = (entry.attributes & platform::kAttrDirectory) &&
                              !(entry.attributes & platform::kAttrReparsePoint);
          if (there == platform::kInvalidAttributes) {
            if ((!noting || noting(from + entry.name, to + entry.name)) &&
                platform::MoveFile(from + entry.name, to + entry.name))
              continue;
            merged = false;
            support::SetupLog("Error: \"" + from + entry.name + "\" could not be moved to \"" + to +
                              entry.name + "\" - " +
                              platform::SystemErrorText(platform::LastError()));
          } else if (folder && IsFolder(to + entry.name)) {
            subfolders.push_back(entry.name);
          }
        }
        return subfolders;
      });
  return merged;
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

std::vector<JournalRecord> ReadJournal(const std::string& path) {
  std::string text;
  size_t valid = 0;
  support::ReadWholeFile(path, text);
  return ParseJournal(text, valid);
}

std::string JournalHeader::StagingDir() const {
  return installDir + "~orvik-staging-" + runId + "\\";
}

std::string JournalHeader::BackupDir() const {
  return installDir + "~orvik-backup-" + runId + "\\";
}

std::string JournalHeader::KeptDir() const {
  return installDir + "~orvik-kept-" + runId + "\\";
}

bool ReadHeader(const JournalRecord& begin, JournalHeader& header) {
  const std::vector<std::string>& f = begin.fields;
  if (begin.kind != kBegin || f.size() < kHeaderFields || f[0] != kJournalFormat || f[1].empty() ||
      f[1].back() != '\\' || f[2].empty() ||
      f[2].find_first_not_of("0123456789abcdef") != std::string::npos)
    return false;
  header.installDir = f[1];
  header.runId = f[2];
  header.fromVersion = f[3];
  header.toVersion = f[4];
  header.topLevel.assign(f.begin() + kHeaderFields, f.end());
  return true;
}

namespace {

std::string ProductKey() {
  return std::string(setup::kProductKeyArea) + "\\" + setup::kProductKeySection;
}

std::string RegisteredVersion() {
  platform::RegKey key;
  platform::RegValue value;
  if (!key.Open(platform::RegRoot::LocalMachine, ProductKey(), false) ||
      !key.ReadValue(kValueName, value))
    return "";
  return value.data;
}

// A run's identity: hex digits of the time, different from every run whose
// folders are in the installation folder.
std::string NewRunId(const std::string& installDir) {
  uint32_t seed =
      static_cast<uint32_t>(static_cast<uint64_t>(platform::Now() * 86400000.0)) ^ platform::Tick();
  for (;; ++seed) {
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(seed));
    JournalHeader header;
    header.installDir = installDir;
    header.runId = id;
    if (!Exists(header.StagingDir()) && !Exists(header.BackupDir()) && !Exists(header.KeptDir()))
      return id;
  }
}

// Why the journal's undoing may not go ahead on the machine as it is now;
// "" when it may. Checked only when there is something to undo.
std::string Misfit(const std::vector<JournalRecord>& records, JournalHeader& header) {
  if (records.empty() || !ReadHeader(records.front(), header))
    return "it is not a journal of this setup's format " + std::string(kJournalFormat);
  if (!support::DirExists(header.installDir))
    return "its installation folder \"" + header.installDir + "\" is not there";
  if (records.size() > 1 && !support::DirExists(header.BackupDir()))
    return "\"" + header.installDir + "\" is not the folder it changed: its backup folder \"" +
           header.BackupDir() + "\" is not there";
  const std::string registered = RegisteredVersion();
  if (registered != header.fromVersion && registered != header.toVersion)
    return "version " + registered + " was registered since; the run changed version \"" +
           header.fromVersion + "\" to " + header.toVersion;
  return "";
}

// Renames a journal that does not fit aside, beside itself; never deletes it.
std::string KeepAside(const std::string& path) {
  for (int n = 1; n < 1000; ++n) {
    const std::string kept = path + "." + std::to_string(n) + ".kept";
    if (platform::FileExists(kept)) continue;
    return platform::MoveFile(path, kept) ? kept : "";
  }
  return "";
}

}  // namespace

TInstallJournal::TInstallJournal(std::string path) : path_(std::move(path)) {}

TInstallJournal::~TInstallJournal() {
  if (Active()) platform::SetRegistryWatcher(nullptr);
}

std::string TInstallJournal::DefaultPath() {
  return support::GetWindowsDirectoryPath() + kJournalName;
}

bool TInstallJournal::Begin(const std::string& installDir) {
  installDir_ = support::NormalizeDir(installDir);
  records_ = backups_ = 0;
  finished_ = false;
  created_.clear();
  keys_.clear();
  services_.clear();
  header_ = JournalHeader();
  header_.installDir = installDir_;
  header_.runId = NewRunId(installDir_);
  header_.fromVersion = RegisteredVersion();
  header_.toVersion = setup::kProductVersion;
  if (!file_.Open(path_, platform::File::Mode::Create)) return false;
  JournalRecord begin{
      kBegin, {kJournalFormat, installDir_, header_.runId, header_.fromVersion, header_.toVersion}};
  std::vector<platform::DirEntry> entries;
  platform::ListDirectory(installDir_ + "*.*", entries);
  topLevel_.clear();
  for (const platform::DirEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    begin.fields.push_back(entry.name);
    topLevel_.insert(support::LowerCase(entry.name));
  }
  header_.topLevel.assign(begin.fields.begin() + kHeaderFields, begin.fields.end());
  // The backup folder also tells a later setup that the installation folder
  // is the one this journal changed.
  const std::string backup = support::NormalizeDir(BackupDir(), false);
  if (!Append(begin) || !support::CreateDirectoryPath(backup)) return false;
  platform::SetFileAttributes(backup, platform::kAttrHidden);
  platform::SetRegistryWatcher([this](const platform::RegistryChange& change) { Watch(change); });
  return true;
}

bool TInstallJournal::Append(const JournalRecord& record) {
  const std::string line = EncodeRecord(record);
  if (!file_.Write(line.data(), static_cast<int64_t>(line.size())) || !file_.Flush()) return false;
  HaltForTests(++records_);
  return true;
}

bool TInstallJournal::Inside(const std::string& path) const {
  return engine::Inside(path, installDir_);
}

bool TInstallJournal::Admit(const std::string& path, Scope scope) {
  const bool installation = scope == Scope::Installation;
  if (installation ? Inside(path) : IsFullPath(path)) return true;
  if (refused_.empty()) refused_ = path;
  support::SetupLog(
      "Error: Setup refused to change \"" + path + "\": " +
      (installation ? "it does not lie below \"" + installDir_ + "\"" : "it is not a full path"));
  return false;
}

bool TInstallJournal::NoteCreated(const std::string& path) {
  // The run's own folders go whole: what lies in them needs no note.
  const std::string folder = support::NormalizeDir(path);
  for (const std::string& own : {StagingDir(), BackupDir()})
    if (support::SameText(folder, own) || engine::Inside(path, own)) return true;
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
  return BackupDir() + std::to_string(++backups_);
}

bool TInstallJournal::Move(const std::string& from, const std::string& to) {
  if (!Active()) return Rename(from, to);
  if (!Admit(from, Scope::Installation) || !Admit(to, Scope::Installation)) return false;
  const std::string parent = Parent(to);
  if (!parent.empty() && !Exists(parent)) NoteCreated(parent);
  return Append({kMove, {support::NormalizeDir(from, false), support::NormalizeDir(to, false)}}) &&
         Rename(from, to);
}

bool TInstallJournal::Replacing(const std::string& path, Scope scope) {
  if (!Active()) return true;
  if (!Admit(path, scope)) return false;
  if (!Exists(path)) return NoteCreated(path);
  if (!Removing(path, scope)) return false;
  if (!Inside(path)) return true;  // its copy is put back over what the run writes
  // What the run puts there is its own: it goes before the original comes back.
  const std::string bare = support::NormalizeDir(path, false);
  created_.erase(support::LowerCase(bare));
  return Append({kCreate, {bare}});
}

bool TInstallJournal::Removing(const std::string& path, Scope scope) {
  if (!Active()) return true;
  if (!Admit(path, scope)) return false;
  if (!Exists(path)) return true;
  const std::string backup = NextBackup();
  if (Inside(path)) return Move(path, backup);
  return Append({kCopy, {support::NormalizeDir(path, false), backup}}) && SaveCopy(path, backup);
}

bool TInstallJournal::Preserving(const std::string& path, Scope scope) {
  if (Active() && !Admit(path, scope)) return false;
  if (!Active() || !Exists(path) || IsFolder(path)) return Replacing(path, scope);
  const std::string backup = NextBackup();
  return Append({kCopy, {support::NormalizeDir(path, false), backup}}) && SaveCopy(path, backup);
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
  if (Active() && Admit(library, Scope::Installation))
    Append({kComServer, {library, registeredBefore ? "1" : "0"}});
}

bool TInstallJournal::Saved(const std::string& name) const {
  for (const std::string& saved : keys_)
    if (name == saved || name.rfind(saved + "\\", 0) == 0) return true;
  return false;
}

void TInstallJournal::Watch(const platform::RegistryChange& change) {
  using Kind = platform::RegistryChange::Kind;
  // Every write is told: one below a key the run made or deleted costs no reading.
  if (Saved(KeyName(change.root, change.path))) return;
  if (change.kind != Kind::Value) {
    // Only a key that is made, or one that goes, changes as a whole.
    if (platform::RegKeyExists(change.root, change.path) == (change.kind == Kind::DeleteTree))
      SaveKey(change.root, change.path);
  } else {
    // Each write that changes the value, with what it held and what it gets:
    // a rollback then puts back only what still holds what the run wrote.
    const std::vector<std::string> held = ValueFields(
                                       ReadValue(change.root, change.path, change.name)),
                                   written = ValueFields(change.written);
    if (held == written) return;
    JournalRecord record{kValue,
                         {std::to_string(static_cast<int>(change.root)), change.path, change.name}};
    for (const std::vector<std::string>& typed : {held, written})
      record.fields.insert(record.fields.end(), typed.begin(), typed.end());
    Append(record);
  }
}

void TInstallJournal::SaveKey(platform::RegRoot root, const std::string& path) {
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
  finished_ = true;
  support::SetupLog("Point of no return: " + std::to_string(records_ - 2) +
                    " changes were journaled");
}

void TInstallJournal::Swapped(const std::string& aside, const std::string& target) {
  if (Active() && Admit(aside, Scope::Installation) && Admit(target, Scope::Installation))
    Append({kRetire, {aside, target}});
}

bool TInstallJournal::Retire(const std::string& aside, const std::string& target) {
  if (!file_.IsOpen()) return MergeReplaced(aside, target, nullptr);
  return MergeReplaced(aside, target, [this](const std::string& from, const std::string& to) {
    return Admit(from, Scope::Installation) && Admit(to, Scope::Installation) &&
           Append({kMove, {from, to}});
  });
}

bool TInstallJournal::CleanUp() {
  file_.Close();
  return CleanUpFile(path_);
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

namespace {

// Whether every note of a journal is undone (and so nothing is left to undo).
bool AllUndone(const std::vector<JournalRecord>& records) {
  std::set<size_t> undone;
  size_t notes = 0;
  for (const JournalRecord& record : records)
    if (record.kind == kUndone && record.fields.size() == 1)
      undone.insert(static_cast<size_t>(std::atol(record.fields[0].c_str())));
    else
      ++notes;
  for (size_t i = 0; i < notes; ++i)
    if (!undone.count(i)) return false;
  return true;
}

bool IsDone(const std::vector<JournalRecord>& records) {
  for (const JournalRecord& record : records)
    if (record.kind == kDone) return true;
  return false;
}

}  // namespace

bool TInstallJournal::Unfinished(const std::string& path) {
  std::string text;
  if (!support::ReadWholeFile(path, text) || text.empty()) return false;
  size_t valid = 0;
  const std::vector<JournalRecord> records = ParseJournal(text, valid);
  JournalHeader header;
  if (records.empty() || !ReadHeader(records.front(), header)) return true;  // not understood
  return !IsDone(records) && !AllUndone(records);
}

namespace {

// Has what is left of a folder deleted when Windows next starts: files first,
// then the folders, the deepest first. False when something cannot be.
bool DeleteAtRestart(const std::string& folder) {
  std::vector<std::string> folders;
  bool scheduled = true;
  support::WalkTree(
      folder, "*.*",
      [&](const platform::FolderHandle& held, const std::vector<platform::DirEntry>& entries) {
        folders.push_back(held.Path());
        std::vector<std::string> subfolders;
        for (const platform::DirEntry& entry : entries) {
          if ((entry.attributes & platform::kAttrDirectory) &&
              !(entry.attributes & platform::kAttrReparsePoint))
            subfolders.push_back(entry.name);
          else
            scheduled &= platform::DeleteAtRestart(held.Path() + entry.name);
        }
        return subfolders;
      });
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    scheduled &= platform::DeleteAtRestart(support::NormalizeDir(*it, false));
  return !folders.empty() && scheduled;
}

}  // namespace

bool TInstallJournal::CleanUpFile(const std::string& path) {
  const std::vector<JournalRecord> records = ReadJournal(path);
  JournalHeader header;
  if (records.empty() || !ReadHeader(records.front(), header)) return false;
  bool clean = true;
  for (const std::string& own : {header.StagingDir(), header.BackupDir()}) {
    if (!support::DirExists(own)) continue;
    support::DeleteDirectory(own, "", true);
    if (!support::DirExists(own)) continue;
    // What a running program holds (the setup program an uninstall runs from)
    // goes when Windows next starts.
    if (DeleteAtRestart(own)) {
      support::SetupLog("Removed when Windows next starts: \"" + own + "\"");
      continue;
    }
    clean = false;
    support::SetupLog("Error: Not removed: \"" + own + "\" - the next setup removes it");
  }
  return clean && platform::DeleteFile(path);
}

RollbackResult TInstallJournal::RollBackFile(const std::string& path) {
  RollbackResult result;
  std::string text;
  if (!support::ReadWholeFile(path, text)) return result;
  result.found = true;
  size_t valid = 0;
  const std::vector<JournalRecord> records = ParseJournal(text, valid);
  JournalHeader header;
  const bool understood = !records.empty() && ReadHeader(records.front(), header);
  result.installDir = header.installDir;
  if (understood && IsDone(records)) {
    // Past the point of no return: the run's merging is finished, not undone.
    for (const JournalRecord& record : records)
      if (record.kind == kRetire && record.fields.size() == 2 &&
          !MergeReplaced(record.fields[0], record.fields[1], nullptr))
        ++result.failed;
    if (result.failed == 0) CleanUpFile(path);
    return result;
  }
  if (understood && AllUndone(records)) {
    // Undone by an earlier setup that could not delete the run's folders.
    CleanUpFile(path);
    return result;
  }
  result.refused = text.empty() ? "" : Misfit(records, header);
  if (text.empty() || !result.refused.empty()) {
    if (text.empty()) {
      platform::DeleteFile(path);  // a kill before its first note: nothing was changed
      result.found = false;
      return result;
    }
    result.keptAs = KeepAside(path);
    support::SetupLog("Error: Setup did not apply the journal \"" + path + "\" (" + result.refused +
                      "); nothing was undone; it was kept as \"" + result.keptAs + "\"");
    return result;
  }
  std::set<size_t> undone;
  for (const JournalRecord& record : records) {
    if (record.kind == kUndone && record.fields.size() == 1)
      undone.insert(static_cast<size_t>(std::atol(record.fields[0].c_str())));
    if (record.kind == kRunning)
      for (const std::string& module : record.fields)
        result.running.push_back(std::atoi(module.c_str()));
  }
  // Undone notes follow the valid ones: a torn end is cut off first.
  if (valid < text.size()) support::ReplaceFileContent(path, text.substr(0, valid));
  platform::File file;
  bool noting = file.Open(path, platform::File::Mode::ReadWrite) && file.SeekToEnd();
  UndoContext context{header};
  bool filesHeld = false;  // an undo failed: no file is touched any more
  for (size_t i = records.size(); i-- > 0;) {
    const JournalRecord& record = records[i];
    if (undone.count(i) || record.kind == kUndone) continue;
    const std::vector<std::string>& f = record.fields;
    const std::string what = record.kind + (f.empty() ? "" : " \"" + f[0] + "\"");
    if (filesHeld && IsFileNote(record)) {
      ++result.failed;
      support::SetupLog("Rollback: not undone, kept for the next setup: " + what);
      continue;
    }
    if (!Undo(record, context)) {
      ++result.failed;
      filesHeld = true;
      support::SetupLog("Error: Rollback: cannot undo " + what + " - " +
                        platform::SystemErrorText(platform::LastError()));
      continue;
    }
    ++result.undone;
    const std::string line = EncodeRecord({kUndone, {std::to_string(i)}});
    noting = noting && file.Write(line.data(), static_cast<int64_t>(line.size())) && file.Flush();
    HaltForTests(records.size() + result.undone);
  }
  return result;
}

}  // namespace engine
