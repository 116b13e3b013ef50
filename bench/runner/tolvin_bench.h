#pragma once

#include "bench_context.h"

// The benchmarks of tolvin (see bench/README.md); each appends its rows to the context's table.
namespace ralvek::bench {

// 50 TCP sites sending as fast as they can: tolvin against the bare epoll receiver and socat.
void bench_tolvin_tcp(Context& context);
// Highest UDP send rate without loss: tolvin against the bare recvmmsg receiver, with the
// default receive buffer and with the one the README recommends.
void bench_tolvin_udp(Context& context);
// 999 connected TCP sites (site numbers stop at 999), one record a second each: RSS and CPU.
void bench_tolvin_sites(Context& context);

}  // namespace ralvek::bench
