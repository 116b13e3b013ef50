#pragma once

namespace ralvek::pbxsim {

// pbxsim exchange: a simulated HiPath 4000 exchange. It listens on a 127.0.0.x address and
// port and sends numbered call records to every collector connected to it, at a chosen rate;
// the sequence runs on across connections and only advances while someone is connected.
// Commands, one a line on standard input (or the file given with --commands, such as a FIFO):
//   close     close the connections after what was sent (the listener stays)
//   unlisten  stop listening (connection attempts are refused); listen  listen again
//   stall     stop sending, keep the connections open; resume  go on sending
//   half      (go on and) send the first half of the next record, then stall; resume sends
//             the rest
//   vanish    drop the connections without a FIN or RST, as after a power loss (needs
//             CAP_NET_ADMIN; prints "vanish failed: ..." otherwise)
//   quit      close gracefully and end (also on SIGTERM and SIGINT)
// Standard output: "listening <addr:port>", "connected <peer>", "vanished", and at the end
// "last <n>": the number of the last record begun (first - 1 when none).
int run_exchange(int argc, char** argv);

}  // namespace ralvek::pbxsim
