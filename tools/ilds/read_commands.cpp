// list, extract and verify: the commands that read an archive.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "args.h"
#include "commands.h"
#include "progress.h"

namespace ilds {
namespace {

const char kListHelp[] =
    "usage: ilds list [--password P] ARCHIVE\n"
    "\n"
    "Lists the entries of ARCHIVE, one line each, fields separated by tabs:\n"
    "  name, stored size in bytes, \"encrypted\" or \"plain\", CRC-32 (8 hex digits; \"-\"\n"
    "  below format 3, which keeps none).\n"
    "Only entry headers are read, and they are never enciphered: --password is accepted so\n"
    "that one set of options serves every command, and changes nothing here.\n";

const char kExtractHelp[] =
    "usage: ilds extract [OPTIONS] ARCHIVE DESTDIR\n"
    "\n"
    "Extracts ARCHIVE into DESTDIR, creating it when missing.\n"
    "\n"
    "Options:\n"
    "  --password P     password of enciphered entries\n"
    "  --no-overwrite   leave existing files alone (see --keep)\n"
    "  --keep LIST      with --no-overwrite: only the existing files named in LIST stay,\n"
    "                   all others are replaced. LIST is \";name;name;\", names compared\n"
    "                   whole and without regard to case\n"
    "  --filter LIST    write only the entries named in LIST (\"name;name\")\n"
    "  --help           this text\n";

const char kVerifyHelp[] =
    "usage: ilds verify [--password P] ARCHIVE\n"
    "\n"
    "Decodes every entry of ARCHIVE and checks its CRC-32 (format 3), writing nothing. An\n"
    "archive without the end marker fails: it may have been cut at an entry boundary.\n";

// The reason on standard error for an extraction or verification that did not succeed.
std::string Reason(const archive::ExtractResult& result) {
  const std::string entry = result.FailedEntry.empty() ? "" : " (entry " + result.FailedEntry + ")";
  switch (result.End) {
    case archive::ExtractEnd::PasswordRequired:
      return "asPasswordRequired: an entry is enciphered and no password was given" + entry;
    case archive::ExtractEnd::DataError:
      return "asDataError: an entry did not decode (damaged data or a wrong password) or its "
             "name would land outside the destination" +
             entry;
    case archive::ExtractEnd::CannotOpenArchive:
      return "the archive could not be opened";
    case archive::ExtractEnd::TruncatedHeader:
      return "the archive ended inside an entry header" + entry;
    case archive::ExtractEnd::CannotCreateDestination:
      return "the destination folder could not be created";
    case archive::ExtractEnd::WriteError:
      return "writing a file failed" + entry;
    case archive::ExtractEnd::BadArguments:
      return "an empty archive or destination path";
    case archive::ExtractEnd::Complete:
    case archive::ExtractEnd::EndMarker:
      break;
  }
  if (result.Status == archive::asPasswordRequired) return "asPasswordRequired" + entry;
  if (result.Status == archive::asDataError) return "asDataError" + entry;
  return "the archive failed";
}

// Runs an extraction (or verification) with the progress line; exit status and reason.
int RunExtract(const char* command, const std::string& archivePath, const std::string& destDir,
               archive::ExtractOptions options) {
  ProgressLine progress(options.VerifyOnly ? "verifying" : "extracting");
  options.Progress = [&progress](uint64_t done, uint64_t total) { progress.Update(done, total); };
  const archive::ExtractResult result = archive::Extract(archivePath, destDir, options);
  progress.Finish();
  if (!result.Succeeded()) return Report(command, archivePath + ": " + Reason(result), kExitFailed);
  if (options.VerifyOnly && result.End != archive::ExtractEnd::EndMarker) {
    return Report(command,
                  archivePath +
                      ": no end marker: the archive may have been cut at an entry "
                      "boundary",
                  kExitFailed);
  }
  if (options.VerifyOnly) {
    std::printf("%s: format %" PRIu32 ", %" PRIu64 " %s, all good\n", archivePath.c_str(),
                result.Version, result.EntriesWritten,
                result.EntriesWritten == 1 ? "entry" : "entries");
  }
  return kExitOk;
}

}  // namespace

int List(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {{"password", true}});
  if (parsed.help) {
    std::fputs(kListHelp, stdout);
    return kExitOk;
  }
  if (!parsed.error.empty()) return UsageError("list", parsed.error);
  if (parsed.positional.size() != 1) return UsageError("list", "one archive is needed");
  const std::string& path = parsed.positional[0];
  uint32_t version = 0;
  std::vector<archive::EntryHeader> entries;
  archive::ExtractEnd end = archive::ExtractEnd::Complete;
  const bool read = archive::ListArchive(path, version, entries, end);
  for (const archive::EntryHeader& entry : entries) {
    char crc[16] = "-";
    if (version >= 3) std::snprintf(crc, sizeof crc, "%08" PRIX32, entry.CRC);
    std::printf("%s\t%" PRIu32 "\t%s\t%s\n", entry.Name.c_str(), entry.Size,
                entry.Encrypted ? "encrypted" : "plain", crc);
  }
  if (!read || (end != archive::ExtractEnd::Complete && end != archive::ExtractEnd::EndMarker)) {
    archive::ExtractResult failed;
    failed.End = end;
    return Report("list", path + ": " + Reason(failed), kExitFailed);
  }
  return kExitOk;
}

int Extract(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(
      args, {{"password", true}, {"no-overwrite", false}, {"keep", true}, {"filter", true}});
  if (parsed.help) {
    std::fputs(kExtractHelp, stdout);
    return kExitOk;
  }
  if (!parsed.error.empty()) return UsageError("extract", parsed.error);
  if (parsed.positional.size() != 2) {
    return UsageError("extract", "an archive and a destination folder are needed");
  }
  if (parsed.Has("keep") && !parsed.Has("no-overwrite")) {
    return UsageError("extract", "--keep has a meaning only with --no-overwrite");
  }
  archive::ExtractOptions options;
  options.Overwrite = !parsed.Has("no-overwrite");
  options.KeepList = parsed.Value("keep");
  options.FilterList = parsed.Value("filter");
  options.Password = parsed.Value("password");
  return RunExtract("extract", parsed.positional[0], parsed.positional[1], options);
}

int Verify(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {{"password", true}});
  if (parsed.help) {
    std::fputs(kVerifyHelp, stdout);
    return kExitOk;
  }
  if (!parsed.error.empty()) return UsageError("verify", parsed.error);
  if (parsed.positional.size() != 1) return UsageError("verify", "one archive is needed");
  archive::ExtractOptions options;
  options.Password = parsed.Value("password");
  options.VerifyOnly = true;
  return RunExtract("verify", parsed.positional[0], "", options);
}

}  // namespace ilds
