#include "table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ralvek::bench {

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> result;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (b[i] > 0) result.push_back(a[i] / b[i]);
  }
  return result;
}

std::string short_number(double value) {
  char text[32];
  double magnitude = std::fabs(value);
  if (magnitude >= 1e9) {
    std::snprintf(text, sizeof(text), "%.3gG", value / 1e9);
  } else if (magnitude >= 1e6) {
    std::snprintf(text, sizeof(text), "%.3gM", value / 1e6);
  } else if (magnitude >= 1e4) {
    std::snprintf(text, sizeof(text), "%.3gk", value / 1e3);
  } else if (magnitude >= 100) {
    std::snprintf(text, sizeof(text), "%.0f", value);
  } else {
    std::snprintf(text, sizeof(text), "%.3g", value);
  }
  return text;
}

std::string format_table(const std::vector<Row>& rows) {
  std::vector<Row> all{{"benchmark", "unit", "service", "peer", "ratio", "goal", "verdict"}};
  all.insert(all.end(), rows.begin(), rows.end());
  std::size_t w[7] = {};
  for (const auto& r : all) {
    const std::string* cells[7] = {&r.benchmark, &r.unit, &r.a, &r.b, &r.ratio, &r.goal, &r.verdict};
    for (int i = 0; i < 7; ++i) w[i] = std::max(w[i], cells[i]->size());
  }
  std::string out;
  for (std::size_t n = 0; n < all.size(); ++n) {
    const auto& r = all[n];
    const std::string* cells[7] = {&r.benchmark, &r.unit, &r.a, &r.b, &r.ratio, &r.goal, &r.verdict};
    std::string line;
    for (int i = 0; i < 7; ++i) {
      std::string cell = *cells[i];
      // Text columns to the left, numbers to the right.
      bool left = i == 0 || i == 1 || i >= 5;
      std::string pad(w[i] - cell.size(), ' ');
      line += (left ? cell + pad : pad + cell) + (i < 6 ? "  " : "");
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
    if (n == 0) {
      std::size_t total = 0;
      for (auto x : w) total += x + 2;
      out += std::string(total - 2, '-') + "\n";
    }
  }
  return out;
}

}  // namespace ralvek::bench
