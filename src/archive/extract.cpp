#include "archive/extract.h"

#include <thread>
#include <unordered_set>
#include <vector>

#include "archive/entry_names.h"
#include "archive/extract_internal.h"
#include "platform/files.h"
#include "platform/system.h"
#include "support/file_utils.h"
#include "support/short_string.h"
#include "support/text_fields.h"

namespace archive {
namespace detail {

ExtractPlan::ExtractPlan(const ExtractOptions& options, uint32_t version)
    : options_(options), version_(version) {
  // No entry needs the cipher before it is keyed, and keying is cheap: done here, once, so
  // that decoding threads only ever read it.
  if (!options.Password.empty()) {
    cipher_ = std::make_unique<crypto::TCipher_Cast256>();
    cipher_->InitKey(options.Password);
  }
}

ExtractPlan::Check ExtractPlan::Inspect(const EntryHeader& entry) const {
  if (!IsSafeEntryName(entry.Name)) return Check::kBadName;
  if (entry.Encrypted && options_.Password.empty()) return Check::kNeedsPassword;
  return Check::kOk;
}

bool ExtractPlan::Selected(const std::string& name) const {
  return options_.FilterList.empty() || ListHolds(options_.FilterList, name);
}

namespace {

class SequentialSource : public EntrySource {
 public:
  SequentialSource(TArchiveReader& reader, const ExtractPlan& plan, PositionCallback progress)
      : reader_(reader), plan_(plan), progress_(std::move(progress)) {}

  HeaderRead Next(EntryHeader& entry) override {
    consumed_ = reader_.Position();
    const HeaderRead read = reader_.NextEntry(entry);
    entry.Name = EntryPath(entry.Name);
    current_ = entry;
    return read;
  }

  DecodeResult Decode(const ZSink& sink) override {
    if (!buffer_) buffer_.reset(new char[kReadChunk]);
    TEntryDecoder decoder = plan_.MakeDecoder(current_);
    DecodeResult result;
    try {
      while (!decoder.Settled()) {
        const size_t n = reader_.ReadData(buffer_.get(), kReadChunk);
        if (n == 0) break;
        decoder.Feed(buffer_.get(), n, sink);
        if (progress_) progress_(reader_.Position());
      }
      result = decoder.Finish(sink);
    } catch (const SinkAbort&) {
      result = DecodeResult::kAborted;
    }
    reader_.SkipData();
    consumed_ = reader_.Position();
    return result;
  }

  void Skip() override {
    reader_.SkipData();
    consumed_ = reader_.Position();
  }

  uint64_t Consumed() const override { return consumed_; }

 private:
  TArchiveReader& reader_;
  const ExtractPlan& plan_;
  PositionCallback progress_;
  EntryHeader current_;
  std::unique_ptr<char[]> buffer_;
  uint64_t consumed_ = 0;
};

// Writing in archive order is done by one thread: decoding threads beyond these gain
// nothing but memory.
constexpr unsigned kMaxThreads = 4;

unsigned ThreadCount(unsigned requested) {
  unsigned n = requested ? requested : std::thread::hardware_concurrency();
  return std::clamp(n, 1u, kMaxThreads);
}

// Creates the folders of the entries below the destination. It remembers the folders known
// to exist, so that most entries need no look at the disk for their folder; the memory is a
// cache, emptied when it grows large.
class FolderMaker {
 public:
  explicit FolderMaker(const std::string& dest) : dest_(dest) {}

  // Creates dest + folder with the missing folders above it; true when it exists afterwards.
  bool Make(const std::string& folder) {
    if (Known(folder)) return true;
    // Up to the deepest folder known to exist (the destination itself is), then downwards.
    std::vector<size_t> ends{folder.size()};
    for (size_t cut = folder.rfind('\\'); cut != std::string::npos && !Known(folder.substr(0, cut));
         cut = cut ? folder.rfind('\\', cut - 1) : std::string::npos)
      ends.push_back(cut);
    for (auto end = ends.rbegin(); end != ends.rend(); ++end) {
      const std::string path = dest_ + folder.substr(0, *end);
      // One that was there before the extraction is confirmed.
      if (!platform::CreateDirectory(path) && !platform::DirectoryExists(path)) return false;
      if (known_.size() >= kMaxKnown) known_.clear();
      known_.insert(support::LowerCase(folder.substr(0, *end)));
    }
    return true;
  }

