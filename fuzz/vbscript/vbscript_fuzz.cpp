// The VBScript engine on arbitrary text, through its public interface. The first byte chooses:
// bit 0 the encoded (.vbe) form; bit 1 whether the text runs. A text that does not run is wrapped
// in a Sub that is never called, so only the lexer, parser and decoder see it; a text that runs
// is added at top level (its statements run, its procedures may call each other) under a short
// time limit, so deep expressions, chains and recursion reach the interpreter. Inputs that could
// reach objects (and so files or programs) are skipped either way, as are, for the wrapped text,
// those that could close the wrapper.
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

bool harmless(std::string_view text, bool runs) {
  std::string l = lower(text);
  for (const char* word : {"createobject", "getobject", "execute", "eval"}) {
    if (l.find(word) != std::string::npos) return false;
  }
  return runs || l.find("sub") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return 0;
  std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  bool encoded = (data[0] & 1) != 0;
  bool runs = (data[0] & 2) != 0;
  if (encoded) {
    // Encoded blocks are decoded in place; the decoded text stays inside the wrapper.
    if (body.find("#@~^") == std::string_view::npos) return 0;
    runs = false;
  } else if (!harmless(body, runs) || body.find("#@~^") != std::string_view::npos) {
    return 0;
  }
  std::string script =
      runs ? std::string(body) : "Sub FuzzWrapper()\r\n" + std::string(body) + "\r\nEnd Sub\r\n";
  ralvek::vbscript::Engine engine;
  engine.set_timeout_ms(runs ? 500 : 2000);
  ralvek::vbscript::Limits limits;
  limits.max_memory = 256u << 20;
  engine.set_limits(limits);
  int errors = 0;
  engine.on_error([&](const ralvek::vbscript::ScriptError& error) {
    ++errors;
    if (error.number == 0 || error.description.empty()) __builtin_trap();  // every error says what
  });
  engine.on_timeout([&](long) { ++errors; });
  bool ok = engine.add_code(script);
  if (ok == engine.has_error() || ok == (errors == 1)) __builtin_trap();
  return 0;
}
