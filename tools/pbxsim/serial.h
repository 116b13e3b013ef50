#pragma once

namespace ralvek::pbxsim {

// pbxsim serial: a PBX printing numbered call records on a serial line. Without --device it
// opens a pseudo-terminal pair, prints the path a collector should open, and writes to it.
int run_serial(int argc, char** argv);

}  // namespace ralvek::pbxsim
