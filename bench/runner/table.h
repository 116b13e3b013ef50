#pragma once

#include <string>
#include <vector>

// The medians and the one result table of a benchmark run.
namespace ralvek::bench {

// Median of the values (the mean of the middle two for an even count); 0 for none.
double median(std::vector<double> values);

// Ratios a[i] / b[i] of paired measurements of the same run; pairs with b[i] <= 0 are left out.
std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b);

// A number in a few significant digits: 1234567 -> "1.23M", 0.0421 -> "0.0421".
std::string short_number(double value);

struct Row {
  std::string benchmark;  // what was measured
  std::string unit;       // MB/s, records/s, KiB ...
  std::string a;          // the service's median
  std::string b;          // the peer's median, or "-"
  std::string ratio;      // median of the paired ratios, or "-"
  std::string goal;       // ">= 0.80x", "<= 16384", or ""
  std::string verdict;    // "met", "MISSED", "n/a", or a failure of the run itself
};

// Fixed-width text table with a header line.
std::string format_table(const std::vector<Row>& rows);

}  // namespace ralvek::bench
