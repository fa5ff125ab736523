// What Windows refuses and the native file system does not, for the native
// tests: a file another program holds open, a program running from its file,
// a full disk. In force while the object lives, from the moment StartAt says.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

class FileFaults {
 public:
  FileFaults();
  ~FileFaults();
  FileFaults(const FileFaults&) = delete;
  FileFaults& operator=(const FileFaults&) = delete;

  // Held open without delete sharing: the file cannot be renamed or deleted,
  // nor can a folder that holds it.
  void Hold(const std::string& file);
  // A program runs from it: it can be renamed but not deleted.
  void Run(const std::string& file);
  // The disk is full: no file or folder can be created.
  void FillDisk();
  // The faults begin with the first change that names file (a rename of it, a
  // copy of it), that change included; without it they are in force at once.
  void StartAt(const std::string& file);
  // Every fault ends.
  void Clear();

 private:
  std::vector<std::string> held_, running_;
  std::string startAt_;
  bool started_ = true, full_ = false;
};

}  // namespace testing_support
