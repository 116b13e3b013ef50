#pragma once
// The handful of VB text and number rules the console's commands are defined by:
// Val, IsNumeric, CLng rounding/overflow, Split with a limit, blank trimming.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ralvek::console {

// A run-time failure of a console operation. what() is the description shown after "Error:".
class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Leading decimal number of the text (sign, fraction, exponent allowed); 0 when none.
double Val(std::string_view text);

// The value when the whole text (spaces around allowed) reads as a number, else nothing.
std::optional<double> NumericValue(std::string_view text);
inline bool IsNumeric(std::string_view text) { return NumericValue(text).has_value(); }

// Rounds half to even; throws RunTimeError("Overflow") outside the signed 32-bit range.
std::int32_t CLng(double value);
// CLng of numeric text; throws RunTimeError("Type mismatch") when the text is not numeric.
std::int32_t CLng(std::string_view text);

std::string LCase(std::string_view text);
std::string UCase(std::string_view text);
// Removes leading and trailing spaces (only the space character).
std::string TrimSpaces(std::string_view text);
// Splits at every occurrence of sep; with limit > 0 the last piece keeps the rest of the text.
// Empty text gives no pieces at all.
std::vector<std::string> Split(std::string_view text, char sep, int limit = -1);
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace ralvek::console
