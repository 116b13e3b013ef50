#ifndef PEMROD_PEMROD_H
#define PEMROD_PEMROD_H

/* Plain C interface of clsLogger (see pemrod/cls_logger.h for the behaviour, the entry
 * format and the rollover), for programs in other languages.
 *
 * Functions that can fail return 0 on success or the error number (512 for the library's
 * own errors such as "Path doesn't exists: ", 6 for an overflow, the numbers of
 * pemrod/error.h for system errors); pemrod_last_error() then gives the description.
 * No function throws or aborts on a failure.
 *
 * Strings passed in are NUL-terminated and copied. Strings returned stay valid until the
 * next call with the same logger that changes it, or pemrod_destroy. A logger is used by one
 * thread at a time. Every function accepts a NULL logger and then fails with 51 (or returns
 * an empty string / 0). */

#include <stddef.h>
#include <stdint.h>

#include "pemrod/api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct pemrod_logger pemrod_logger;

/* A new logger (MaxSize 1024 KB, no path, no file, closed); NULL when out of memory. */
PEMROD_API pemrod_logger* pemrod_create(void);
/* Closes the log and frees the logger; NULL is ignored. */
PEMROD_API void pemrod_destroy(pemrod_logger* logger);

PEMROD_API const char* pemrod_version(const pemrod_logger* logger);
/* Limit put in KB (below 1: no limit); read back in bytes or -1. */
PEMROD_API int pemrod_set_max_size(pemrod_logger* logger, int32_t kb);
PEMROD_API int32_t pemrod_get_max_size(const pemrod_logger* logger);
PEMROD_API int pemrod_set_log_file(pemrod_logger* logger, const char* file);
PEMROD_API const char* pemrod_get_log_file(const pemrod_logger* logger);
PEMROD_API int pemrod_set_log_path(pemrod_logger* logger, const char* path);
PEMROD_API const char* pemrod_get_log_path(const pemrod_logger* logger);
/* One entry of `count` lines (`texts` may be NULL when count is 0; a NULL element is an
 * empty line). An open failure is reported, not returned: the result is then 0. */
PEMROD_API int pemrod_log(pemrod_logger* logger, const char* const* texts, size_t count);
/* `file_name` NULL or "" reopens the current file. Failures are reported, not returned. */
PEMROD_API void pemrod_open_log(pemrod_logger* logger, const char* file_name);
PEMROD_API void pemrod_close_log(pemrod_logger* logger);

/* Description of the last failed call on this logger, "" when none failed yet. */
PEMROD_API const char* pemrod_last_error(const pemrod_logger* logger);

#ifdef __cplusplus
}
#endif

#endif /* PEMROD_PEMROD_H */
