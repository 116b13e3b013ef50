#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace ralvek::platform {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

void sync_path(const std::filesystem::path& path, int flags) {
  FileDescriptor fd(::open(path.c_str(), flags | O_CLOEXEC));
  if (fd.get() < 0) throw FileError(errno, path);
  if (::fsync(fd.get()) != 0) throw FileError(errno, path);
}

bool has_extension(std::string_view name, std::string_view lower_ext) {
  if (name.size() <= lower_ext.size() || name[name.size() - lower_ext.size() - 1] != '.') return false;
  for (std::size_t i = 0; i < lower_ext.size(); ++i) {
    char c = name[name.size() - lower_ext.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != lower_ext[i]) return false;
  }
  return true;
}

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}

  void append(std::string_view bytes) override {
    std::size_t written = 0;
    while (written < bytes.size()) {
      ssize_t n = ::write(fd_.get(), bytes.data() + written, bytes.size() - written);
      if (n < 0) {
        if (errno == EINTR) continue;
        int error = errno;
        // A block cut short (disk full in its middle) must not stay in the file as a torn record.
        // The file is ours alone (O_APPEND, one instance), so its end less what this call wrote
        // is where the block began.
        if (written > 0) {
          off_t end = ::lseek(fd_.get(), 0, SEEK_END);
          if (end < 0 || ::ftruncate(fd_.get(), end - static_cast<off_t>(written)) != 0) error = errno;
        }
        throw FileError(error, path_);
      }
      written += static_cast<std::size_t>(n);
    }
  }

  void sync() override {
    if (::fsync(fd_.get()) != 0) throw FileError(errno, path_);
  }

  void start_writeback() override { ::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE); }

  bool link_as(const std::filesystem::path& path) override {
    // Any process may link its own unnamed file through /proc; the empty path of AT_EMPTY_PATH
    // needs CAP_DAC_READ_SEARCH, for a system without /proc.
    std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno != ENOENT || ::linkat(fd_.get(), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) != 0) return false;
    }
    path_ = path;
    return true;
  }

  std::optional<std::uint64_t> size() override {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) throw FileError(errno, path_);
    return static_cast<std::uint64_t>(st.st_size);
  }

 private:
  FileDescriptor fd_;
  std::filesystem::path path_;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<WritableFile> open(const std::filesystem::path& path, OpenMode mode) override {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode == OpenMode::kAppend ? O_APPEND : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0640);
    if (fd < 0) throw FileError(errno, path);
    return std::make_unique<PosixWritableFile>(fd, path);
  }

  std::unique_ptr<WritableFile> open_unnamed(const std::filesystem::path& dir) override {
    int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_APPEND | O_CLOEXEC, 0640);
    if (fd >= 0) return std::make_unique<PosixWritableFile>(fd, dir);
    // File systems without O_TMPFILE, and kernels before it (EISDIR).
    if (errno == EOPNOTSUPP || errno == EISDIR) return nullptr;
    throw FileError(errno, dir);
  }

  bool is_directory(const std::filesystem::path& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  void create_directory(const std::filesystem::path& path) override {
    if (::mkdir(path.c_str(), 0750) == 0) return;
    int error = errno;
    // EEXIST for a file of that name is no directory to write into.
    if (error == EEXIST && is_directory(path)) return;
    throw FileError(error == EEXIST ? ENOTDIR : error, path);
  }

  std::vector<DirEntry> list(const std::filesystem::path& dir) override { return list_where(dir, {}); }

  std::vector<DirEntry> list_with_extension(const std::filesystem::path& dir, const std::string& lower_ext) override {
    return list_where(dir, lower_ext);
  }

  // Every regular file, or only those with extension `lower_ext` (any case) when it is given.
  std::vector<DirEntry> list_where(const std::filesystem::path& dir, const std::string& lower_ext) {
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) throw FileError(errno, dir);
    std::vector<DirEntry> entries;
    while (dirent* entry = ::readdir(handle)) {
      if (!lower_ext.empty() && !has_extension(entry->d_name, lower_ext)) continue;
      struct stat st {};
      if (::fstatat(::dirfd(handle), entry->d_name, &st, 0) != 0) continue;  // gone meanwhile
      if (!S_ISREG(st.st_mode)) continue;
      entries.push_back({entry->d_name, static_cast<std::uint64_t>(st.st_size)});
    }
    ::closedir(handle);
    return entries;
  }

  void publish(const std::filesystem::path& from, const std::filesystem::path& to) override {
    sync_path(from, O_RDONLY);
    rename_no_replace(from, to);
    sync_directory(to.parent_path());
  }

  void remove(const std::filesystem::path& path) override {
    if (::unlink(path.c_str()) != 0) throw FileError(errno, path);
  }
};

}  // namespace

std::vector<DirEntry> FileSystem::list_with_extension(const std::filesystem::path& dir, const std::string& lower_ext) {
  std::vector<DirEntry> all = list(dir);
  std::erase_if(all, [&](const DirEntry& e) { return !has_extension(e.name, lower_ext); });
  return all;
}

FileError::FileError(int error_number, const std::filesystem::path& path)
    : std::runtime_error(std::string(std::strerror(error_number)) + ": " + path.string()),
      errno_(error_number) {}

bool FileError::disk_full() const { return errno_ == ENOSPC || errno_ == EDQUOT; }

void rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL && errno != ENOSYS) throw FileError(errno, to);
  // File systems without RENAME_NOREPLACE: link fails on an existing target just the same.
  if (::link(from.c_str(), to.c_str()) != 0) throw FileError(errno, to);
  if (::unlink(from.c_str()) != 0) throw FileError(errno, from);
}

void sync_directory(const std::filesystem::path& dir) {
  sync_path(dir.empty() ? "." : dir, O_RDONLY | O_DIRECTORY);
}

FileSystem& posix_file_system() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace ralvek::platform
