#include "options.h"

namespace ralvek::pbxsim {

Options::Options(int argc, char** argv, std::map<std::string, std::string> defaults)
    : values_(std::move(defaults)) {
  for (int i = 2; i < argc; ++i) {
    std::string name = argv[i];
    if (name.rfind("--", 0) != 0 || !values_.count(name.substr(2))) {
      throw std::invalid_argument("unknown option: " + name);
    }
    if (i + 1 >= argc) throw std::invalid_argument("missing value for " + name);
    values_[name.substr(2)] = argv[++i];
  }
}

const std::string& Options::text(const std::string& name) const { return values_.at(name); }

std::uint64_t Options::number(const std::string& name) const {
  const auto& value = text(name);
  size_t used = 0;
  auto result = std::stoull(value, &used);
  if (used != value.size()) throw std::invalid_argument("not a number: --" + name + " " + value);
  return result;
}

double Options::real(const std::string& name) const { return std::stod(text(name)); }

std::pair<std::string, unsigned short> host_port(const std::string& text) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos) throw std::invalid_argument("expected host:port: " + text);
  int port = std::stoi(text.substr(colon + 1));
  if (port < 1 || port > 65535) throw std::invalid_argument("bad port: " + text);
  return {text.substr(0, colon), static_cast<unsigned short>(port)};
}

}  // namespace ralvek::pbxsim
