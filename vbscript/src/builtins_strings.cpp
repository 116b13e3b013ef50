// Built-in string functions.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "builtins_util.h"
#include "ops.h"

namespace ralvek::vbscript::builtin {

namespace {

// Position (0-based) of `needle` in `hay` at or after `from`; npos when absent. Long searches
// look at the clock now and then, so that no search outlives the call's time limit.
std::size_t find(std::string_view hay, std::string_view needle, std::size_t from,
                 bool text_compare) {
  if (needle.size() > hay.size()) return std::string_view::npos;
  for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if ((i & 0xFFFF) == 0xFFFF) budget::check_deadline();
    if (compare_strings(hay.substr(i, needle.size()), needle, text_compare) == 0) return i;
  }
  return std::string_view::npos;
}

std::size_t rfind(std::string_view hay, std::string_view needle, std::size_t last_start,
                  bool text_compare) {
  if (needle.size() > hay.size()) return std::string_view::npos;
  std::size_t i = std::min(last_start, hay.size() - needle.size());
  while (true) {
    if ((i & 0xFFFF) == 0) budget::check_deadline();
    if (compare_strings(hay.substr(i, needle.size()), needle, text_compare) == 0) return i;
    if (i == 0) return std::string_view::npos;
    --i;
  }
}

// ---------------------------------------------------------------- strings

Value f_len(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  return Value::long_(static_cast<std::int32_t>(text(a[0]).size()));
}
// Length in bytes of the UTF-16 text VBScript keeps: two per character.
Value f_lenb(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  return Value::long_(static_cast<std::int32_t>(text(a[0]).size() * 2));
}
Value f_left(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  return str_value(s.substr(0, static_cast<std::size_t>(count_arg(a[1]))));
}
Value f_right(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count_arg(a[1])), s.size());
  return str_value(s.substr(s.size() - n));
}
Value f_mid(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  std::int32_t start = to_long(a[1]);
  if (start < 1) raise(err::kInvalidCall);
  std::size_t from = static_cast<std::size_t>(start - 1);
  if (from >= s.size()) return Value::string("");
  std::size_t n = given(a, 2) ? static_cast<std::size_t>(count_arg(a[2])) : Str::npos;
  return str_value(s.substr(from, n));
}
Value f_instr(Runtime&, Args& a) {
  std::size_t base = 0;
  std::size_t start = 1;
  if (a.size() >= 3) {
    if (a[0].is_null()) raise(err::kInvalidUseOfNull);
    std::int32_t st = to_long(a[0]);
    if (st < 1) raise(err::kInvalidCall);
    start = static_cast<std::size_t>(st);
    base = 1;
  }
  if (any_null(a, {base, base + 1})) return Value::null();
  Str hay = text(a[base]), needle = text(a[base + 1]);
  bool tc = text_mode(a, base + 2);
  if (start > hay.size()) return Value::long_(0);
  if (needle.empty()) return Value::long_(static_cast<std::int32_t>(start));
  std::size_t at = find(hay, needle, start - 1, tc);
  return Value::long_(at == Str::npos ? 0 : static_cast<std::int32_t>(at + 1));
}
Value f_instrrev(Runtime&, Args& a) {
  if (any_null(a, {0, 1})) return Value::null();
  Str hay = text(a[0]), needle = text(a[1]);
  std::int32_t start = given(a, 2) ? to_long(a[2]) : -1;
  if (start == 0 || start < -1) raise(err::kInvalidCall);
  std::size_t last = start == -1 ? hay.size() : static_cast<std::size_t>(start);
  if (needle.empty()) return Value::long_(static_cast<std::int32_t>(std::min(last, hay.size())));
  if (last > hay.size()) return Value::long_(0);
  if (last < needle.size()) return Value::long_(0);
  std::size_t at =
      rfind(std::string_view(hay).substr(0, last), needle, last - needle.size(), text_mode(a, 3));
  return Value::long_(at == Str::npos ? 0 : static_cast<std::int32_t>(at + 1));
}
Value f_replace(Runtime&, Args& a) {
  if (any_null(a, {0, 1, 2})) raise(err::kInvalidUseOfNull);
  Str s = text(a[0]), what = text(a[1]), with = text(a[2]);
  std::int32_t start = given(a, 3) ? to_long(a[3]) : 1;
  std::int32_t count = given(a, 4) ? to_long(a[4]) : -1;
  if (start < 1 || count < -1) raise(err::kInvalidCall);
  bool tc = text_mode(a, 5);
  // The result starts at `start`, as in VBScript.
  if (static_cast<std::size_t>(start - 1) >= s.size()) return Value::string("");
  Str src = s.substr(static_cast<std::size_t>(start - 1));
  if (what.empty() || count == 0) return str_value(src);
  Str out;
  std::size_t pos = 0;
  std::int32_t done = 0;
  while (count == -1 || done < count) {
    std::size_t at = find(src, what, pos, tc);
    if (at == Str::npos) break;
    out.append(src, pos, at - pos);
    out += with;
    budget::check_string_length(out.size());
    pos = at + what.size();
    ++done;
  }
  out.append(src, pos, Str::npos);
  return str_value(std::move(out));
}
Value make_string_array(std::vector<Str> parts) {
  auto arr = std::make_shared<Array>();
  arr->upper.push_back(static_cast<std::int32_t>(parts.size()) - 1);
  arr->items.reserve(parts.size());
  for (Str& p : parts) arr->items.push_back(Value::string(std::move(p)));
  return Value::array(std::move(arr));
}
Value f_split(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  Str delim = a.size() > 1 && !a[1].is_empty() ? text(a[1]) : to_str(" ");
  std::int32_t limit = given(a, 2) ? to_long(a[2]) : -1;
  bool tc = text_mode(a, 3);
  std::vector<Str> parts;
  if (s.empty()) return make_string_array({});
  if (delim.empty()) return make_string_array({s});
  std::size_t pos = 0;
  while (limit == -1 || static_cast<std::int32_t>(parts.size()) < limit - 1) {
    std::size_t at = find(s, delim, pos, tc);
    if (at == Str::npos) break;
    parts.push_back(s.substr(pos, at - pos));
    pos = at + delim.size();
  }
  parts.push_back(s.substr(pos));
  return make_string_array(std::move(parts));
}
Value f_join(Runtime&, Args& a) {
  if (!a[0].is_array() || a[0].array_ref().upper.size() != 1) raise(err::kTypeMismatch);
  Str delim = a.size() > 1 && !a[1].is_empty() ? text(a[1]) : to_str(" ");
  Str out;
  bool first = true;
  for (const Value& v : a[0].array_ref().items) {
    if (!first) out += delim;
    first = false;
    if (!v.is_null()) out += text(v);
    budget::check_string_length(out.size());
  }
  return str_value(std::move(out));
}
// The strings of a one-dimensional array that hold `value` (or, with include False, do not).
Value f_filter(Runtime&, Args& a) {
  if (a[0].is_null() || a[1].is_null()) raise(err::kInvalidUseOfNull);
  if (!a[0].is_array() || a[0].array_ref().upper.size() != 1) raise(err::kTypeMismatch);
  Str value = text(a[1]);
  bool include = !given(a, 2) || to_bool(a[2]);
  bool tc = text_mode(a, 3);
  std::vector<Str> kept;
  for (const Value& item : a[0].array_ref().items) {
    Str s = text(item);
    if ((find(s, value, 0, tc) != Str::npos) == include) kept.push_back(std::move(s));
  }
  return make_string_array(std::move(kept));
}
// JScript's escape(): letters, digits and @*_+-./ stay, every other byte becomes %XX.
Value f_escape(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  static const char kHex[] = "0123456789ABCDEF";
  Str s = text(a[0]);
  Str out;
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || (c != 0 && std::strchr("@*_+-./", c) != nullptr)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  budget::check_string_length(out.size());
  return str_value(std::move(out));
}
// %XX and %uXXXX back to characters (one byte each; a %u code above 255 becomes '?').
Value f_unescape(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  auto hex = [&](std::size_t at, std::size_t digits, unsigned& v) {
    if (at + digits > s.size()) return false;
    v = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (!std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
      v = v * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return true;
  };
  Str out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned v;
    if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == 'u' && hex(i + 2, 4, v)) {
      out += v <= 255 ? static_cast<char>(v) : '?';
      i += 5;
    } else if (s[i] == '%' && hex(i + 1, 2, v)) {
      out += static_cast<char>(v);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return str_value(std::move(out));
}
Value trim_impl(const Value& v, bool left, bool right) {
  if (v.is_null()) return v;
  Str s = text(v);
  std::size_t b = 0, e = s.size();
  if (left)
    while (b < e && s[b] == ' ') ++b;
  if (right)
    while (e > b && s[e - 1] == ' ') --e;
  return str_value(s.substr(b, e - b));
}
Value f_trim(Runtime&, Args& a) {
  return trim_impl(a[0], true, true);
}
Value f_ltrim(Runtime&, Args& a) {
  return trim_impl(a[0], true, false);
}
Value f_rtrim(Runtime&, Args& a) {
  return trim_impl(a[0], false, true);
}
Value f_ucase(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return str_value(std::move(s));
}
Value f_lcase(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Str s = text(a[0]);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return str_value(std::move(s));
}
Value f_space(Runtime&, Args& a) {
  std::size_t n = static_cast<std::size_t>(count_arg(a[0]));
  budget::check_string_length(n);
  return str_value(Str(n, ' '));
}
Value f_string(Runtime&, Args& a) {
  if (a[1].is_null()) return a[1];
  std::size_t n = static_cast<std::size_t>(count_arg(a[0]));
  char c;
  if (a[1].is_string()) {
    if (a[1].as_string_raw().empty()) raise(err::kInvalidCall);
    c = a[1].as_string_raw()[0];
  } else {
    c = static_cast<char>(to_long(a[1]) & 0xFF);
  }
  budget::check_string_length(n);
  return str_value(Str(n, c));
}
Value f_strcomp(Runtime&, Args& a) {
  if (any_null(a, {0, 1})) return Value::null();
  return Value::integer(
      static_cast<std::int16_t>(compare_strings(text(a[0]), text(a[1]), text_mode(a, 2))));
}
Value f_strreverse(Runtime&, Args& a) {
  Str s = text(a[0]);
  std::reverse(s.begin(), s.end());
  return str_value(std::move(s));
}
Value f_chr(Runtime&, Args& a) {
  std::int32_t c = to_long(a[0]);
  if (c < 0 || c > 255) raise(err::kInvalidCall);
  return str_value(Str(1, static_cast<char>(c)));
}
Value f_asc(Runtime&, Args& a) {
  Str s = text(a[0]);
  if (s.empty()) raise(err::kInvalidCall);
  return Value::integer(static_cast<unsigned char>(s[0]));
}

}  // namespace

