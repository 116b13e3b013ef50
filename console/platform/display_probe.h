#pragma once
// Whether a display server's socket accepts a connection, asked before Qt tries: Qt aborts the
// process when its platform plugin cannot connect.
#include <string>

namespace ralvek::console::platform {

// "" when the Unix socket at path (or else the abstract socket of that name, where X servers also
// listen) accepts a connection; otherwise why not.
std::string ReachUnixSocket(const std::string& path);
// "" when a TCP connection to host:port opens within timeout_ms; otherwise why not.
std::string ReachTcp(const std::string& host, int port, int timeout_ms);

}  // namespace ralvek::console::platform
