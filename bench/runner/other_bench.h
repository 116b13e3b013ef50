#pragma once

#include <string>

#include "bench_context.h"

// The benchmarks of quendor, serrak, pemrod and brastel (see bench/README.md).
namespace ralvek::bench {

// 50 simulated exchanges sending as fast as they can: quendor against the bare client.
void bench_quendor(Context& context);
// Lines a second through a pseudo-terminal: serrak against cat of the same terminal.
void bench_serrak(Context& context);
// pemrod's own micro-benchmark: Log entries a second, without and with rollover at 1 MiB.
void bench_pemrod(Context& context);
// brastel's benchmark when its engineer has added it (`program` empty otherwise): its output
// lines "row|benchmark|unit|service|peer|ratio|goal|verdict" join the table, others are notes.
void bench_brastel(Context& context, const std::string& program);

}  // namespace ralvek::bench
