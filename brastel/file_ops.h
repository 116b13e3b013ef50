#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

namespace ralvek::brastel {

// A file open for reading.
class SourceFile {
 public:
  virtual ~SourceFile() = default;
  // Reads up to `size` bytes into `buffer`; 0 at the end of the file. Throws
  // platform::FileError.
  virtual std::size_t read(char* buffer, std::size_t size) = 0;
};

// The file operations of the copy pass, behind one interface so tests can inject faults
// (tests run as root, where permissions refuse nothing). Every call throws
// platform::FileError (errno and path) on failure.
class FileOps {
 public:
  virtual ~FileOps() = default;
  // Names of the regular files of `dir`, in the order the directory lists them.
  virtual std::vector<std::string> list(const std::filesystem::path& dir) = 0;
  // True when anything (file, folder, link) has this name; never throws.
  virtual bool exists(const std::filesystem::path& path) = 0;
  // True when both names lead to one and the same file or folder (same device and inode, links
  // followed); false when either cannot be reached. Never throws.
  virtual bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) = 0;
  virtual std::unique_ptr<SourceFile> open_read(const std::filesystem::path& path) = 0;
  // Creates the file, or empties it when present.
  virtual std::unique_ptr<platform::WritableFile> create(const std::filesystem::path& path) = 0;
  // Renames `from` to `to` without ever replacing an existing `to` (EEXIST). The rename is
  // durable once sync_folder() of the folder of `to` has returned.
  virtual void rename_new(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual void sync_folder(const std::filesystem::path& dir) = 0;
  virtual void remove(const std::filesystem::path& path) = 0;
};

// The real file system.
FileOps& real_file_ops();

}  // namespace ralvek::brastel
