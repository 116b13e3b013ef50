#pragma once

#include <filesystem>
#include <string>

namespace ralvek::figures {

// `<program> --status [--json]`: prints the figures of the instance running on `program_dir`,
// as a table or as JSON, from its status file; never touches the instance itself. Returns
// the exit status: 0, or 1 (with a line on standard error) when no instance runs.
int print_status(const std::filesystem::path& program_dir, const std::string& program, bool json);

// True when the argument text (trimmed, lower case) asks for the status; sets `json`.
bool is_status_switch(const std::string& switch_text, bool& json);

}  // namespace ralvek::figures