 private:
  static constexpr size_t kMaxKnown = 4096;
  bool Known(const std::string& folder) const {
    return known_.count(support::LowerCase(folder)) != 0;
  }

  const std::string dest_;
  std::unordered_set<std::string> known_;  // lower case
};

// The extraction proper: the decisions about each entry in archive order, with the state of
// the file system at that moment (an archive may name a file twice).
class Extraction {
 public:
  Extraction(const ExtractOptions& options, const ExtractPlan& plan, const std::string& dest)
      : options_(options), plan_(plan), dest_(dest), folders_(dest) {}

  void Run(EntrySource& source, ExtractResult& result, uint64_t total) {
    for (;;) {
      EntryHeader entry;
      const HeaderRead read = source.Next(entry);
      if (read != HeaderRead::kEntry) {
        result.End =
            read == HeaderRead::kEndOfFile ? ExtractEnd::Complete : ExtractEnd::TruncatedHeader;
        break;
      }
      if (entry.Name.empty()) {
        result.End = ExtractEnd::EndMarker;
        break;
      }
      const ExtractPlan::Check check = plan_.Inspect(entry);
      if (check != ExtractPlan::Check::kOk) {
        const bool password = check == ExtractPlan::Check::kNeedsPassword;
        result.Status = password ? asPasswordRequired : asDataError;
        result.End = password ? ExtractEnd::PasswordRequired : ExtractEnd::DataError;
        result.FailedEntry = entry.Name;
        break;
      }
      const bool ok = options_.VerifyOnly ? VerifyEntry(source, entry, result)
                                          : ExtractEntry(source, entry, result);
      if (!ok) {
        result.FailedEntry = entry.Name;
        break;
      }
      if (options_.Progress) options_.Progress(source.Consumed(), total);
    }
    if (options_.Progress) options_.Progress(source.Consumed(), total);
  }

 private:
  bool VerifyEntry(EntrySource& source, const EntryHeader& entry, ExtractResult& result) {
    uint64_t& decoded = result.BytesDecoded;
    if (entry.Size > 0 && source.Decode([&decoded](const char*, size_t length) {
          decoded += length;
        }) == DecodeResult::kDataError) {
      result.Status = asDataError;
      result.End = ExtractEnd::DataError;
      return false;
    }
    ++result.EntriesWritten;
    return true;
  }

  bool Written(const EntryHeader& entry, const std::string& target) const {
    if (!plan_.Selected(entry.Name)) return false;
    if (!options_.Overwrite &&
        platform::GetFileAttributes(target) != platform::kInvalidAttributes) {
      // Compared as Windows finds the file: "slapd.conf." would replace a kept "slapd.conf".
      if (options_.KeepList.empty() || ListHolds(options_.KeepList, entry.Name)) return false;
    }
    return true;
  }

  bool ExtractEntry(EntrySource& source, const EntryHeader& entry, ExtractResult& result) {
    const std::string target = dest_ + entry.Name;
    if (!Written(entry, target)) {
      source.Skip();
      return true;
    }
    // A target that cannot be created (its folder cannot be made, it is read-only or in use)
    // is passed over silently, unless every entry must be written.
    const size_t cut = entry.Name.rfind('\\');
    platform::File file;
    if ((cut != std::string::npos && !folders_.Make(entry.Name.substr(0, cut))) ||
        !file.Open(target, platform::File::Mode::Create)) {
      if (options_.AllOrNothing) {
        result.SystemError = platform::LastError();
        result.End = ExtractEnd::WriteError;
        return false;
      }
      source.Skip();
      return true;
    }
    if (entry.Size > 0) {
      uint64_t& written = result.BytesDecoded;
      const DecodeResult decoded =
          source.Decode([&file, &written](const char* data, size_t length) {
            if (!file.Write(data, static_cast<int64_t>(length))) throw SinkAbort{};
            written += length;
          });
      if (decoded != DecodeResult::kOk) {
        if (decoded != DecodeResult::kDataError) result.SystemError = platform::LastError();
        // Neither a damaged entry nor a partly written one is left behind.
        file.Close();
        platform::DeleteFile(target);
        if (decoded == DecodeResult::kDataError) {
          result.Status = asDataError;
          result.End = ExtractEnd::DataError;
        } else {
          result.End = ExtractEnd::WriteError;
        }
        return false;
      }
    }
    file.Close();
    ++result.EntriesWritten;
    return true;
  }

