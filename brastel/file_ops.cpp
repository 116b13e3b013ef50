#include "file_ops.h"

#include <cerrno>
#include <cstdio>

namespace ralvek::brastel {
namespace {

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, CloseFile>;

class StdioSourceFile final : public SourceFile {
 public:
  StdioSourceFile(FilePtr file, std::filesystem::path path)
      : file_(std::move(file)), path_(std::move(path)) {}

  std::size_t read(char* buffer, std::size_t size) override {
    errno = 0;
    std::size_t n = std::fread(buffer, 1, size, file_.get());
    if (n == 0 && std::ferror(file_.get())) throw platform::FileError(errno ? errno : EIO, path_);
    return n;
  }

 private:
  FilePtr file_;
  std::filesystem::path path_;
};

class RealFileOps final : public FileOps {
 public:
  std::vector<std::string> list(const std::filesystem::path& dir) override {
    std::vector<std::string> names;
    for (auto& entry : fs().list(dir)) names.push_back(std::move(entry.name));
    return names;
  }

  bool exists(const std::filesystem::path& path) override {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() !=
               std::filesystem::file_type::not_found &&
           !ec;
  }

  bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) override {
    std::error_code ec;
    bool same = std::filesystem::equivalent(a, b, ec);
    return same && !ec;
  }

  std::unique_ptr<SourceFile> open_read(const std::filesystem::path& path) override {
    // "e": close-on-exec, so alert and batch processes never inherit it.
    FilePtr file(std::fopen(path.c_str(), "rbe"));
    if (!file) throw platform::FileError(errno, path);
    return std::make_unique<StdioSourceFile>(std::move(file), path);
  }

  std::unique_ptr<platform::WritableFile> create(const std::filesystem::path& path) override {
    return fs().open(path, platform::OpenMode::kTruncate);
  }

  void rename_new(const std::filesystem::path& from, const std::filesystem::path& to) override {
    platform::rename_no_replace(from, to);
  }

  void sync_folder(const std::filesystem::path& dir) override { platform::sync_directory(dir); }

  void remove(const std::filesystem::path& path) override { fs().remove(path); }

 private:
  static platform::FileSystem& fs() { return platform::posix_file_system(); }
};

}  // namespace

FileOps& real_file_ops() {
  static RealFileOps instance;
  return instance;
}

}  // namespace ralvek::brastel
