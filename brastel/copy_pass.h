#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "file_ops.h"
#include "settings.h"

namespace ralvek::brastel {

// Error codes of the copy pass, as the operators know them from the service's first platform.
inline constexpr std::int32_t kCodeFileNotFound = 53;
inline constexpr std::int32_t kCodeDeviceIo = 57;
inline constexpr std::int32_t kCodeFileExists = 58;
inline constexpr std::int32_t kCodeDiskFull = 61;
inline constexpr std::int32_t kCodePermissionDenied = 70;
inline constexpr std::int32_t kCodePathFileAccess = 75;
inline constexpr std::int32_t kCodePathNotFound = 76;
inline constexpr std::int32_t kCodeLogonFailure = -2147023570;  // 0x8007052E

// A failed step of the copy pass: its code and description (the system's text and the path).
class CopyError : public std::runtime_error {
 public:
  CopyError(std::int32_t code, const std::string& description)
      : std::runtime_error(description), code_(code) {}
  std::int32_t code() const { return code_; }

 private:
  std::int32_t code_;
};

// The code of a failed system call. `remote` marks a call on the remote folder, where a
// rejected or expired key of the mount means the log-on to the remote place failed.
std::int32_t code_for_errno(int error_number, bool remote);

// Name of the temporary file that a copy of `name` is written to in the remote folder. It
// starts with a dot and does not end in the data extension, so no reader of the remote
// folder takes it for a finished file.
std::string temp_name(const std::string& name);

// One copy pass: every file of `source` that matches its pattern and whose extension (after
// the last dot, upper-cased) equals `extension` is moved to the folder `remote`, in the order
// the folder lists them. A move is: copy to a temporary name in `remote`, sync it, rename it to
// the file's own name without replacing anything, sync the folder, and only then delete the
// local file. So a final name never holds a partial file and a local file is never deleted
// before its copy is complete and on disk. One folder sync serves up to 64 files.
//
// A target that exists already (code 58) is passed to `on_exists`, the local file is kept and
// the pass goes on with the next file; when it holds the same bytes as the local file it is the
// copy of a move cut off before its deletion, and the move is finished instead. A target that
// is the local file itself (same device and inode) is code 58 too and never finished. A
// `remote` that is the local folder itself throws CopyError 58 before anything is touched. Any
// other failure throws CopyError and ends the pass after finishing the moves already copied:
// files not yet reached stay where they are. Returns the number of files moved; `on_moved` is
// told the bytes of each as its local file goes.
int copy_pass(FileOps& ops, const LocalSource& source, const std::filesystem::path& remote,
              const std::string& extension, const std::function<void(const CopyError&)>& on_exists,
              const std::function<void(std::uint64_t bytes)>& on_moved = {});

}  // namespace ralvek::brastel
