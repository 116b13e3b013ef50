/* Compiled as C: proves pemrod/pemrod.h is a C header and gives the C test one round trip
 * written the way a C program would write it. */
#include "pemrod/pemrod.h"

int pemrod_c_round_trip(const char* folder, const char* file) {
  pemrod_logger* log = pemrod_create();
  if (log == NULL) return -1;
  int rc = pemrod_set_log_path(log, folder);
  if (rc == 0) rc = pemrod_set_log_file(log, file);
  if (rc == 0) rc = pemrod_set_max_size(log, 512000);
  if (rc == 0) {
    const char* lines[] = {"Service started", "Version:1.0.0"};
    rc = pemrod_log(log, lines, 2);
  }
  pemrod_destroy(log);
  return rc;
}
