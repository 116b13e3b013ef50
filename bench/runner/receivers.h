#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "bench_context.h"

// Starting the receivers that the tolvin benchmarks compare, and their senders.
namespace ralvek::bench {

enum class Kind { kTolvin, kBare, kSocat };
const char* kind_name(Kind kind);

// Starts `kind` receiving TCP on 127.0.0.1:`port` (socat: one listener per source on
// `port` + i, each writing its own file) or, with `udp`, datagrams on `port`. `sites` is the tolvin
// ini's site lines. Returns once it listens or has ended.
Receiver start_receiver(const Context& context, const RunDir& dir, Kind kind, int port, bool udp,
                        const std::string& sites, int socat_listeners = 0);

// "tcp 127.0.0.10 sent 1234 records" -> 1234; 0 when the log has no such line.
std::uint64_t sent_records(const std::string& sender_log);

}  // namespace ralvek::bench
