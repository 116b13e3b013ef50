#pragma once
// Test double of KzuOutput: records every error box and console line.
#include <string>
#include <utility>
#include <vector>

#include "kzu_output.h"

namespace ralvek::console {

class RecordingOutput final : public KzuOutput {
 public:
  void ShowError(std::string_view label, std::string_view description) override {
    boxes.emplace_back(std::string(label), std::string(description));
  }
  void PutToConsole(const std::vector<std::string>& messages) override {
    lines.insert(lines.end(), messages.begin(), messages.end());
  }
  std::vector<std::pair<std::string, std::string>> boxes;
  std::vector<std::string> lines;
};

// Bytes from hex text such as "01 FE 03".
inline std::string HexBytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 3) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

}  // namespace ralvek::console
