#pragma once

#include <stdexcept>
#include <string>

#include "pemrod/api.h"

namespace ralvek::pemrod {

// Error numbers that pemrod raises. They follow the run-time error numbers of the
// component's original platform, so a caller that prints ", Code: " + number shows the
// codes its users know.
inline constexpr int kErrInvalidCall = 5;        // bad argument (C interface)
inline constexpr int kErrOverflow = 6;           // "Overflow": MaxSize * 1024 too big
inline constexpr int kErrOutOfMemory = 7;        // ENOMEM, std::bad_alloc
inline constexpr int kErrInternal = 51;          // anything not otherwise classed
inline constexpr int kErrBadFileName = 52;       // name too long or otherwise unusable
inline constexpr int kErrFileNotFound = 53;      // ENOENT
inline constexpr int kErrDeviceIo = 57;          // EIO
inline constexpr int kErrFileExists = 58;        // EEXIST
inline constexpr int kErrDiskFull = 61;          // ENOSPC, EDQUOT
inline constexpr int kErrTooManyFiles = 67;      // EMFILE, ENFILE
inline constexpr int kErrPermissionDenied = 70;  // EACCES, EPERM, EROFS
inline constexpr int kErrPathFileAccess = 75;    // every other system error
inline constexpr int kErrPathNotFound = 76;      // ENOTDIR
inline constexpr int kErrProgram = 512;          // own errors ("Path doesn't exists: ")

// The one exception type of pemrod: a number and a description, nothing else is shown
// to users. what() returns the description.
class PEMROD_API Error : public std::runtime_error {
 public:
  Error(int number, const std::string& description, int system_error = 0);

  int number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  // errno of the failed system call, 0 when the error is not a system error.
  int system_error() const noexcept { return system_error_; }

  // An error from a failed system call: number mapped from errno as listed above,
  // description the system's own text (strerror).
  static Error from_errno(int err);

 private:
  int number_;
  std::string description_;
  int system_error_;
};

}  // namespace ralvek::pemrod
