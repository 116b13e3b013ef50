#pragma once
// What both front ends read from the process at start.
// REQUIRES: a QCoreApplication (or QApplication) exists.
#include <filesystem>

namespace ralvek::console {

// $RALVEK_HOME when set, else the folder of the executable: where console.tmp lives.
std::filesystem::path ProgramDir();
// The decimal separator of the system's number format ("." when it is not one ASCII character).
char DecimalSeparator();

}  // namespace ralvek::console
