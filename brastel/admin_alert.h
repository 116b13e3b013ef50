#pragma once

#include <string>
#include <vector>

namespace ralvek::brastel {

// The alert command for one critical entry: the template is split into words as a shell
// would split it (quotes respected, nothing expanded), then every "%1" inside the words is
// replaced by `text` with each CR LF made ". ". The result is an argument vector that is
// started without a shell, so whatever characters the text holds stay inside one argument.
// An empty or blank template gives an empty vector.
std::vector<std::string> alert_argv(const std::string& strAdminAlert, const std::string& text);

}  // namespace ralvek::brastel
