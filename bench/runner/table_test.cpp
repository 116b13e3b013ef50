#include "table.h"

#include <gtest/gtest.h>

namespace ralvek::bench {
namespace {

TEST(Median, OddCountTakesTheMiddleEvenCountTheMeanOfTwo) {
  EXPECT_DOUBLE_EQ(median({5, 1, 3}), 3);
  EXPECT_DOUBLE_EQ(median({4, 1, 3, 2}), 2.5);
  EXPECT_DOUBLE_EQ(median({}), 0);
}

TEST(Ratios, PairsTheSameRunAndSkipsAZeroPeer) {
  auto r = ratios({10, 20, 30}, {5, 0, 60});
  ASSERT_EQ(r.size(), 2u);
  EXPECT_DOUBLE_EQ(r[0], 2);
  EXPECT_DOUBLE_EQ(r[1], 0.5);
}

TEST(ShortNumber, KeepsThreeSignificantDigitsWithAUnitPrefix) {
  EXPECT_EQ(short_number(1234567), "1.23M");
  EXPECT_EQ(short_number(45678), "45.7k");
  EXPECT_EQ(short_number(0.0421), "0.0421");
  EXPECT_EQ(short_number(5000), "5000");
  EXPECT_EQ(short_number(2.5e9), "2.5G");
}

TEST(FormatTable, AlignsColumnsUnderAHeaderRule) {
  std::string text = format_table({{"a", "MB/s", "1.5", "22.1", "0.07", ">= 0.80x", "MISSED"},
                                   {"longer name", "KiB", "100", "-", "-", "", ""}});
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].find("benchmark"), 0u);
  EXPECT_EQ(lines[1].find_first_not_of('-'), std::string::npos);
  // The unit column starts at the same place in every row; numbers end at the same place.
  EXPECT_EQ(lines[2].find("MB/s"), lines[3].find("KiB"));
  EXPECT_EQ(lines[2].find("1.5") + 3, lines[3].find("100") + 3);
  EXPECT_EQ(lines[3].back(), '-');  // trailing blanks cut
}

}  // namespace
}  // namespace ralvek::bench
