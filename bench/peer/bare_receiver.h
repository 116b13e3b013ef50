#pragma once

#include <string>
#include <vector>

// The baselines the services are measured against: the least a receiver can do. Each appends
// what it reads, at once and unchanged, to one file per peer address in `dir`
// (`<dir>/<address>.raw`); nothing is cleaned, no event is logged.
namespace ralvek::bench {

// Single-threaded epoll TCP receiver: listens on `listen` ("address:port") and also connects
// out to every "address:port" in `connect_to` (the client role, as a HiPath 4000 collector).
// Runs until SIGTERM or SIGINT; returns the exit status.
int run_bare_tcp(const std::string& listen, const std::vector<std::string>& connect_to,
                 const std::string& dir);

// Single-threaded UDP receiver reading batches with recvmmsg(2), with a receive buffer of
// `buffer_kb` when not 0 (forced, as root). Runs until SIGTERM or SIGINT.
int run_bare_udp(const std::string& listen, const std::string& dir, int buffer_kb);

}  // namespace ralvek::bench
