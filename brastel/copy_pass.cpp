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

// Copies the bytes of `from` into a new file `to`, left open so that it can be synced later.
std::unique_ptr<platform::WritableFile> copy_content(FileOps& ops, const std::filesystem::path& from,
                                                     const std::filesystem::path& to, std::uint64_t& size) {
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
    size += n;
    try {
      target->append(std::string_view(buffer.data(), n));
    } catch (const platform::FileError& e) {
      throw copy_error(e, true);
    }
  }
  target->start_writeback();
  return target;
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

// Up to 64 moves made together: all copies are written first, then each is synced and renamed,
// then one sync of the remote folder makes the renames durable, and only then are the local
// files deleted. Syncing the copies one after the other, once all are written, lets the file
// system commit them in one go; a sync per copy in between writes was bound by the disk.
class MoveBatch {
 public:
  static constexpr std::size_t kSize = 64;

  MoveBatch(FileOps& ops, std::filesystem::path remote, const std::function<void(const CopyError&)>& on_exists,
            const std::function<void(std::uint64_t)>& on_moved)
      : ops_(ops), remote_(std::move(remote)), on_exists_(on_exists), on_moved_(on_moved) {}
  ~MoveBatch() {
    for (auto& move : moves_) {
      if (move.copy) remove_quietly(ops_, move.temp);
    }
  }

  bool full() const { return moves_.size() >= kSize; }

  // Copies the file to its temporary name. A target that exists already with the same bytes is
  // a move cut off between its rename and the deletion of the local file: it is only finished.
  // Throws CopyError (code 58 for any other existing target); nothing of the file is left then.
  void add(const std::filesystem::path& local, const std::string& name) {
    Move move{local, remote_ / temp_name(name), remote_ / name, nullptr, 0};
    // A target that is the local file itself (a link to it) would be emptied by the copy, or
    // found identical and the local file deleted: the only copy gone.
    for (const auto* target : {&move.temp, &move.final}) {
      if (ops_.same_file(local, *target)) {
        throw CopyError(kCodeFileExists,
                        platform::FileError(EEXIST, *target).what() + std::string(" is the local file itself"));
      }
    }
    if (ops_.exists(move.final)) {
      if (!same_content(ops_, local, move.final)) {
        throw CopyError(kCodeFileExists, platform::FileError(EEXIST, move.final).what());
      }
    } else {
      try {
        move.copy = copy_content(ops_, local, move.temp, move.size);
      } catch (const CopyError&) {
        remove_quietly(ops_, move.temp);
        throw;
      }
    }
    moves_.push_back(std::move(move));
  }

  // Finishes every move added. After a failure the remaining copies are removed and their local
  // files stay; the first CopyError is thrown once the moves before it are finished. Returns the
  // number of local files deleted.
  int finish() {
    std::vector<Move> moves = std::move(moves_);
    moves_.clear();
    std::optional<CopyError> error;
    std::vector<std::pair<std::filesystem::path, std::uint64_t>> renamed;
    for (auto& move : moves) {
      if (!move.copy) {
        renamed.emplace_back(move.local, move.size);
        continue;
      }
      if (error) {
        remove_quietly(ops_, move.temp);
        continue;
      }
      try {
        publish(move);
        renamed.emplace_back(move.local, move.size);
      } catch (const CopyError& e) {
        remove_quietly(ops_, move.temp);
        if (e.code() == kCodeFileExists) {
          on_exists_(e);
        } else {
          error = e;
        }
      }
    }
    int deleted = 0;
    if (!renamed.empty()) {
      try {
        ops_.sync_folder(remote_);
        for (const auto& [local, size] : renamed) {
          try {
            ops_.remove(local);
            ++deleted;
            if (on_moved_) on_moved_(size);
          } catch (const platform::FileError& e) {
            if (!error) error = copy_error(e, false);
          }
        }
      } catch (const platform::FileError& e) {
        // The renames may not be durable: every local file stays for a later pass to finish.
        if (!error) error = copy_error(e, true);
      }
    }
    if (error) throw *error;
    return deleted;
  }

 private:
  struct Move {
    std::filesystem::path local, temp, final;
    std::unique_ptr<platform::WritableFile> copy;  // null: the copy has its final name already
    std::uint64_t size;  // bytes copied (0 for a copy found finished)
  };

  void publish(Move& move) {
    try {
      move.copy->sync();
      move.copy.reset();
      ops_.rename_new(move.temp, move.final);
    } catch (const platform::FileError& e) {
      throw copy_error(e, true);
    }
  }

  FileOps& ops_;
  std::filesystem::path remote_;
  const std::function<void(const CopyError&)>& on_exists_;
  const std::function<void(std::uint64_t)>& on_moved_;
  std::vector<Move> moves_;
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
              const std::function<void(const CopyError&)>& on_exists,
              const std::function<void(std::uint64_t bytes)>& on_moved) {
  // An empty destination would move the files into whatever the current folder is.
  if (remote.empty()) throw CopyError(kCodePathNotFound, "Path not found: RemotePath is empty");
  // The local folder named again (directly, through "..", a link or a bind mount): every file
  // would be its own copy. Nothing is touched; the pass fails until the settings are mended.
  if (ops.same_file(source.folder, remote)) {
    throw CopyError(kCodeFileExists,
                    "File exists: RemotePath and LocalPath are the same folder: " + remote.string());
  }
  std::vector<std::string> names;
  try {
    names = ops.list(source.folder);
  } catch (const platform::FileError& e) {
    throw copy_error(e, false);
  }
  int count = 0;
  MoveBatch batch(ops, remote, on_exists, on_moved);
  for (const auto& name : names) {
    if (upper_extension(name) != extension || !matches_pattern(name, source.pattern)) continue;
    try {
      batch.add(source.folder / name, name);
    } catch (const CopyError& e) {
      if (e.code() == kCodeFileExists) {
        on_exists(e);
        continue;
      }
      // The copies made so far are complete: finish them before the pass ends.
      try {
        batch.finish();
      } catch (const CopyError&) {
      }
      throw;
    }
    if (batch.full()) count += batch.finish();
  }
  return count + batch.finish();
}

}  // namespace ralvek::brastel
