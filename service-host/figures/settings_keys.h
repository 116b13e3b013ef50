#pragma once

#include <vector>

#include "ini/settings_check.h"

namespace ralvek::figures {

// A service's `--check` table with the keys the figures read appended: silence_minutes and
// silence_hours for a collector (`sources`), metrics_file for every service.
std::vector<ini::KnownKey> with_figures_keys(std::vector<ini::KnownKey> keys, bool sources);

}  // namespace ralvek::figures
