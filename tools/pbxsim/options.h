#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>

namespace ralvek::pbxsim {

// "--name value" pairs after the mode word. Unknown names are an error so typos do not pass
// silently.
class Options {
 public:
  Options(int argc, char** argv, std::map<std::string, std::string> defaults);
  const std::string& text(const std::string& name) const;
  std::uint64_t number(const std::string& name) const;
  double real(const std::string& name) const;

 private:
  std::map<std::string, std::string> values_;
};

// "host:port" split in two; throws std::invalid_argument.
std::pair<std::string, unsigned short> host_port(const std::string& text);

}  // namespace ralvek::pbxsim
