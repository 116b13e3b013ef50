#include "copy_pass.h"

#include <array>
#include <cerrno>

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
}

// Moves one file; throws CopyError.
void move_file(FileOps& ops, const std::filesystem::path& local,
               const std::filesystem::path& remote_dir, const std::string& name) {
  auto final_path = remote_dir / name;
  if (ops.exists(final_path)) {
    throw CopyError(kCodeFileExists, platform::FileError(EEXIST, final_path).what());
  }
  auto temp_path = remote_dir / temp_name(name);
  try {
    copy_content(ops, local, temp_path);
    try {
      ops.publish(temp_path, final_path);
    } catch (const platform::FileError& e) {
      throw copy_error(e, true);
    }
  } catch (const CopyError&) {
    remove_quietly(ops, temp_path);
    throw;
  }
  try {
    ops.remove(local);
  } catch (const platform::FileError& e) {
    throw copy_error(e, false);
  }
}

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
  for (const auto& name : names) {
    if (upper_extension(name) != extension || !matches_pattern(name, source.pattern)) continue;
    try {
      move_file(ops, source.folder / name, remote, name);
      ++count;
    } catch (const CopyError& e) {
      if (e.code() != kCodeFileExists) throw;
      on_exists(e);
    }
  }
  return count;
}

}  // namespace ralvek::brastel
