#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// The conversions and errors of the services' settings and socket tags, with the rules of the
// language the settings were first written for: a number is the leading number of a text,
// whole numbers round half to even, and a value outside the target range is an overflow.
namespace ralvek::vb {

// An error with a number and a description; only the description is ever shown.
class VbError : public std::runtime_error {
 public:
  VbError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

inline constexpr int kProgramError = 512;
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;

// An error the programs raise themselves: number 512 and the description given.
inline VbError ProgramError(const std::string& description) {
  return VbError(kProgramError, description);
}

// The leading decimal number of a text ("12abc" -> 12, " -3.5" -> -3.5), spaces and tabs
// before it skipped; 0 when the text does not start with a number.
double Val(std::string_view text);
// How many characters of the text Val reads (blanks before the number included); 0 when the
// text does not start with a number.
size_t ValLength(std::string_view text);

// Round half to even into the 16- and 32-bit ranges; VbError "Overflow" (6) outside them.
std::int16_t CInt(double value);
std::int32_t CLng(double value);

// A boolean setting: a number (0 false, anything else true) or the words true/false in any
// case; VbError "Type mismatch" (13) for any other text.
bool CBool(std::string_view text);

// Runs `convert(text)`; a "Type mismatch" in the setting `key` is raised again with the key and
// its text named ("Type mismatch: com_port=COM1", the text cut after 40 characters), since the
// bare description names neither.
template <class Convert>
auto converted(std::string_view key, std::string_view text, Convert convert) {
  try {
    return convert(std::string(text));
  } catch (const VbError& e) {
    if (e.number() != kTypeMismatch) throw;
    std::string description = e.what();
    description.append(": ").append(key).append("=").append(text.substr(0, 40));
    if (text.size() > 40) description.append("...");
    throw VbError(e.number(), description);
  }
}

}  // namespace ralvek::vb
