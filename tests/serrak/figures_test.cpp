// The line's silence alarm and --status of a running serrak.
#include <csignal>

#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

class SerrakFigures : public SerrakTest {
 protected:
  std::vector<Event> events_with_id(long id) const {
    std::vector<Event> found;
    for (const auto& e : events()) {
      if (e.id == id) found.push_back(e);
    }
    return found;
  }
  std::pair<int, std::string> status(const std::vector<std::string>& args) {
    auto p = start(args);
    auto code = p->wait(10s);
    return {code ? *code : -1, p->out() + p->err()};
  }
};

TEST_F(SerrakFigures, AQuietLineWarnsOnceAndRecoversAndStatusCountsItsLines) {
  std::string path;
  // A minute lasts 0.6 s: two seconds of quiet after five records are past the limit.
  auto line = start_line({"--count", "10", "--quiet-after", "5", "--quiet-for", "2", "--linger", "20000"}, path);
  ASSERT_FALSE(path.empty()) << line->err();
  write_ini_for(path, 1000, "silence_minutes=1\n");
  auto serrak = start_debug();
  ASSERT_TRUE(wait_until([&] { return line->err().find("wrote 10 records") != std::string::npos; }));
  ASSERT_TRUE(wait_until([&] { return events_with_id(121).size() == 1; })) << all_events();
  ASSERT_TRUE(wait_until([&] {
    return status({"--status", "--json"}).second.find("\"records_total\":10,") != std::string::npos;
  }));
  auto [code, table] = status({"--status"});
  EXPECT_EQ(code, 0);
  EXPECT_NE(table.find(path), std::string::npos) << table;
  stop(*serrak);

  auto warnings = events_with_id(120);
  ASSERT_EQ(warnings.size(), 1u) << all_events();
  EXPECT_EQ(warnings[0].type, 2);
  EXPECT_NE(warnings[0].text.find("\r\nSource: 12\r\nAddress: " + path + "\r\nLast data: 20"), std::string::npos)
      << warnings[0].text;
  EXPECT_EQ(events_with_id(121)[0].type, 4);
  EXPECT_EQ(check("serial1", 10), 0);
  EXPECT_NE(status({"--status"}).first, 0);
}

}  // namespace
}  // namespace ralvek::e2e
