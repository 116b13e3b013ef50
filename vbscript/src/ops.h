// VBScript's operators on values, with its promotion rules (Integer -> Long -> Double on overflow,
// Null propagation, "+" joining two strings, comparison of numbers with strings).
#pragma once

#include "value.h"

namespace ralvek::vbscript {

enum class BinOp {
  Add,
  Sub,
  Mul,
  Div,
  IntDiv,
  Mod,
  Pow,
  Concat,
  Eq,
  Ne,
  Lt,
  Gt,
  Le,
  Ge,
  Is,
  And,
  Or,
  Xor,
  Eqv,
  Imp,
};

// `left_literal`/`right_literal`: the operand was written as a literal in the script, which
// changes how a number compares with a string (a literal takes the other operand's kind).
Value binary(BinOp op, const Value& left, const Value& right, bool left_literal = false,
             bool right_literal = false);
Value negate(const Value& v);
Value logical_not(const Value& v);

// -1, 0, 1; `text` compares strings without regard to case. Null operands are the caller's
// business (they make the comparison Null).
int compare(const Value& left, const Value& right, bool text = false, bool left_literal = false,
            bool right_literal = false);
int compare_strings(std::string_view a, std::string_view b, bool text);

}  // namespace ralvek::vbscript
