// The encoded script form: vectors worked out by hand from the substitution tables, round trips,
// damaged blocks, and the engine loading an encoded script.
#include "vbe.h"

#include <gtest/gtest.h>

#include "vbscript/engine.h"

namespace ralvek::vbscript {
namespace {

TEST(Vbe, DecodesAHandMadeVector) {
  // 'a' at position 0 uses the first table ('C' -> 'a'); 'b' at position 1 the second ('(' -> 'b').
  EXPECT_EQ(decode_vbe("#@~^AgAAAA==C(wwAAAA==^#~@"), "ab");
}

TEST(Vbe, DecodesEscapesAndKeepsTextAroundTheBlock) {
  const std::string block =
      "#@~^NwAAAA==o!x^DkKxPw`*@#@&,s~',JC@!(@*@$r~[,F@#@&3UN,s!x^YrG\t@#@&+gsAAA==^#~@";
  EXPECT_EQ(decode_vbe("' head\n" + block + "\n"),
            "' head\nFunction F()\r\n F = \"a<b>@\" & 1\r\nEnd Function\r\n\n");
}

TEST(Vbe, EncodeMatchesTheHandMadeVectorsAndRoundTrips) {
  EXPECT_EQ(encode_vbe("ab"), "#@~^AgAAAA==C(wwAAAA==^#~@");
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  all += all;  // positions past 64 reuse the table choice
  EXPECT_EQ(decode_vbe(encode_vbe(all)), all);
}

TEST(Vbe, DamagedBlocksAreRejected) {
  EXPECT_FALSE(decode_vbe("#@~^AgAAAA==C("));
  EXPECT_FALSE(decode_vbe("#@~^A!AAAA==C(wwAAAA==^#~@"));
  EXPECT_FALSE(decode_vbe("#@~^"));
}

TEST(Vbe, EngineRunsAnEncodedScriptAndReportsLinesOfThePlainText) {
  Engine e;
  ASSERT_TRUE(
      e.add_code(encode_vbe("Function Run(f)\r\n  Run = UCase(f)\r\nEnd Function\r\n"
                            "Sub Bad()\r\n  x = 1 / 0\r\nEnd Sub\r\n")));
  EXPECT_EQ(e.run("Run", {"abc"}), "ABC");
  EXPECT_FALSE(e.run("Bad", {}));
  EXPECT_EQ(e.last_error().line, 5);
  EXPECT_EQ(e.last_error().line_text, "  x = 1 / 0");
  EXPECT_FALSE(e.add_code("#@~^AgAAAA==C("));
  EXPECT_EQ(e.last_error().source, "VBScript compilation error");
}

}  // namespace
}  // namespace ralvek::vbscript
