#include "datetime.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace ralvek::vbscript::datetime {

namespace {

constexpr long kEpochShift = 25569;  // days from 1899-12-30 to 1970-01-01

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long days_from_civil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void civil_from_days(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long>(yoe) + era * 400 + (m <= 2));
}

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

std::string two(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

// Splits text into words of digits or letters; separators are recorded as the text between.
struct Token {
  std::string text;
  bool number;
  char sep_after;  // first separator character after it, or 0
};

std::vector<Token> tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isdigit(c) || std::isalpha(c)) {
      bool num = std::isdigit(c);
      std::size_t j = i;
      while (j < s.size() && (num ? std::isdigit(static_cast<unsigned char>(s[j]))
                                  : std::isalpha(static_cast<unsigned char>(s[j]))))
        ++j;
      out.push_back({std::string(s.substr(i, j - i)), num, 0});
      i = j;
    } else {
      if (!out.empty() && out.back().sep_after == 0 && c != ' ')
        out.back().sep_after = static_cast<char>(c);
      ++i;
    }
  }
  return out;
}

int month_from_name(const std::string& word) {
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    std::string_view full = kMonths[m];
    if (word.size() > full.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < word.size(); ++k)
      if (std::tolower(static_cast<unsigned char>(word[k])) !=
          std::tolower(static_cast<unsigned char>(full[k])))
        same = false;
    if (same) return m + 1;
  }
  return 0;
}

bool valid_date(int y, int m, int d) {
  if (m < 1 || m > 12 || d < 1 || y < 100 || y > 9999) return false;
  static const int kLen[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int len = kLen[m - 1] + (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0));
  return d <= len;
}

}  // namespace

double from_date(int year, int month, int day) {
  long y = year;
  long m0 = static_cast<long>(month) - 1;
  y += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  long m = ((m0 % 12) + 12) % 12 + 1;
  return static_cast<double>(days_from_civil(y, static_cast<unsigned>(m), 1) + (day - 1) +
                             kEpochShift);
}

double from_time(int hour, int minute, int second) {
  return (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

Parts split(double serial) {
  if (!(serial > kMinSerial - 1)) serial = kMinSerial;
  if (!(serial < kMaxSerial)) serial = kMaxSerial - 1;
  Parts p;
  double days = std::trunc(serial);
  double frac = std::fabs(serial - days);
  long secs = std::lround(frac * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    days += serial < 0 ? -1 : 1;
  }
  civil_from_days(static_cast<long>(days) - kEpochShift, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

int weekday(double serial) {
  if (!in_range(serial)) serial = 0;
  long days = static_cast<long>(std::floor(serial));
  // 1899-12-30 was a Saturday.
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

double now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return from_date(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         from_time(tm.tm_hour, tm.tm_min, tm.tm_sec);
}

bool parse(std::string_view text, double& serial) {
  std::vector<Token> toks = tokenize(text);
  if (toks.empty()) return false;
  // Split off the time: the first number followed by ':'.
  std::size_t time_at = toks.size();
  for (std::size_t i = 0; i < toks.size(); ++i)
    if (toks[i].number && toks[i].sep_after == ':') {
      time_at = i;
      break;
    }
  std::vector<Token> date_part(toks.begin(), toks.begin() + static_cast<long>(time_at));
  std::vector<Token> time_part(toks.begin() + static_cast<long>(time_at), toks.end());

  double result = 0;
  bool have_date = false;
  if (!date_part.empty()) {
    int y = 0, m = 0, d = 0;
    std::vector<int> nums;
    int named_month = 0;
    for (const Token& t : date_part) {
      if (t.number) {
        if (t.text.size() > 4) return false;
        nums.push_back(std::stoi(t.text));
      } else if (int mm = month_from_name(t.text)) {
        named_month = mm;
      } else if (t.text.size() >= 3) {
        // A weekday name is allowed and ignored.
        bool is_day = false;
        for (const char* dn : kDays) {
          bool same = true;
          for (std::size_t k = 0; k < 3; ++k)
            if (std::tolower(static_cast<unsigned char>(dn[k])) !=
                std::tolower(static_cast<unsigned char>(t.text[k])))
              same = false;
          is_day = is_day || same;
        }
        if (!is_day) return false;
      } else {
        return false;
      }
    }
    if (named_month) {
      if (nums.size() != 2) return false;
      m = named_month;
      if (date_part[0].number && date_part[0].text.size() == 4) {
        y = nums[0];
        d = nums[1];
      } else if (nums[0] > 31) {
        y = nums[0];
        d = nums[1];
      } else {
        d = nums[0];
        y = nums[1];
      }
    } else {
      if (nums.size() != 3) return false;
      if (date_part[0].text.size() == 4) {
        y = nums[0];
        m = nums[1];
        d = nums[2];
      } else {
        m = nums[0];
        d = nums[1];
        y = nums[2];
      }
    }
    if (y < 100 && date_part.back().text.size() <= 2) y += y < 30 ? 2000 : 1900;
    if (!valid_date(y, m, d)) return false;
    result = from_date(y, m, d);
    have_date = true;
  }
  if (!time_part.empty()) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    bool pm = false, am = false;
    for (const Token& t : time_part) {
      if (t.number) {
        if (count == 3 || t.text.size() > 2) return false;
        parts[count++] = std::stoi(t.text);
      } else {
        std::string w;
        for (char c : t.text) w += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (w == "PM" || w == "P")
          pm = true;
        else if (w == "AM" || w == "A")
          am = true;
        else
          return false;
      }
    }
    if (count < 2) return false;
    if (pm || am) {
      if (parts[0] < 1 || parts[0] > 12) return false;
      parts[0] = parts[0] % 12 + (pm ? 12 : 0);
    }
    if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
    double t = from_time(parts[0], parts[1], parts[2]);
    result = result < 0 ? result - t : result + t;
  } else if (!have_date) {
    return false;
  }
  serial = result;
  return true;
}

std::string short_date(double serial) {
  Parts p = split(serial);
  return std::to_string(p.month) + "/" + std::to_string(p.day) + "/" + std::to_string(p.year);
}

std::string long_time(double serial) {
  Parts p = split(serial);
  int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  return std::to_string(h12) + ":" + two(p.minute) + ":" + two(p.second) +
         (p.hour < 12 ? " AM" : " PM");
}

std::string short_time(double serial) {
  Parts p = split(serial);
  return two(p.hour) + ":" + two(p.minute);
}

std::string long_date(double serial) {
  Parts p = split(serial);
  return std::string(kDays[weekday(serial) - 1]) + ", " + kMonths[p.month - 1] + " " + two(p.day) +
         ", " + std::to_string(p.year);
}

std::string general(double serial) {
  double days = std::trunc(serial);
  bool has_time = serial != days;
  if (days == 0) return long_time(serial);  // no date part: a time, midnight too
  if (!has_time) return short_date(serial);
  return short_date(serial) + " " + long_time(serial);
}

std::string_view month_name(int month, bool abbreviate) {
  std::string_view name = kMonths[(month - 1) % 12];
  return abbreviate ? name.substr(0, 3) : name;
}

std::string_view weekday_name(int weekday, bool abbreviate) {
  std::string_view name = kDays[(weekday - 1) % 7];
  return abbreviate ? name.substr(0, 3) : name;
}

}  // namespace ralvek::vbscript::datetime
