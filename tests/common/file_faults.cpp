#include "common/file_faults.h"

#include <cerrno>

#include "platform/posix/posix_platform.h"
#include "support/file_utils.h"
#include "support/text_fields.h"

namespace testing_support {
namespace {

std::string Key(const std::string& path) {
  return support::LowerCase(support::NormalizeDir(path, false));
}

// Whether path is the file or a folder above it.
bool Holds(const std::string& path, const std::string& file) {
  const std::string key = Key(path);
  return file == key || file.rfind(key + "\\", 0) == 0;
}

}  // namespace

FileFaults::FileFaults() {
  platform::posix::SetFileFault([this](platform::posix::FileChange change, const std::string& path,
                                       const std::string& other) {
    using platform::posix::FileChange;
    started_ |= Key(path) == startAt_ || (!other.empty() && Key(other) == startAt_);
    if (!started_) return 0;
    if (full_ && change == FileChange::Create) return ENOSPC;
    for (const std::string& file : held_)
      if (change != FileChange::Create && Holds(path, file)) return EACCES;
    for (const std::string& file : running_)
      if (change == FileChange::Delete && Holds(path, file)) return EACCES;
    return 0;
  });
}

FileFaults::~FileFaults() {
  platform::posix::SetFileFault(nullptr);
}

void FileFaults::Hold(const std::string& file) {
  held_.push_back(Key(file));
}

void FileFaults::Run(const std::string& file) {
  running_.push_back(Key(file));
}

void FileFaults::FillDisk() {
  full_ = true;
}

void FileFaults::StartAt(const std::string& file) {
  startAt_ = Key(file);
  started_ = false;
}

void FileFaults::Clear() {
  held_.clear();
  running_.clear();
  startAt_.clear();
  started_ = true;
  full_ = false;
}

}  // namespace testing_support
