#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/files.h"

// For tests: the real file system, for a test double to override only what it counts or fails.
// Unnamed files are not passed through: a double that wraps open() then sees every new file.
namespace ralvek::platform {

class PassThroughFileSystem : public FileSystem {
 public:
  std::unique_ptr<WritableFile> open(const std::filesystem::path& path, OpenMode mode) override {
    return real().open(path, mode);
  }
  bool is_directory(const std::filesystem::path& path) override { return real().is_directory(path); }
  void create_directory(const std::filesystem::path& path) override { real().create_directory(path); }
  std::vector<DirEntry> list(const std::filesystem::path& dir) override { return real().list(dir); }
  void publish(const std::filesystem::path& from, const std::filesystem::path& to) override {
    real().publish(from, to);
  }
  void remove(const std::filesystem::path& path) override { real().remove(path); }

 protected:
  static FileSystem& real() { return posix_file_system(); }
};

}  // namespace ralvek::platform
