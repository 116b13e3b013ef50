#include "pemrod/error.h"

#include <cerrno>
#include <system_error>

namespace ralvek::pemrod {

Error::Error(int number, const std::string& description, int system_error)
    : std::runtime_error(description),
      number_(number),
      description_(description),
      system_error_(system_error) {}

namespace {

int number_for_errno(int err) {
  switch (err) {
    case ENOENT:
      return kErrFileNotFound;
    case ENOTDIR:
      return kErrPathNotFound;
    case EEXIST:
      return kErrFileExists;
    case ENOSPC:
    case EDQUOT:
      return kErrDiskFull;
    case EIO:
      return kErrDeviceIo;
    case EMFILE:
    case ENFILE:
      return kErrTooManyFiles;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrPermissionDenied;
    case ENAMETOOLONG:
      return kErrBadFileName;
    case ENOMEM:
      return kErrOutOfMemory;
    default:
      return kErrPathFileAccess;
  }
}

}  // namespace

Error Error::from_errno(int err) {
  return Error(number_for_errno(err), std::generic_category().message(err), err);
}

}  // namespace ralvek::pemrod
