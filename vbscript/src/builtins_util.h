// Helpers shared by the built-in function files, and their registration.
#pragma once

#include <initializer_list>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime.h"

namespace ralvek::vbscript::builtin {

using Args = std::vector<Value>;

inline bool given(const Args& a, std::size_t i) {
  return i < a.size() && !a[i].is_empty();
}
inline bool any_null(const Args& a, std::initializer_list<std::size_t> which) {
  for (std::size_t i : which)
    if (i < a.size() && a[i].is_null()) return true;
  return false;
}
inline Str text(const Value& v) {
  return to_string(v);
}
inline bool text_mode(const Args& a, std::size_t i) {
  return given(a, i) && to_long(a[i]) == 1;
}

inline Value str_value(Str s) {
  return Value::string(std::move(s));
}

inline std::int32_t count_arg(const Value& v) {
  std::int32_t n = to_long(v);
  if (n < 0) raise(err::kInvalidCall);
  return n;
}

using Table = std::unordered_map<std::string_view, Builtin>;
void add_strings(Table& t);
void add_numbers(Table& t);
void add_dates(Table& t);

}  // namespace ralvek::vbscript::builtin
