// Turns script text into a Program; a syntax error is a ParseError with VBScript's number.
#pragma once

#include <string>
#include <string_view>

#include "ast.h"

namespace ralvek::vbscript {

struct ParseError {
  int number;
  std::string description;
  int line;
  int column;
};

// `chunk` is stored in every procedure so that run-time errors find their source text.
// Nesting of blocks and expressions is bounded (error 1059) so that no text exhausts the stack.
Program parse(std::string_view source, int chunk);

}  // namespace ralvek::vbscript
