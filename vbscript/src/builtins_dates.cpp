// Built-in date and time functions.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "builtins_util.h"
#include "datetime.h"

namespace ralvek::vbscript::builtin {

namespace {

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
// The firstdayofweek argument at `i`: 1 Sunday ... 7 Saturday; 0 (the system's) is Sunday here.
int first_day_arg(Args& a, std::size_t i) {
  int first = given(a, i) ? to_long(a[i]) : 1;
  if (first < 0 || first > 7) raise(err::kInvalidCall);
  return first == 0 ? 1 : first;
}
// The firstweekofyear argument at `i`: 1 the week of January 1, 2 the first with four days of
// the year, 3 the first full week; 0 (the system's) is 1 here.
int first_week_arg(Args& a, std::size_t i) {
  int first = given(a, i) ? to_long(a[i]) : 1;
  if (first < 0 || first > 3) raise(err::kInvalidCall);
  return first == 0 ? 1 : first;
}
// 1 for the first day of the week as `first_day` counts, ... 7.
int weekday_from(double serial, int first_day) {
  return (datetime::weekday(serial) - first_day + 7) % 7 + 1;
}
// The serial day on which the week holding `serial` starts.
double week_start(double serial, int first_day) {
  return std::floor(serial) - (weekday_from(serial, first_day) - 1);
}
double first_week_start(int year, int first_day, int first_week) {
  double jan1 = datetime::from_date(year, 1, 1);
  double start = week_start(jan1, first_day);
  if (first_week == 2 && jan1 - start > 3) return start + 7;  // fewer than four days of the year
  if (first_week == 3 && jan1 != start) return start + 7;
  return start;
}
// The week of the year; days before the year's first week belong to the last week of the year
// before.
int week_of_year(double serial, int first_day, int first_week) {
  int year = datetime::split(serial).year;
  double start = week_start(serial, first_day);
  double first = first_week_start(year, first_day, first_week);
  if (start < first) first = first_week_start(year - 1, first_day, first_week);
  return static_cast<int>((start - first) / 7) + 1;
}

Value f_weekday(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  int first = first_day_arg(a, 1);
  return Value::integer(static_cast<std::int16_t>(weekday_from(to_date(a[0]), first)));
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
  bool by_months = iv == "yyyy" || iv == "q" || iv == "m";
  if (by_months && std::fabs(n) > 2e5) raise(err::kInvalidCall);  // past year 9999 anyway
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
  if (!datetime::in_range(r)) raise(err::kInvalidCall);
  return Value::date(r);
}
Value f_datediff(Runtime&, Args& a) {
  std::string iv = interval_of(a[0]);
  double d1 = to_date(a[1]), d2 = to_date(a[2]);
  int first_day = first_day_arg(a, 3);
  first_week_arg(a, 4);  // checked; no interval counts differently by it
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
  else if (iv == "ww")  // calendar weeks: the first days of the week passed
    r = static_cast<std::int64_t>((week_start(d2, first_day) - week_start(d1, first_day)) / 7);
  else if (iv == "h")
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
  int first_day = first_day_arg(a, 2);
  int first_week = first_week_arg(a, 3);
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
    r = weekday_from(d, first_day);
  else if (iv == "ww")
    r = week_of_year(d, first_day, first_week);
  else if (iv == "h")
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
// FormatNumber's text of `d` with the options of `a` from index 1; `prefix` goes before the
// digits (inside the sign or parentheses), `suffix` after them.
std::string format_number(double d, Args& a, const std::string& prefix, const std::string& suffix) {
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
  std::string out = prefix;
  out.append(whole).append(frac).append(suffix);
  if (negative) out = parens ? "(" + out + ")" : "-" + out;
  return out;
}
Value f_formatnumber(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  return Value::string(format_number(to_double(a[0]), a, "", ""));
}
Value f_formatpercent(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  return Value::string(format_number(to_double(a[0]) * 100, a, "", "%"));
}
Value f_formatcurrency(Runtime&, Args& a) {
  if (a[0].is_null()) return a[0];
  return Value::string(format_number(to_double(a[0]), a, "$", ""));
}

}  // namespace

void add_dates(Table& t) {
  t["now"] = {0, 0, f_now};
  t["date"] = {0, 0, f_date};
  t["time"] = {0, 0, f_time};
  t["timer"] = {0, 0, f_timer};
  t["year"] = {1, 1, f_year};
  t["month"] = {1, 1, f_month};
  t["day"] = {1, 1, f_day};
  t["hour"] = {1, 1, f_hour};
  t["minute"] = {1, 1, f_minute};
  t["second"] = {1, 1, f_second};
  t["weekday"] = {1, 2, f_weekday};
  t["monthname"] = {1, 2, f_monthname};
  t["weekdayname"] = {1, 3, f_weekdayname};
  t["dateadd"] = {3, 3, f_dateadd};
  t["datediff"] = {3, 5, f_datediff};
  t["datepart"] = {2, 4, f_datepart};
  t["dateserial"] = {3, 3, f_dateserial};
  t["timeserial"] = {3, 3, f_timeserial};
  t["datevalue"] = {1, 1, f_datevalue};
  t["timevalue"] = {1, 1, f_timevalue};
  t["formatdatetime"] = {1, 2, f_formatdatetime};
  t["formatnumber"] = {1, 5, f_formatnumber};
  t["formatpercent"] = {1, 5, f_formatpercent};
  t["formatcurrency"] = {1, 5, f_formatcurrency};
}

}  // namespace ralvek::vbscript::builtin
