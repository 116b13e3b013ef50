// The VBScript engine's lexer, parser and .vbe decoder on arbitrary text, through the engine's
// public interface. The text is wrapped in a Sub that is never called, so nothing it says runs:
// inputs that could close the wrapper or reach objects are skipped, and the fuzzer can never
// start programs or touch files. The first byte chooses plain text or the encoded form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "vbscript/engine.h"

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

bool harmless(std::string_view text) {
  std::string l = lower(text);
  for (const char* word : {"sub", "createobject", "getobject", "execute", "eval"}) {
    if (l.find(word) != std::string::npos) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return 0;
  std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  bool encoded = data[0] % 2 == 1;
  if (encoded) {
    // Encoded blocks are decoded in place; the decoded text stays inside the wrapper.
    if (body.find("#@~^") == std::string_view::npos) return 0;
  } else if (!harmless(body) || body.find("#@~^") != std::string_view::npos) {
    return 0;
  }
  std::string script = "Sub FuzzWrapper()\r\n" + std::string(body) + "\r\nEnd Sub\r\n";
  ralvek::vbscript::Engine engine;
  engine.set_timeout_ms(2000);
  int errors = 0;
  engine.on_error([&](const ralvek::vbscript::ScriptError& error) {
    ++errors;
    if (error.number == 0 || error.description.empty()) __builtin_trap();  // every error says what
  });
  bool ok = engine.add_code(script);
  if (ok == engine.has_error() || ok == (errors == 1)) __builtin_trap();
  return 0;
}
