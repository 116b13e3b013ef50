// Splits script text into tokens: names (case-folded), numbers, strings, dates, operators and
// statement ends. Comments and `_` line continuations vanish here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "budget.h"

namespace ralvek::vbscript {

enum class Tok {
  Name,       // identifier or keyword; `lower` holds the case-folded text
  Integer,    // whole-number literal in `number`
  Float,      // floating literal in `number`
  String,     // `text` without quotes, "" undoubled
  Date,       // #...# literal; `text` holds what stood between the hashes
  Op,         // operator or punctuation in `text`: + - * / \ ^ & = <> < > <= >= ( ) , . :
  EndOfLine,  // line end or ':' ends a statement; `text` is "\n" or ":"
  End,
};

struct Token {
  Tok kind = Tok::End;
  std::string text;
  std::string lower;
  double number = 0;
  int line = 1;
  int column = 1;
  bool space_before = false;
};

struct LexError {
  int number;
  int line;
  int column;
};

// Tokens count against the memory bound of the running call, as script values do.
using TokenList = std::vector<Token, TrackedAlloc<Token>>;

// Throws LexError on an unterminated string, an invalid character or number, and the time-out
// error when the call's deadline passes.
TokenList tokenize(std::string_view source);

}  // namespace ralvek::vbscript
