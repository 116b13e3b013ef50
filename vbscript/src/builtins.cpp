// Built-in functions and intrinsic constants.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "datetime.h"
#include "ops.h"
#include "runtime.h"

namespace ralvek::vbscript {

namespace {

using Args = std::vector<Value>;

bool given(const Args& a, std::size_t i) {
  return i < a.size() && !a[i].is_empty();
}
bool any_null(const Args& a, std::initializer_list<std::size_t> which) {
  for (std::size_t i : which)
    if (i < a.size() && a[i].is_null()) return true;
  return false;
}
Str text(const Value& v) {
  return to_string(v);
}
bool text_mode(const Args& a, std::size_t i) {
  return given(a, i) && to_long(a[i]) == 1;
}

Value str_value(Str s) {
  return Value::string(std::move(s));
}

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

std::int32_t count_arg(const Value& v) {
  std::int32_t n = to_long(v);
  if (n < 0) raise(err::kInvalidCall);
  return n;
}

// ---------------------------------------------------------------- strings

Value f_len(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  return Value::long_(static_cast<std::int32_t>(text(a[0]).size()));
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
  if (any_null(a, {0, 1, 2})) return Value::null();
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

// ---------------------------------------------------------------- conversions and numbers

Value f_cstr(Runtime&, Args& a) {
  return str_value(text(a[0]));
}
Value f_cint(Runtime&, Args& a) {
  return Value::integer(to_integer(a[0]));
}
Value f_clng(Runtime&, Args& a) {
  return Value::long_(to_long(a[0]));
}
Value f_cdbl(Runtime&, Args& a) {
  return Value::number(to_double(a[0]));
}
Value f_cbool(Runtime&, Args& a) {
  return Value::boolean(to_bool(a[0]));
}
Value f_cdate(Runtime&, Args& a) {
  return Value::date(to_date(a[0]));
}
Value f_cbyte(Runtime&, Args& a) {
  std::int32_t n = to_long(a[0]);
  if (n < 0 || n > 255) raise(err::kOverflow);
  return Value::integer(static_cast<std::int16_t>(n));
}

Value keep_kind(const Value& v, double r) {
  if (v.type() == Type::Integer || v.type() == Type::Long || v.type() == Type::Boolean ||
      v.is_empty())
    return Value::whole(static_cast<std::int64_t>(r));
  if (v.type() == Type::Date) return Value::date(r);
  return Value::number(r);
}
Value f_int(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Value v = scalar(a[0]);
  return keep_kind(v, std::floor(to_double(v)));
}
Value f_fix(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Value v = scalar(a[0]);
  return keep_kind(v, std::trunc(to_double(v)));
}
Value f_abs(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Value v = scalar(a[0]);
  return keep_kind(v, std::fabs(to_double(v)));
}
Value f_sgn(Runtime&, Args& a) {
  double d = to_double(a[0]);
  return Value::integer(d > 0 ? 1 : d < 0 ? -1 : 0);
}
Value f_round(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  Value v = scalar(a[0]);
  std::int32_t digits = given(a, 1) ? to_long(a[1]) : 0;
  if (digits < 0) raise(err::kInvalidCall);
  double scale = std::pow(10.0, digits);
  double r = std::nearbyint(to_double(v) * scale) / scale;
  if (digits == 0) return keep_kind(v, r);
  return v.type() == Type::Integer || v.type() == Type::Long ? v : Value::number(r);
}
Value math1(Args& a, double (*fn)(double), bool positive) {
  double d = to_double(a[0]);
  if (positive && d < 0) raise(err::kInvalidCall);
  double r = fn(d);
  if (!std::isfinite(r)) raise(err::kInvalidCall);
  return Value::number(r);
}
Value f_sqr(Runtime&, Args& a) {
  return math1(
      a, [](double d) { return std::sqrt(d); }, true);
}
Value f_exp(Runtime&, Args& a) {
  return math1(
      a, [](double d) { return std::exp(d); }, false);
}
Value f_log(Runtime&, Args& a) {
  if (to_double(a[0]) <= 0) raise(err::kInvalidCall);
  return math1(
      a, [](double d) { return std::log(d); }, true);
}
Value f_atn(Runtime&, Args& a) {
  return math1(
      a, [](double d) { return std::atan(d); }, false);
}
Value f_sin(Runtime&, Args& a) {
  return math1(
      a, [](double d) { return std::sin(d); }, false);
}
Value f_cos(Runtime&, Args& a) {
  return math1(
      a, [](double d) { return std::cos(d); }, false);
}
Value f_tan(Runtime&, Args& a) {
  return math1(
      a, [](double d) { return std::tan(d); }, false);
}
Value radix(const Value& v, const char* fmt) {
  if (v.is_null()) return v;
  std::int32_t n = to_long(v);
  char buf[32];
  std::uint32_t u = v.type() == Type::Integer || (n >= INT16_MIN && n < 0 && v.type() != Type::Long)
                        ? static_cast<std::uint16_t>(n)
                        : static_cast<std::uint32_t>(n);
  std::snprintf(buf, sizeof buf, fmt, u);
  return Value::string(buf);
}
Value f_hex(Runtime&, Args& a) {
  return radix(scalar(a[0]), "%X");
}
Value f_oct(Runtime&, Args& a) {
  return radix(scalar(a[0]), "%o");
}
Value f_rnd(Runtime& rt, Args& a) {
  double n = given(a, 0) ? to_double(a[0]) : 1;
  if (n == 0) return Value::number(rt.last_rnd);
  // The linear congruential generator of VBScript's Rnd.
  rt.rnd_seed = (rt.rnd_seed * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
  rt.last_rnd = static_cast<float>(rt.rnd_seed) / 16777216.0f;
  return Value::number(rt.last_rnd);
}
Value f_randomize(Runtime& rt, Args& a) {
  double seed =
      given(a, 0)
          ? to_double(a[0])
          : static_cast<double>(std::chrono::steady_clock::now().time_since_epoch().count());
  rt.rnd_seed = static_cast<std::uint32_t>(static_cast<std::int64_t>(seed)) & 0xFFFFFFu;
  return Value();
}

// ---------------------------------------------------------------- inspection and arrays

Value f_isempty(Runtime&, Args& a) {
  return Value::boolean(a[0].is_empty());
}
Value f_isnull(Runtime&, Args& a) {
  return Value::boolean(a[0].is_null());
}
Value f_isarray(Runtime&, Args& a) {
  return Value::boolean(a[0].is_array());
}
Value f_isobject(Runtime&, Args& a) {
  return Value::boolean(a[0].is_object());
}
Value f_isnumeric(Runtime&, Args& a) {
  const Value& v = a[0];
  if (v.is_string()) {
    double d;
    return Value::boolean(parse_number(v.as_string_raw(), d));
  }
  return Value::boolean(v.is_numeric_type() && v.type() != Type::Date);
}
Value f_isdate(Runtime&, Args& a) {
  if (a[0].type() == Type::Date) return Value::boolean(true);
  if (!a[0].is_string()) return Value::boolean(false);
  double serial;
  return Value::boolean(datetime::parse(a[0].as_string_raw(), serial));
}
Value f_typename(Runtime&, Args& a) {
  return Value::string(type_name(a[0]));
}
Value f_vartype(Runtime&, Args& a) {
  return Value::integer(static_cast<std::int16_t>(var_type(a[0])));
}
Value f_array(Runtime&, Args& a) {
  auto arr = std::make_shared<Array>();
  arr->upper.push_back(static_cast<std::int32_t>(a.size()) - 1);
  for (Value& v : a) arr->items.push_back(std::move(v));
  return Value::array(std::move(arr));
}
std::size_t dimension(const Args& a, const Array& arr) {
  std::int32_t dim = given(a, 1) ? to_long(a[1]) : 1;
  if (dim < 1 || static_cast<std::size_t>(dim) > arr.upper.size()) raise(err::kSubscript);
  return static_cast<std::size_t>(dim - 1);
}
Value f_ubound(Runtime&, Args& a) {
  if (!a[0].is_array()) raise(err::kTypeMismatch);
  const Array& arr = a[0].array_ref();
  return Value::long_(arr.upper[dimension(a, arr)]);
}
Value f_lbound(Runtime&, Args& a) {
  if (!a[0].is_array()) raise(err::kTypeMismatch);
  dimension(a, a[0].array_ref());
  return Value::long_(0);
}

// ---------------------------------------------------------------- dates

Value f_now(Runtime&, Args&) {
  return Value::date(datetime::now());
}
Value f_date(Runtime&, Args&) {
  return Value::date(std::trunc(datetime::now()));
}
Value f_time(Runtime&, Args&) {
  double n = datetime::now();
  return Value::date(n - std::trunc(n));
}
Value f_timer(Runtime&, Args&) {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  double frac = std::chrono::duration<double>(now.time_since_epoch()).count();
  frac -= std::floor(frac);
  return Value::number(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec +
                       std::floor(frac * 100) / 100);
}
datetime::Parts parts(const Value& v) {
  return datetime::split(to_date(v));
}
Value f_year(Runtime&, Args& a) {
  return a[0].is_null() ? a[0] : Value::integer(static_cast<std::int16_t>(parts(a[0]).year));
}
Value f_month(Runtime&, Args& a) {
  return a[0].is_null() ? a[0] : Value::integer(static_cast<std::int16_t>(parts(a[0]).month));
}
Value f_day(Runtime&, Args& a) {
  return a[0].is_null() ? a[0] : Value::integer(static_cast<std::int16_t>(parts(a[0]).day));
}
Value f_hour(Runtime&, Args& a) {
  return a[0].is_null() ? a[0] : Value::integer(static_cast<std::int16_t>(parts(a[0]).hour));
}
Value f_minute(Runtime&, Args& a) {
  return a[0].is_null() ? a[0] : Value::integer(static_cast<std::int16_t>(parts(a[0]).minute));
}
Value f_second(Runtime&, Args& a) {
  return a[0].is_null() ? a[0] : Value::integer(static_cast<std::int16_t>(parts(a[0]).second));
}
Value f_weekday(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  int first = given(a, 1) ? to_long(a[1]) : 1;
  if (first == 0) first = 1;
  int w = datetime::weekday(to_date(a[0]));
  return Value::integer(static_cast<std::int16_t>((w - first + 7) % 7 + 1));
}
Value f_monthname(Runtime&, Args& a) {
  std::int32_t m = to_long(a[0]);
  if (m < 1 || m > 12) raise(err::kInvalidCall);
  return Value::string(datetime::month_name(m, given(a, 1) && to_bool(a[1])));
}
Value f_weekdayname(Runtime&, Args& a) {
  std::int32_t d = to_long(a[0]);
  int first = given(a, 2) ? to_long(a[2]) : 1;
  if (first == 0) first = 1;
  if (d < 1 || d > 7) raise(err::kInvalidCall);
  return Value::string(
      datetime::weekday_name((d - 1 + first - 1) % 7 + 1, given(a, 1) && to_bool(a[1])));
}
Value f_dateserial(Runtime&, Args& a) {
  std::int32_t y = to_long(a[0]);
  if (y >= 0 && y < 100) y += y < 30 ? 2000 : 1900;
  return Value::date(datetime::from_date(y, to_long(a[1]), to_long(a[2])));
}
Value f_timeserial(Runtime&, Args& a) {
  double t = (to_long(a[0]) * 3600.0 + to_long(a[1]) * 60.0 + to_long(a[2])) / 86400.0;
  return Value::date(t);
}
Value f_datevalue(Runtime&, Args& a) {
  return Value::date(std::trunc(to_date(a[0])));
}
Value f_timevalue(Runtime&, Args& a) {
  double d = to_date(a[0]);
  return Value::date(std::fabs(d - std::trunc(d)));
}

std::string interval_of(const Value& v) {
  std::string s = to_std_string(v);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
double add_months(double serial, std::int64_t months) {
  datetime::Parts p = datetime::split(serial);
  std::int64_t total = p.year * 12LL + (p.month - 1) + months;
  int y = static_cast<int>(total / 12), m = static_cast<int>(total % 12) + 1;
  // The day is clipped to the end of the target month.
  int last = static_cast<int>(datetime::from_date(y, m + 1, 1) - datetime::from_date(y, m, 1));
  double day = datetime::from_date(y, m, std::min(p.day, last));
  double time = std::fabs(serial - std::trunc(serial));
  return day + time;
}
Value f_dateadd(Runtime&, Args& a) {
  std::string iv = interval_of(a[0]);
  double n = std::trunc(to_double(a[1]));
  double d = to_date(a[2]);
  double r;
  if (iv == "yyyy")
    r = add_months(d, static_cast<std::int64_t>(n) * 12);
  else if (iv == "q")
    r = add_months(d, static_cast<std::int64_t>(n) * 3);
  else if (iv == "m")
    r = add_months(d, static_cast<std::int64_t>(n));
  else if (iv == "y" || iv == "d" || iv == "w")
    r = d + n;
  else if (iv == "ww")
    r = d + 7 * n;
  else if (iv == "h")
    r = d + n / 24;
  else if (iv == "n")
    r = d + n / 1440;
  else if (iv == "s")
    r = d + n / 86400;
  else
    raise(err::kInvalidCall);
  return Value::date(r);
}
Value f_datediff(Runtime&, Args& a) {
  std::string iv = interval_of(a[0]);
  double d1 = to_date(a[1]), d2 = to_date(a[2]);
  datetime::Parts p1 = datetime::split(d1), p2 = datetime::split(d2);
  auto secs = [](double d) { return std::llround(d * 86400.0); };
  std::int64_t r;
  if (iv == "yyyy")
    r = p2.year - p1.year;
  else if (iv == "q")
    r = (p2.year * 4 + (p2.month - 1) / 3) - (p1.year * 4 + (p1.month - 1) / 3);
  else if (iv == "m")
    r = (p2.year * 12LL + p2.month) - (p1.year * 12LL + p1.month);
  else if (iv == "y" || iv == "d")
    r = static_cast<std::int64_t>(std::floor(d2) - std::floor(d1));
  else if (iv == "w")
    r = static_cast<std::int64_t>((std::floor(d2) - std::floor(d1)) / 7);
  else if (iv == "ww") {
    auto week = [](double d) {
      return static_cast<std::int64_t>(
          std::floor((std::floor(d) - datetime::weekday(d) + 1) / 7.0));
    };
    r = week(d2) - week(d1);
  } else if (iv == "h")
    r = secs(d2) / 3600 - secs(d1) / 3600;
  else if (iv == "n")
    r = secs(d2) / 60 - secs(d1) / 60;
  else if (iv == "s")
    r = secs(d2) - secs(d1);
  else
    raise(err::kInvalidCall);
  return Value::whole(r);
}
Value f_datepart(Runtime&, Args& a) {
  std::string iv = interval_of(a[0]);
  double d = to_date(a[1]);
  datetime::Parts p = datetime::split(d);
  int r;
  if (iv == "yyyy")
    r = p.year;
  else if (iv == "q")
    r = (p.month - 1) / 3 + 1;
  else if (iv == "m")
    r = p.month;
  else if (iv == "y")
    r = static_cast<int>(std::floor(d) - datetime::from_date(p.year, 1, 1)) + 1;
  else if (iv == "d")
    r = p.day;
  else if (iv == "w")
    r = datetime::weekday(d);
  else if (iv == "ww") {
    double jan1 = datetime::from_date(p.year, 1, 1);
    r = static_cast<int>((std::floor(d) - jan1 + datetime::weekday(jan1) - 1) / 7) + 1;
  } else if (iv == "h")
    r = p.hour;
  else if (iv == "n")
    r = p.minute;
  else if (iv == "s")
    r = p.second;
  else
    raise(err::kInvalidCall);
  return Value::integer(static_cast<std::int16_t>(r));
}
Value f_formatdatetime(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  double d = to_date(a[0]);
  std::int32_t fmt = given(a, 1) ? to_long(a[1]) : 0;
  switch (fmt) {
    case 0:
      return Value::string(datetime::general(d));
    case 1:
      return Value::string(datetime::long_date(d));
    case 2:
      return Value::string(datetime::short_date(d));
    case 3:
      return Value::string(datetime::long_time(d));
    case 4:
      return Value::string(datetime::short_time(d));
    default:
      raise(err::kInvalidCall);
  }
}
Value f_formatnumber(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  double d = to_double(a[0]);
  std::int32_t digits = given(a, 1) ? to_long(a[1]) : -1;
  if (digits == -1) digits = 2;
  if (digits < 0 || digits > 30) raise(err::kInvalidCall);
  bool leading_zero = !given(a, 2) || to_long(a[2]) != 0;
  bool parens = given(a, 3) && to_long(a[3]) == -1;
  bool group = !given(a, 4) || to_long(a[4]) != 0;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(digits), std::fabs(d));
  std::string s = buf;
  std::size_t dot = s.find('.');
  std::string whole = s.substr(0, dot);
  std::string frac = dot == std::string::npos ? "" : s.substr(dot);
  if (group) {
    std::string grouped;
    for (std::size_t i = 0; i < whole.size(); ++i) {
      if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
      grouped += whole[i];
    }
    whole = grouped;
  }
  if (whole == "0" && !leading_zero && !frac.empty()) whole.clear();
  bool negative = d < 0 && std::strtod(s.c_str(), nullptr) != 0;
  std::string out = whole + frac;
  if (negative) out = parens ? "(" + out + ")" : "-" + out;
  return Value::string(out);
}

// ---------------------------------------------------------------- objects and engine

Value f_createobject(Runtime& rt, Args& a) {
  return Value::object(create_object(rt, to_std_string(a[0])));
}
Value f_scriptengine(Runtime&, Args&) {
  return Value::string("VBScript");
}
Value f_major(Runtime&, Args&) {
  return Value::long_(5);
}
Value f_minor(Runtime&, Args&) {
  return Value::long_(8);
}

const std::unordered_map<std::string_view, Builtin>& builtins() {
  static const std::unordered_map<std::string_view, Builtin> table = {
      {"len", {1, 1, f_len}},
      {"left", {2, 2, f_left}},
      {"right", {2, 2, f_right}},
      {"mid", {2, 3, f_mid}},
      {"instr", {2, 4, f_instr}},
      {"instrrev", {2, 4, f_instrrev}},
      {"replace", {3, 6, f_replace}},
      {"split", {1, 4, f_split}},
      {"join", {1, 2, f_join}},
      {"trim", {1, 1, f_trim}},
      {"ltrim", {1, 1, f_ltrim}},
      {"rtrim", {1, 1, f_rtrim}},
      {"ucase", {1, 1, f_ucase}},
      {"lcase", {1, 1, f_lcase}},
      {"space", {1, 1, f_space}},
      {"string", {2, 2, f_string}},
      {"strcomp", {2, 3, f_strcomp}},
      {"strreverse", {1, 1, f_strreverse}},
      {"chr", {1, 1, f_chr}},
      {"asc", {1, 1, f_asc}},
      {"cstr", {1, 1, f_cstr}},
      {"cint", {1, 1, f_cint}},
      {"clng", {1, 1, f_clng}},
      {"cdbl", {1, 1, f_cdbl}},
      {"csng", {1, 1, f_cdbl}},
      {"cbool", {1, 1, f_cbool}},
      {"cdate", {1, 1, f_cdate}},
      {"cbyte", {1, 1, f_cbyte}},
      {"int", {1, 1, f_int}},
      {"fix", {1, 1, f_fix}},
      {"abs", {1, 1, f_abs}},
      {"sgn", {1, 1, f_sgn}},
      {"round", {1, 2, f_round}},
      {"sqr", {1, 1, f_sqr}},
      {"exp", {1, 1, f_exp}},
      {"log", {1, 1, f_log}},
      {"atn", {1, 1, f_atn}},
      {"sin", {1, 1, f_sin}},
      {"cos", {1, 1, f_cos}},
      {"tan", {1, 1, f_tan}},
      {"hex", {1, 1, f_hex}},
      {"oct", {1, 1, f_oct}},
      {"rnd", {0, 1, f_rnd}},
      {"randomize", {0, 1, f_randomize}},
      {"isempty", {1, 1, f_isempty}},
      {"isnull", {1, 1, f_isnull}},
      {"isnumeric", {1, 1, f_isnumeric}},
      {"isarray", {1, 1, f_isarray}},
      {"isobject", {1, 1, f_isobject}},
      {"isdate", {1, 1, f_isdate}},
      {"typename", {1, 1, f_typename}},
      {"vartype", {1, 1, f_vartype}},
      {"array", {0, 1 << 16, f_array}},
      {"ubound", {1, 2, f_ubound}},
      {"lbound", {1, 2, f_lbound}},
      {"now", {0, 0, f_now}},
      {"date", {0, 0, f_date}},
      {"time", {0, 0, f_time}},
      {"timer", {0, 0, f_timer}},
      {"year", {1, 1, f_year}},
      {"month", {1, 1, f_month}},
      {"day", {1, 1, f_day}},
      {"hour", {1, 1, f_hour}},
      {"minute", {1, 1, f_minute}},
      {"second", {1, 1, f_second}},
      {"weekday", {1, 2, f_weekday}},
      {"monthname", {1, 2, f_monthname}},
      {"weekdayname", {1, 3, f_weekdayname}},
      {"dateadd", {3, 3, f_dateadd}},
      {"datediff", {3, 5, f_datediff}},
      {"datepart", {2, 4, f_datepart}},
      {"dateserial", {3, 3, f_dateserial}},
      {"timeserial", {3, 3, f_timeserial}},
      {"datevalue", {1, 1, f_datevalue}},
      {"timevalue", {1, 1, f_timevalue}},
      {"formatdatetime", {1, 2, f_formatdatetime}},
      {"formatnumber", {1, 5, f_formatnumber}},
      {"createobject", {1, 2, f_createobject}},
      {"scriptengine", {0, 0, f_scriptengine}},
      {"scriptenginemajorversion", {0, 0, f_major}},
      {"scriptengineminorversion", {0, 0, f_minor}},
  };
  return table;
}

const std::unordered_map<std::string_view, Value>& constants() {
  static const std::unordered_map<std::string_view, Value> table = [] {
    std::unordered_map<std::string_view, Value> t;
    t.emplace("vbcrlf", Value::string("\r\n"));
    t.emplace("vbcr", Value::string("\r"));
    t.emplace("vblf", Value::string("\n"));
    t.emplace("vbnewline", Value::string("\r\n"));
    t.emplace("vbtab", Value::string("\t"));
    t.emplace("vbnullstring", Value::string(""));
    t.emplace("vbnullchar", Value::string(std::string_view("\0", 1)));
    t.emplace("vbformfeed", Value::string("\f"));
    t.emplace("vbverticaltab", Value::string("\v"));
    t.emplace("vbobjecterror", Value::long_(static_cast<std::int32_t>(0x80040000u)));
    const std::pair<std::string_view, int> ints[] = {
        {"vbbinarycompare", 0},
        {"vbtextcompare", 1},
        {"vbempty", 0},
        {"vbnull", 1},
        {"vbinteger", 2},
        {"vblong", 3},
        {"vbsingle", 4},
        {"vbdouble", 5},
        {"vbcurrency", 6},
        {"vbdate", 7},
        {"vbstring", 8},
        {"vbobject", 9},
        {"vberror", 10},
        {"vbboolean", 11},
        {"vbvariant", 12},
        {"vbdataobject", 13},
        {"vbdecimal", 14},
        {"vbbyte", 17},
        {"vbarray", 8192},
        {"vbgeneraldate", 0},
        {"vblongdate", 1},
        {"vbshortdate", 2},
        {"vblongtime", 3},
        {"vbshorttime", 4},
        {"vbusedefault", -2},
        {"vbtrue", -1},
        {"vbfalse", 0},
        {"vbsunday", 1},
        {"vbmonday", 2},
        {"vbtuesday", 3},
        {"vbwednesday", 4},
        {"vbthursday", 5},
        {"vbfriday", 6},
        {"vbsaturday", 7},
        {"vbusesystemdayofweek", 0},
    };
    for (const auto& [name, v] : ints)
      t.emplace(name, Value::integer(static_cast<std::int16_t>(v)));
    return t;
  }();
  return table;
}

}  // namespace

const Builtin* find_builtin(std::string_view name) {
  auto it = builtins().find(name);
  return it == builtins().end() ? nullptr : &it->second;
}

const Value* find_constant(std::string_view name) {
  auto it = constants().find(name);
  return it == constants().end() ? nullptr : &it->second;
}

}  // namespace ralvek::vbscript
