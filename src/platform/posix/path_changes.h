// What the file layer tells the path mapping about its own changes, so that the names it
// remembers of each directory stay current.
#pragma once

#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

namespace platform::posix {

// Held around one change (create, delete, rename) of the entries at these native paths.
class DirectoryChange {
 public:
  explicit DirectoryChange(std::initializer_list<std::string> natives);
  ~DirectoryChange();
  DirectoryChange(const DirectoryChange&) = delete;
  DirectoryChange& operator=(const DirectoryChange&) = delete;

 private:
  struct Entry {
    std::string dir, leaf;
    struct timespec before;
  };
  std::vector<Entry> entries_;
};

// A directory this process has just made, empty.
void RememberNewDirectory(const std::string& native);
// A directory that was removed or renamed: what was remembered of it and below it goes.
void ForgetDirectory(const std::string& native);

}  // namespace platform::posix
