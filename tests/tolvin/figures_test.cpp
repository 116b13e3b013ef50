// Silence alarms, the metrics file and --status of a running tolvin.
#include <csignal>
#include <ctime>

#include "prometheus_text.h"
#include "tolvin_fixture.h"

namespace ralvek::e2e {
namespace {

class TolvinFiguresTest : public TolvinTest {
 protected:
  std::vector<Event> events_of(long id, const std::string& source) const {
    std::vector<Event> found;
    for (const auto& e : events()) {
      if (e.id == id && e.text.find("\r\nSource: " + source + "\r\n") != std::string::npos) found.push_back(e);
    }
    return found;
  }
  // The metrics file as a scraper reads it; fails the test on any fault of the format.
  PrometheusText metrics() const {
    try {
      return parse_prometheus_text(read_file(home_ / "metrics.prom"));
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      return {};
    }
  }
  static double value(const PrometheusText& m, const std::string& family, const std::string& source) {
    auto it = m.samples.find(family + "{service=\"tolvin\",source=\"" + source + "\"}");
    return it == m.samples.end() ? -1 : it->second;
  }
  // Runs `tolvin --status` with the arguments; returns its exit status and output.
  std::pair<int, std::string> status(const std::vector<std::string>& args) {
    auto p = start(args);
    auto code = p->wait(10s);
    return {code ? *code : -1, p->out() + p->err()};
  }
};

TEST_F(TolvinFiguresTest, ASiteSilentPastItsLimitWarnsOnceRecoversOnceAndTheFiguresMatchTheFiles) {
  write_ini("127.0.0.20=1\n127.0.0.21=2\nsilence_minutes=1\nmetrics_file=metrics.prom\n");
  // A minute lasts 1.2 s: the 2.5 s pause of the sender is a silence past its limit.
  auto tolvin = start_debug({{"RALVEK_TIME_SCALE", "50"}});
  ASSERT_EQ(pbxsim({"tcp", "--from", "127.0.0.20", "--to", "127.0.0.1:" + std::to_string(port_), "--count",
                    "40", "--quiet-after", "20", "--quiet-for", "2.5"}),
            0);
  ASSERT_TRUE(wait_until([&] { return value(metrics(), "ralvek_received_records_total", "1") == 40; }));

  auto [code, table] = status({"--status"});
  EXPECT_EQ(code, 0) << table;
  EXPECT_NE(table.find("127.0.0.20"), std::string::npos) << table;
  auto [json_code, json] = status({"--STATUS", "--json"});
  EXPECT_EQ(json_code, 0) << json;
  EXPECT_NE(json.find("\"source\":\"1\",\"address\":\"127.0.0.20\",\"connected\":0,\"records_today\":40,"),
            std::string::npos)
      << json;

  tolvin->signal(SIGINT);
  EXPECT_EQ(tolvin->wait(), 0) << tolvin->err();
  auto warnings = events_of(120, "1");
  ASSERT_EQ(warnings.size(), 1u) << read_file(event_log());
  EXPECT_EQ(warnings[0].type, 2);
  EXPECT_NE(warnings[0].text.find("\r\nAddress: 127.0.0.20\r\nLast data: 20"), std::string::npos) << warnings[0].text;
  EXPECT_NE(warnings[0].text.find("\r\nMinutes: 1"), std::string::npos);
  auto recoveries = events_of(121, "1");
  ASSERT_EQ(recoveries.size(), 1u);
  EXPECT_EQ(recoveries[0].type, 4);
  // Site 2 never sent: its silence counts from the start.
  auto never = events_of(120, "2");
  ASSERT_EQ(never.size(), 1u);
  EXPECT_NE(never[0].text.find("Last data: none since start at "), std::string::npos) << never[0].text;

  // The last metrics, written at the stop, against the finished files.
  EXPECT_EQ(pbxsim({"check", "--dir", data().string(), "--from", "127.0.0.20", "--count", "40"}), 0);
  std::uintmax_t bytes = 0;
  int files = 0;
  for (const auto& name : files_with_ext(data(), "dat")) {
    if (name.rfind("1_", 0) != 0) continue;
    bytes += std::filesystem::file_size(data() / name);
    ++files;
  }
  auto m = metrics();
  EXPECT_EQ(m.types["ralvek_received_records_total"], "counter");
  EXPECT_EQ(value(m, "ralvek_received_records_total", "1"), 40);
  EXPECT_EQ(value(m, "ralvek_received_bytes_total", "1"), static_cast<double>(bytes));
  EXPECT_EQ(value(m, "ralvek_files_finished_total", "1"), files);
  EXPECT_EQ(value(m, "ralvek_received_records_total", "2"), 0);
  EXPECT_EQ(value(m, "ralvek_silence_alarm", "2"), 1);
  EXPECT_EQ(value(m, "ralvek_failed_writes_total", "1"), 0);

  auto [stopped_code, stopped] = status({"--status"});
  EXPECT_NE(stopped_code, 0);
  EXPECT_NE(stopped.find("tolvin is not running"), std::string::npos) << stopped;
}

TEST_F(TolvinFiguresTest, NoWarningOutsideTheAlarmHours) {
  const char* days[] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  // Two days on, whole days: never today nor tomorrow, should the test run over midnight.
  write_ini("127.0.0.20=1\nsilence_minutes=1\nsilence_hours=" + std::string(days[(utc.tm_wday + 2) % 7]) +
            " 00-24\n");
  auto tolvin = start_debug();
  // 150 ticks of silence against a limit of 60.
  std::this_thread::sleep_for(1500ms);
  auto [code, table] = status({"--status"});
  EXPECT_EQ(code, 0) << table;
  tolvin->signal(SIGINT);
  EXPECT_EQ(tolvin->wait(), 0) << tolvin->err();
  EXPECT_TRUE(events_of(120, "1").empty()) << read_file(event_log());
}

}  // namespace
}  // namespace ralvek::e2e
