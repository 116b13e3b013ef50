#include "copy_pass.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace ralvek::brastel {
namespace {

std::string upper_extension(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  return normalize_extension(name.substr(dot + 1));
}

CopyError copy_error(const platform::FileError& e, bool remote) {
  return CopyError(code_for_errno(e.error_number(), remote), e.what());
}

void remove_quietly(FileOps& ops, const std::filesystem::path& path) {
  try {
    ops.remove(path);
  } catch (const platform::FileError&) {
    // a temporary file that cannot be removed is overwritten by the next try
  }
}

// Copies the bytes of `from` into a new file `to` and makes them durable.
void copy_content(FileOps& ops, const std::filesystem::path& from,
                  const std::filesystem::path& to) {
  std::unique_ptr<SourceFile> source;
  try {
    source = ops.open_read(from);
  } catch (const platform::FileError& e) {
    throw copy_error(e, false);
  }
  std::unique_ptr<platform::WritableFile> target;
  try {
    target = ops.create(to);
  } catch (const platform::FileError& e) {
    throw copy_error(e, true);
  }
  std::array<char, 64 * 1024> buffer{};
  while (true) {
    std::size_t n = 0;
    try {
      n = source->read(buffer.data(), buffer.size());
    } catch (const platform::FileError& e) {
      throw copy_error(e, false);
    }
    if (n == 0) break;
    try {
      target->append(std::string_view(buffer.data(), n));
    } catch (const platform::FileError& e) {
      throw copy_error(e, true);
    }
  }
  try {
    target->sync();
  } catch (const platform::FileError& e) {
    throw copy_error(e, true);
  }
}

// True when both files can be read and hold the same bytes.
bool same_content(FileOps& ops, const std::filesystem::path& a, const std::filesystem::path& b) {
  try {
    auto first = ops.open_read(a), second = ops.open_read(b);
    std::array<char, 16 * 1024> x{}, y{};
    while (true) {
      std::size_t n = first->read(x.data(), x.size());
      std::size_t m = 0;
      while (m < n) {  // the second file may come in shorter pieces
        std::size_t got = second->read(y.data() + m, n - m);
        if (got == 0) return false;
        m += got;
      }
      if (n == 0) return second->read(y.data(), 1) == 0;
      if (std::memcmp(x.data(), y.data(), n) != 0) return false;
    }
  } catch (const platform::FileError&) {
    return false;
  }
}

// Copies one file under its own name into `remote_dir`; it is durable once the folder is synced.
// A target that exists already with the same bytes is a move cut off between its rename and the
// deletion of the local file: it only needs finishing. Throws CopyError.
void copy_file(FileOps& ops, const std::filesystem::path& local,
               const std::filesystem::path& remote_dir, const std::string& name) {
  auto final_path = remote_dir / name;
  if (ops.exists(final_path)) {
    if (same_content(ops, local, final_path)) return;
    throw CopyError(kCodeFileExists, platform::FileError(EEXIST, final_path).what());
  }
  auto temp_path = remote_dir / temp_name(name);
  try {
    copy_content(ops, local, temp_path);
    try {
      ops.rename_new(temp_path, final_path);
    } catch (const platform::FileError& e) {
      throw copy_error(e, true);
    }
  } catch (const CopyError&) {
    remove_quietly(ops, temp_path);
    throw;
  }
}

// Files copied and renamed whose local originals wait for one sync of the remote folder: a
// sync per file would bound the pass by the disk's sync rate twice over.
class PendingDeletions {
 public:
  static constexpr std::size_t kBatch = 64;

  PendingDeletions(FileOps& ops, std::filesystem::path remote) : ops_(ops), remote_(std::move(remote)) {}
  bool full() const { return locals_.size() >= kBatch; }
  void add(std::filesystem::path local) { locals_.push_back(std::move(local)); }

  // Syncs the remote folder, then deletes the local files. Throws the first CopyError; a local
  // file left behind has its complete copy on the remote side and is finished by a later pass.
  int finish() {
    if (locals_.empty()) return 0;
    std::vector<std::filesystem::path> locals = std::move(locals_);
    locals_.clear();
    try {
      ops_.sync_folder(remote_);
    } catch (const platform::FileError& e) {
      throw copy_error(e, true);
    }
    std::optional<CopyError> first_error;
    int deleted = 0;
    for (const auto& local : locals) {
      try {
        ops_.remove(local);
        ++deleted;
      } catch (const platform::FileError& e) {
        if (!first_error) first_error = copy_error(e, false);
      }
    }
    if (first_error) throw *first_error;
    return deleted;
  }

 private:
  FileOps& ops_;
  std::filesystem::path remote_;
  std::vector<std::filesystem::path> locals_;
};

}  // namespace

std::int32_t code_for_errno(int error_number, bool remote) {
  switch (error_number) {
    case ENOENT:
      return kCodeFileNotFound;
    case EEXIST:
      return kCodeFileExists;
    case ENOSPC:
    case EDQUOT:
      return kCodeDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return kCodePermissionDenied;
    case ENOTDIR:
      return kCodePathNotFound;
    case EIO:
      return kCodeDeviceIo;
    case ENOKEY:
    case EKEYEXPIRED:
    case EKEYREJECTED:
    case EKEYREVOKED:
      return remote ? kCodeLogonFailure : kCodePermissionDenied;
    default:
      return kCodePathFileAccess;
  }
}

std::string temp_name(const std::string& name) {
  return "." + name + ".part";
}

int copy_pass(FileOps& ops, const LocalSource& source, const std::filesystem::path& remote,
              const std::string& extension,
              const std::function<void(const CopyError&)>& on_exists) {
  // An empty destination would move the files into whatever the current folder is.
  if (remote.empty()) throw CopyError(kCodePathNotFound, "Path not found: RemotePath is empty");
  std::vector<std::string> names;
  try {
    names = ops.list(source.folder);
  } catch (const platform::FileError& e) {
    throw copy_error(e, false);
  }
  int count = 0;
  PendingDeletions pending(ops, remote);
  for (const auto& name : names) {
    if (upper_extension(name) != extension || !matches_pattern(name, source.pattern)) continue;
    try {
      copy_file(ops, source.folder / name, remote, name);
      pending.add(source.folder / name);
      if (pending.full()) count += pending.finish();
    } catch (const CopyError& e) {
      if (e.code() != kCodeFileExists) {
        // The copies made so far are complete: finish them before the pass ends.
        try {
          count += pending.finish();
        } catch (const CopyError&) {
        }
        throw;
      }
      on_exists(e);
    }
  }
  return count + pending.finish();
}

}  // namespace ralvek::brastel