  const ExtractOptions& options_;
  const ExtractPlan& plan_;
  const std::string dest_;
  FolderMaker folders_;
};

}  // namespace
}  // namespace detail

ExtractResult Extract(const std::string& archivePath, const std::string& destDir,
                      const ExtractOptions& options) {
  using namespace detail;
  ExtractResult result;
  if (archivePath.empty() || (destDir.empty() && !options.VerifyOnly)) {
    result.End = ExtractEnd::BadArguments;
    return result;
  }
  std::string dest;
  if (!options.VerifyOnly) {
    dest = support::NormalizeDir(destDir);
    if (!support::DirExists(dest)) support::CreateDirectoryPath(dest);
    if (!support::DirExists(dest)) {
      result.End = ExtractEnd::CannotCreateDestination;
      return result;
    }
  }
  TArchiveReader reader;
  if (!reader.Open(archivePath)) {
    result.End = ExtractEnd::CannotOpenArchive;
    return result;
  }
  ArchiveHeader header;
  if (!reader.ReadPreamble(header)) {
    result.End = ExtractEnd::TruncatedHeader;
    return result;
  }
  result.Version = header.Version;

  const uint64_t total = reader.FileSize();
  PositionCallback progress;
  if (options.Progress) progress = [&options, total](uint64_t at) { options.Progress(at, total); };
  const ExtractPlan plan(options, header.Version);
  const unsigned threads = ThreadCount(options.Threads);
  std::unique_ptr<EntrySource> source;
  // The calling thread counts as one of the decoding threads.
  if (threads > 1) source = MakeParallelSource(reader, plan, threads - 1, progress);
  if (!source) source = MakeSequentialSource(reader, plan, progress);
  Extraction(options, plan, dest).Run(*source, result, total);
  return result;
}

bool ExtractArchive(const std::string& ArchivePath, const std::string& DestDir,
                    ArchiveStatus& Status, bool Overwrite, const std::string& KeepList,
                    const std::string& FilterList, const std::string& Password) {
  Status = asOk;
  ExtractOptions options;
  options.Overwrite = Overwrite;
  options.KeepList = KeepList;
  options.FilterList = FilterList;
  options.Password = Password;
  const ExtractResult result =
      Extract(support::ShortString(ArchivePath), support::ShortString(DestDir), options);
  Status = result.Status;
  return result.Succeeded();
}

bool DeleteExtracted(const std::string& folder) {
  if (folder.empty()) return false;
  return support::DeleteDirectory(support::NormalizeDir(folder), "*.*", true);
}

bool ListArchive(const std::string& path, uint32_t& version, std::vector<EntryHeader>& entries,
                 ExtractEnd& end) {
  version = 0;
  entries.clear();
  TArchiveReader reader;
  if (!reader.Open(path)) {
    end = ExtractEnd::CannotOpenArchive;
    return false;
  }
  ArchiveHeader header;
  if (!reader.ReadPreamble(header)) {
    end = ExtractEnd::TruncatedHeader;
    return false;
  }
  version = header.Version;
  for (;;) {
    EntryHeader entry;
    const HeaderRead read = reader.NextEntry(entry);
    if (read == HeaderRead::kEndOfFile) {
      end = ExtractEnd::Complete;
      return true;
    }
    if (read == HeaderRead::kTruncated) {
      end = ExtractEnd::TruncatedHeader;
      return false;
    }
    if (entry.Name.empty()) {
      end = ExtractEnd::EndMarker;
      return true;
    }
    entries.push_back(std::move(entry));
  }
}

namespace detail {

std::unique_ptr<EntrySource> MakeSequentialSource(TArchiveReader& reader, const ExtractPlan& plan,
                                                  PositionCallback progress) {
  return std::make_unique<SequentialSource>(reader, plan, std::move(progress));
}

}  // namespace detail
}  // namespace archive
