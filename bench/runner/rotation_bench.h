#pragma once

#include "bench_context.h"

// Rows 8 and 9: the collectors across rotations of 200 files a second, on the disk.
namespace ralvek::bench {

void bench_tolvin_rotation(Context& context);
void bench_quendor_rotation(Context& context);

}  // namespace ralvek::bench
