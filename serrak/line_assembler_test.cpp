#include "line_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ralvek::serrak {
namespace {

// Feeds the chunks one by one as a service does after each successful write; returns what was
// written in all and what is left pending.
struct Fed {
  std::string written;
  std::string pending;
};
Fed feed(const std::vector<std::string>& chunks, std::size_t max_pending = LineAssembler::kMaxPending) {
  LineAssembler lines(max_pending);
  Fed fed;
  for (const auto& chunk : chunks) {
    lines.append(chunk);
    fed.written += lines.complete_lines();
    lines.commit();
  }
  fed.pending = lines.pending();
  return fed;
}

struct Case {
  const char* name;
  std::string input;
  std::string written;
  std::string pending;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"pairs", "A\r\nB\r\n", "A\r\nB\r\n", ""},
      {"lone CR then rest", "A\rB", "A\r\n", "B"},
      {"lone LF is no line end", "A\nB\n", "", "A\nB\n"},
      {"LFs written with the line once a CR comes", "A\nB\n\r", "A\nB\n\r\n", ""},
      {"empty lines survive", "A\r\r", "A\r\n\r\n", ""},
      {"empty lines from pairs", "\r\n\r\nA\r\n", "\r\n\r\nA\r\n", ""},
      {"CR CR LF", "A\r\r\n", "A\r\n\r\n", ""},
      {"LF CR is LF kept and a line end", "A\n\rB\r", "A\n\r\nB\r\n", ""},
      {"nothing", "", "", ""},
      {"only text", "abc", "", "abc"},
  };
  return all;
}

TEST(LineAssembler, EdgeCasesInOneChunk) {
  for (const auto& c : cases()) {
    auto fed = feed({c.input});
    EXPECT_EQ(fed.written, c.written) << c.name;
    EXPECT_EQ(fed.pending, c.pending) << c.name;
  }
}

TEST(LineAssembler, SameResultWhereverTheChunksSplit) {
  for (const auto& c : cases()) {
    const std::string& in = c.input;
    for (std::size_t i = 0; i <= in.size(); ++i) {
      for (std::size_t j = i; j <= in.size(); ++j) {
        auto fed = feed({in.substr(0, i), in.substr(i, j - i), in.substr(j)});
        EXPECT_EQ(fed.written, c.written) << c.name << " split at " << i << "," << j;
        EXPECT_EQ(fed.pending, c.pending) << c.name << " split at " << i << "," << j;
      }
    }
  }
}

TEST(LineAssembler, APairSplitBetweenChunksIsStillOneLineEnd) {
  auto fed = feed({"A\r", "\nB\r"});
  EXPECT_EQ(fed.written, "A\r\nB\r\n");
  EXPECT_EQ(fed.pending, "");
  fed = feed({"A\r", "\n"});
  EXPECT_EQ(fed.written, "A\r\n");
  EXPECT_EQ(fed.pending, "");
  fed = feed({"A\r\nB\r", "\nC\r\n"});
  EXPECT_EQ(fed.written, "A\r\nB\r\nC\r\n");
  // Only the one LF right after the CR: a second LF is line text, as everywhere.
  fed = feed({"A\r", "\n\nB\r"});
  EXPECT_EQ(fed.written, "A\r\n\nB\r\n");
  fed = feed({"A\r", "", "\nB\r"});
  EXPECT_EQ(fed.written, "A\r\nB\r\n");
}

TEST(LineAssembler, ARestIsCompletedByALaterChunk) {
  auto fed = feed({"A\rB", "C\r"});
  EXPECT_EQ(fed.written, "A\r\nBC\r\n");
  fed = feed({"x", "y", "z\r\nw"});
  EXPECT_EQ(fed.written, "xyz\r\n");
  EXPECT_EQ(fed.pending, "w");
}

TEST(LineAssembler, EveryByteValuePassesUnchanged) {
  std::string line;
  for (int i = 0; i < 256; ++i) {
    if (i != '\r' && i != '\n') line += static_cast<char>(i);
  }
  auto fed = feed({line + "\r\n"});
  EXPECT_EQ(fed.written, line + "\r\n");
}

TEST(LineAssembler, LinesOfAFailedWriteGoOutWithTheNextLine) {
  LineAssembler lines;
  lines.append("A\rB");
  EXPECT_EQ(lines.complete_lines(), "A\r\n");
  // no commit: the write failed
  EXPECT_EQ(lines.pending(), "A\rB");
  lines.append("C\r");
  EXPECT_EQ(lines.complete_lines(), "A\r\nBC\r\n");
  lines.commit();
  EXPECT_EQ(lines.pending(), "");
}

TEST(LineAssembler, ALineThatNeverEndsIsHandedOutUnchangedPastTheLimit) {
  auto fed = feed({"0123", "4567", "89\r"}, 6);
  EXPECT_EQ(fed.written, "0123456789\r\n");
  EXPECT_EQ(fed.pending, "");
  fed = feed({"ab\ncd", "ef"}, 6);
  EXPECT_EQ(fed.written, "ab\ncdef");
  EXPECT_EQ(fed.pending, "");
  fed = feed({"abcdef"}, 6);
  EXPECT_EQ(fed.written, "");
  EXPECT_EQ(fed.pending, "abcdef");
}

}  // namespace
}  // namespace ralvek::serrak
