#pragma once

#include <string>

// Many slow TCP senders in one process: `sites` connections, each from its own loopback source
// address (127.0.1.1 upwards, skipping .0 and .255), each sending one numbered 120-byte record a
// second, spread over the second, for `seconds` seconds. Then every connection is shut down for
// sending and the peer's close is awaited (at most 10 s). Prints how many connected and how many
// records each sent; returns 0 when every site connected and was closed by the peer.
namespace ralvek::bench {

int run_site_senders(const std::string& to, int sites, int seconds);

// The `index`th source address (0-based) of run_site_senders.
std::string site_source(int index);

}  // namespace ralvek::bench