void add_strings(Table& t) {
  t["len"] = {1, 1, f_len};
  t["lenb"] = {1, 1, f_lenb};
  t["filter"] = {2, 4, f_filter};
  t["escape"] = {1, 1, f_escape};
  t["unescape"] = {1, 1, f_unescape};
  t["left"] = {2, 2, f_left};
  t["right"] = {2, 2, f_right};
  t["mid"] = {2, 3, f_mid};
  t["instr"] = {2, 4, f_instr};
  t["instrrev"] = {2, 4, f_instrrev};
  t["replace"] = {3, 6, f_replace};
  t["split"] = {1, 4, f_split};
  t["join"] = {1, 2, f_join};
  t["trim"] = {1, 1, f_trim};
  t["ltrim"] = {1, 1, f_ltrim};
  t["rtrim"] = {1, 1, f_rtrim};
  t["ucase"] = {1, 1, f_ucase};
  t["lcase"] = {1, 1, f_lcase};
  t["space"] = {1, 1, f_space};
  t["string"] = {2, 2, f_string};
  t["strcomp"] = {2, 3, f_strcomp};
  t["strreverse"] = {1, 1, f_strreverse};
  t["chr"] = {1, 1, f_chr};
  t["asc"] = {1, 1, f_asc};
}

}  // namespace ralvek::vbscript::builtin
