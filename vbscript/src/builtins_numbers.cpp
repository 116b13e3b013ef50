// Built-in conversions, numbers, inspection and arrays.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "builtins_util.h"
#include "datetime.h"

namespace ralvek::vbscript::builtin {

namespace {

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
// Currency is kept as a Double rounded (half to even) to four decimals, in Currency's range.
Value f_ccur(Runtime&, Args& a) {
  double d = to_double(a[0]);
  if (!(std::fabs(d) <= 922337203685477.5807)) raise(err::kOverflow);
  return Value::number(std::nearbyint(d * 10000.0) / 10000.0);
}
Value f_rgb(Runtime&, Args& a) {
  std::int32_t rgb = 0;
  for (int i = 2; i >= 0; --i) {
    std::int32_t c = to_long(a[static_cast<std::size_t>(i)]);
    if (c < 0) raise(err::kInvalidCall);
    rgb = rgb * 256 + std::min(c, 255);
  }
  return Value::long_(rgb);
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
  if (digits > 15) return v;
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
  if (n < 0) {
    // A negative number seeds from its single-precision bits: the same number, the same result.
    float f = static_cast<float>(n);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    rt.rnd_seed = (bits + (bits >> 24)) & 0xFFFFFFu;
  }
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
  double folded = std::fmod(std::fabs(seed), 16777216.0);  // any number, even 1E+300, seeds
  rt.rnd_seed = static_cast<std::uint32_t>(std::isfinite(folded) ? folded : 0) & 0xFFFFFFu;
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

}  // namespace

void add_numbers(Table& t) {
  t["cstr"] = {1, 1, f_cstr};
  t["cint"] = {1, 1, f_cint};
  t["clng"] = {1, 1, f_clng};
  t["cdbl"] = {1, 1, f_cdbl};
  t["csng"] = {1, 1, f_cdbl};
  t["ccur"] = {1, 1, f_ccur};
  t["rgb"] = {3, 3, f_rgb};
  t["cbool"] = {1, 1, f_cbool};
  t["cdate"] = {1, 1, f_cdate};
  t["cbyte"] = {1, 1, f_cbyte};
  t["int"] = {1, 1, f_int};
  t["fix"] = {1, 1, f_fix};
  t["abs"] = {1, 1, f_abs};
  t["sgn"] = {1, 1, f_sgn};
  t["round"] = {1, 2, f_round};
  t["sqr"] = {1, 1, f_sqr};
  t["exp"] = {1, 1, f_exp};
  t["log"] = {1, 1, f_log};
  t["atn"] = {1, 1, f_atn};
  t["sin"] = {1, 1, f_sin};
  t["cos"] = {1, 1, f_cos};
  t["tan"] = {1, 1, f_tan};
  t["hex"] = {1, 1, f_hex};
  t["oct"] = {1, 1, f_oct};
  t["rnd"] = {0, 1, f_rnd};
  t["randomize"] = {0, 1, f_randomize};
  t["isempty"] = {1, 1, f_isempty};
  t["isnull"] = {1, 1, f_isnull};
  t["isnumeric"] = {1, 1, f_isnumeric};
  t["isarray"] = {1, 1, f_isarray};
  t["isobject"] = {1, 1, f_isobject};
  t["isdate"] = {1, 1, f_isdate};
  t["typename"] = {1, 1, f_typename};
  t["vartype"] = {1, 1, f_vartype};
  t["array"] = {0, 1 << 16, f_array};
  t["ubound"] = {1, 2, f_ubound};
  t["lbound"] = {1, 2, f_lbound};
}

}  // namespace ralvek::vbscript::builtin
