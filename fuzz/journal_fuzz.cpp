// The install journal on any bytes. The decoder reads them as they are; then
// the input's lines become notes with good checks after a first note that fits
// an installation made here (a torn last line stays torn), so that the undoing
// itself meets torn, damaged and hostile notes. It must end, never touch a file
// that no note names, and a second pass after a complete one finds nothing left.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/install_journal.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "simulator/simulator.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace {

const std::string kInstall = "C:\\Orvik\\";
const std::string kJournal = "C:\\journal";
const std::string kMine = kInstall + "mine\\keep.txt";  // the administrator's

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "journal_fuzz: %s\n", what);
  std::abort();
}

bool Put(const std::string& path, const std::string& content) {
  platform::File file;
  return support::CreateFileDirectory(path) && file.Open(path, platform::File::Mode::Create) &&
         file.Write(content.data(), static_cast<int64_t>(content.size()));
}

std::string Read(const std::string& path) {
  std::string text;
  support::ReadWholeFile(path, text);
  return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Whether a note field names the administrator's file or a folder above it.
bool Names(const std::string& field) {
  const std::string name = support::LowerCase(support::NormalizeDir(field, false));
  const std::string mine = support::LowerCase(kMine);
  return !name.empty() && (mine == name || mine.rfind(name + "\\", 0) == 0 || name.size() < 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Waits for services to stop take no time.
  static platform::VirtualClock clock;
  platform::InstallClock(&clock);
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t valid = 0;
  std::string again;
  for (const engine::JournalRecord& record : engine::ParseJournal(input, valid))
    again += engine::EncodeRecord(record);
  Check(valid <= input.size() && again == input.substr(0, valid), "notes do not read back");

  support::DeleteDirectory(kInstall, "", true);
  for (const std::string& path : {kJournal, kJournal + ".1.kept"}) platform::DeleteFile(path);
  simulator::ClearRegistry();
  simulator::ClearModuleStandins();
  engine::JournalHeader header;
  const engine::JournalRecord begin{
      "begin", {engine::kJournalFormat, kInstall, "0123abcd", "", "8.9.1", "a.txt", "doc", "mine"}};
  engine::ReadHeader(begin, header);
  Check(Put(kInstall + "a.txt", "a") && Put(kInstall + "doc\\d.txt", "d") && Put(kMine, "mine") &&
            support::CreateDirectoryPath(header.BackupDir()),
        "cannot make the installation");
  std::string text = engine::EncodeRecord(begin);
  bool named = false;
  const std::vector<std::string> lines = Split(input, '\n');
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> fields = Split(lines[i], '\t');
    for (const std::string& field : fields) named |= Names(field);
    if (i + 1 == lines.size()) {
      text += lines[i];  // torn
      break;
    }
    const engine::JournalRecord record{fields[0], {fields.begin() + 1, fields.end()}};
    text += engine::EncodeRecord(record);
  }
  Check(Put(kJournal, text), "cannot write the journal");

  engine::TInstallJournal::Unfinished(kJournal);
  const engine::RollbackResult first = engine::TInstallJournal::RollBackFile(kJournal);
  if (first.failed == 0 && first.refused.empty()) {
    Check(engine::TInstallJournal::RollBackFile(kJournal).undone == 0, "undone twice");
    engine::TInstallJournal::CleanUpFile(kJournal);
  }
  Check(named || Read(kMine) == "mine", "a file no note names was touched");
  return 0;
}
