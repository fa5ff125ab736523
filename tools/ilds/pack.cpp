#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "archive/pack_sources.h"
#include "args.h"
#include "commands.h"
#include "platform/files.h"
#include "progress.h"
#include "support/text_fields.h"

namespace ilds {
namespace {

const char kHelp[] =
    "usage: ilds pack [OPTIONS] ARCHIVE SOURCE...\n"
    "\n"
    "Packs files and folders into ARCHIVE. The files below a folder are named by their path\n"
    "relative to it, with \"\\\" between folders; a file given itself keeps its own name.\n"
    "Entries are sorted folder by folder, names without regard to case. Empty folders are not\n"
    "kept (the archive has no folder entries); linked folders are not followed. The archive\n"
    "always ends with the end marker.\n"
    "\n"
    "Options:\n"
    "  --format 0|2|3   archive format (default 3). 0 has no preamble and 256-byte name\n"
    "                   fields; 2 has length-prefixed names; 3 adds a CRC-32 per entry and\n"
    "                   allows encipherment\n"
    "  --password P     encipher every entry with CAST-256 keyed from P (format 3 only)\n"
    "  --level L        none, fastest, default (the default) or best\n"
    "  --threads N      compressing threads (default: one per processor)\n"
    "  --help           this text\n";

bool ParseLevel(const std::string& text, archive::CompressionLevel& level) {
  if (text == "none") {
    level = archive::clNone;
  } else if (text == "fastest") {
    level = archive::clFastest;
  } else if (text == "default") {
    level = archive::clDefault;
  } else if (text == "best") {
    level = archive::clBest;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int Pack(const std::vector<std::string>& args) {
  const ParsedArgs parsed =
      ParseArgs(args, {{"format", true}, {"password", true}, {"level", true}, {"threads", true}});
  if (parsed.help) {
    std::fputs(kHelp, stdout);
    return kExitOk;
  }
  if (!parsed.error.empty()) return UsageError("pack", parsed.error);
  if (parsed.positional.size() < 2) return UsageError("pack", "an archive and a source are needed");

  archive::PackOptions options;
  const std::string format = parsed.Value("format", "3");
  if (format != "0" && format != "2" && format != "3") {
    return UsageError("pack", "--format must be 0, 2 or 3");
  }
  options.Format = static_cast<uint32_t>(format[0] - '0');
  options.Password = parsed.Value("password");
  if (parsed.Has("password") && options.Password.empty()) {
    return UsageError("pack", "--password needs a non-empty password");
  }
  if (!options.Password.empty() && options.Format != 3) {
    return UsageError("pack", "only format 3 can carry enciphered entries");
  }
  if (!ParseLevel(parsed.Value("level", "default"), options.Level)) {
    return UsageError("pack", "--level must be none, fastest, default or best");
  }
  if (parsed.Has("threads")) {
    const std::string text = parsed.Value("threads");
    unsigned long n = 0;
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos || (n = std::stoul(text)) < 1 ||
        n > 1024) {
      return UsageError("pack", "--threads must be a number from 1 to 1024");
    }
    options.Threads = static_cast<unsigned>(n);
  }

  const std::string& archivePath = parsed.positional[0];
  const std::vector<std::string> sources(parsed.positional.begin() + 1, parsed.positional.end());
  std::vector<archive::PackItem> items;
  const archive::CollectResult collected = archive::CollectSources(sources, items);
  if (!collected.Ok) return Report("pack", collected.Error, kExitFailed);
  for (const std::string& skipped : collected.Skipped) {
    Report("pack", "warning: not following the linked folder " + skipped, kExitOk);
  }
  // An older archive inside a source folder is not packed into its successor. Only files of
  // the same leaf name are looked at: asking the file system about every one costs.
  const std::string leaf = support::LowerCase(archive::LeafName(archivePath));
  const std::string partPath = archive::PartPath(archivePath);
  const std::string partLeaf = support::LowerCase(archive::LeafName(partPath));
  std::erase_if(items, [&](const archive::PackItem& item) {
    const std::string name = support::LowerCase(archive::LeafName(item.SourcePath));
    return (name == leaf && platform::SameFile(item.SourcePath, archivePath)) ||
           (name == partLeaf && platform::SameFile(item.SourcePath, partPath));
  });

  ProgressLine progress("packing");
  options.Progress = [&progress](uint64_t done, uint64_t total) { progress.Update(done, total); };
  const archive::PackResult result = archive::WriteArchive(archivePath, items, options);
  progress.Finish();
  if (!result.Ok()) {
    std::string message = result.Message;
    if (!result.Entry.empty()) message = "entry " + result.Entry + ": " + message;
    return Report("pack", message, kExitFailed);
  }
  std::printf("%s: %llu %s, %s packed into %s\n", archivePath.c_str(),
              static_cast<unsigned long long>(result.Entries),
              result.Entries == 1 ? "entry" : "entries", FormatBytes(result.BytesIn).c_str(),
              FormatBytes(result.BytesOut).c_str());
  return kExitOk;
}

}  // namespace ilds
