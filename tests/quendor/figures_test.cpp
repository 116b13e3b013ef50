// --status of a running quendor, and its exchanges' figures.
#include "quendor_fixture.h"

namespace ralvek::quendor_e2e {
namespace {

std::pair<int, std::string> status(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
                                   const std::filesystem::path& out) {
  e2e::Process p(argv, env, out);
  auto code = p.wait(10s);
  return {code ? *code : -1, p.out() + p.err()};
}

TEST_F(QuendorTest, StatusShowsEachExchangeWithItsRecordsWhileRunningAndFailsAfter) {
  auto a = start_exchange("127.0.0.35", {"--count", "5", "--rate", "0"});
  write_ini("1=" + a->where() + "\n2=127.0.0.36:" + std::to_string(port_) + "\n");
  auto quendor = start_quendor();
  ASSERT_TRUE(wait_for_event("Connection established: " + a->where()));
  std::string json;
  ASSERT_TRUE(e2e::wait_until([&] {
    json = status({QUENDOR_BIN, "--status", "--json"}, env(), out_.path()).second;
    return json.find("\"records_total\":5,") != std::string::npos;
  })) << json;
  EXPECT_NE(json.find("{\"source\":\"1\",\"address\":\"" + a->where() + "\",\"connected\":1,"), std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"source\":\"2\",\"address\":\"127.0.0.36:" + std::to_string(port_) + "\",\"connected\":0,"),
            std::string::npos)
      << json;
  auto [code, table] = status({QUENDOR_BIN, "--status"}, env(), out_.path());
  EXPECT_EQ(code, 0);
  EXPECT_NE(table.find(a->where()), std::string::npos) << table;
  EXPECT_EQ(stop(*quendor), 0);
  auto [stopped, text] = status({QUENDOR_BIN, "--status"}, env(), out_.path());
  EXPECT_NE(stopped, 0);
  EXPECT_NE(text.find("quendor is not running"), std::string::npos) << text;
}

}  // namespace
}  // namespace ralvek::quendor_e2e
