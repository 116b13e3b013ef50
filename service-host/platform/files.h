#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ralvek::platform {

// A failed file operation: the system's text and the path it concerns.
class FileError : public std::runtime_error {
 public:
  FileError(int error_number, const std::filesystem::path& path);
  int error_number() const { return errno_; }
  // The disk (or the user's quota) is full: a write may succeed once space is freed.
  bool disk_full() const;

 private:
  int errno_;
};

// An open file that only grows. Every append is handed to the kernel at once with write(2)
// (no buffering in the process), so a killed process loses nothing it had accepted.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes all bytes or throws FileError.
  virtual void append(std::string_view bytes) = 0;
  virtual void sync() = 0;
  // Asks the system to start writing the file out without waiting, so that a sync() of many
  // files one after the other finds most of the work done. Only a hint.
  virtual void start_writeback() {}
  // Its size now; unknown (nullopt) where the file cannot tell.
  virtual std::optional<std::uint64_t> size() { return std::nullopt; }
  // Gives a file from FileSystem::open_unnamed() its name. False, the file still unnamed, when
  // the name exists or cannot be given: the caller then opens the name the usual way.
  virtual bool link_as(const std::filesystem::path& /*path*/) { return false; }
};

struct DirEntry {
  std::string name;
  std::uint64_t size = 0;
};

enum class OpenMode {
  kAppend,    // created when missing, appended to when present
  kTruncate,  // created when missing, emptied when present
};

// The file operations of the collectors, behind one interface so tests can inject faults.
// Every call throws FileError on failure.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<WritableFile> open(const std::filesystem::path& path, OpenMode mode) = 0;
  // A new empty file in `dir`, open for appending, that has no name yet (it vanishes when closed
  // unnamed) and gets one with WritableFile::link_as(). Creating a file is the slow half of
  // opening a new one; naming it is quick. nullptr where the file system has no such files.
  virtual std::unique_ptr<WritableFile> open_unnamed(const std::filesystem::path& /*dir*/) { return nullptr; }
  virtual bool is_directory(const std::filesystem::path& path) = 0;
  virtual void create_directory(const std::filesystem::path& path) = 0;
  // Regular files of a directory, in the order the directory lists them.
  virtual std::vector<DirEntry> list(const std::filesystem::path& dir) = 0;
  // The same, only the files whose extension is `lower_ext` in any case (a folder of thousands
  // of .dat files is listed without looking at each of them).
  virtual std::vector<DirEntry> list_with_extension(const std::filesystem::path& dir, const std::string& lower_ext);
  // Makes the file's content durable, renames it without replacing an existing file (EEXIST),
  // then makes the rename itself durable.
  virtual void publish(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual void remove(const std::filesystem::path& path) = 0;
  // True when something of exactly that name is there (no error: unknown counts as absent).
  virtual bool exists(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
  }
};

// The real file system (POSIX calls).
FileSystem& posix_file_system();

// The two halves of FileSystem::publish, for many renames into one folder that share one
// sync_directory(): renames without replacing an existing file (EEXIST), and makes the renames
// in `dir` durable. Throw FileError.
void rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to);
void sync_directory(const std::filesystem::path& dir);

}  // namespace ralvek::platform
