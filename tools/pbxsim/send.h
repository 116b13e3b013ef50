#pragma once

namespace ralvek::pbxsim {

// pbxsim tcp|udp: a PBX sending numbered call records from a chosen source address.
int run_send(int argc, char** argv);
// pbxsim check: proves that the records of a source are in the data files once each, whole.
int run_check(int argc, char** argv);

}  // namespace ralvek::pbxsim
