#include "user_script.h"

namespace ralvek::serrak {

std::vector<std::string> script_error_lines(const ScriptErrorInfo& error) {
  return {"Script Error", "Description: " + error.description, "Code: " + error.line_text,
          "Line: " + std::to_string(error.line), "Source :" + error.source};
}

std::vector<std::string> script_timeout_lines(long limit_ms) {
  return {"Script Timeout",
          std::string(1, '(').append(std::to_string(limit_ms)).append(" miliseconds)")};
}

}  // namespace ralvek::serrak
