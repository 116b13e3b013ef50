// "Scripting.FileSystemObject" with its File, Folder, Files/Folders collections and TextStream.
// Paths accept `\` and `/`; a drive letter ("C:") fails with Path not found.
#pragma once

#include <string>
#include <string_view>

#include "value.h"

namespace ralvek::vbscript {

ObjectRef make_file_system_object();

// A script path made usable here: backslashes become slashes; raises on a drive letter.
std::string native_path(std::string_view script_path);

}  // namespace ralvek::vbscript
