#pragma once

#include <map>
#include <stdexcept>
#include <string>

namespace ralvek::e2e {

// A strict reader of the Prometheus text exposition format, as a scraper would take a file
// of node_exporter's textfile collector: every line ends in LF; "# HELP" and "# TYPE" come once
// a family, TYPE before its samples; a family's samples are together; names and label names
// are well formed, label values use only the escapes \\ \" \n, no label twice; values are
// numbers; a counter's name ends in _total. Throws std::runtime_error naming the line.
// Returns every sample: `name{label="value",...}` as written -> value.
struct PrometheusText {
  std::map<std::string, double> samples;
  std::map<std::string, std::string> types;  // family -> type
};
PrometheusText parse_prometheus_text(const std::string& text);

}  // namespace ralvek::e2e
