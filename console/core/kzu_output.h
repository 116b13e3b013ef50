#pragma once
// Where the KZU operations report: the error box and the console text.
// The console core forwards both to its front end; pbxsim passes a silent sink.
#include <string_view>
#include <vector>
#include <string>

namespace ralvek::console {

class KzuOutput {
 public:
  virtual ~KzuOutput() = default;
  // A modal box titled "Error": the label, a line break, the description.
  virtual void ShowError(std::string_view label, std::string_view description) = 0;
  // Appends each message to the console as one line.
  virtual void PutToConsole(const std::vector<std::string>& messages) = 0;
};

class SilentKzuOutput final : public KzuOutput {
 public:
  void ShowError(std::string_view, std::string_view) override {}
  void PutToConsole(const std::vector<std::string>&) override {}
};

}  // namespace ralvek::console
