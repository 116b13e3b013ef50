// --status and the metrics file of a running brastel.
#include <csignal>

#include "brastel_fixture.h"
#include "prometheus_text.h"

namespace ralvek::e2e {
namespace {

TEST_F(BrastelTest, StatusAndMetricsCountTheFilesAndBytesMoved) {
  write_ini("ProcessInterval=1\nDebugMode=1\nmetrics_file=brastel.prom\n" + default_paths());
  data_file("a.dat", "12345");
  data_file("b.dat", "678");
  auto p = start({"--interactive"});
  ASSERT_TRUE(wait_entries("2 file(s) copied.", 1));
  std::string json;
  ASSERT_TRUE(wait_until([&] {
    auto status = start({"--status", "--json"});
    status->wait(10s);
    json = status->out();
    return json.find("\"files_moved\":2,\"bytes_moved\":8,") != std::string::npos;
  })) << json;
  auto metrics = parse_prometheus_text(read_file(home_ / "brastel.prom"));
  EXPECT_EQ((metrics.samples["ralvek_moved_bytes_total{service=\"brastel\",source=\"copy\"}"]), 8);
  EXPECT_EQ((metrics.samples["ralvek_copy_error_count{service=\"brastel\",source=\"copy\"}"]), 0);
  p->signal(SIGINT);
  EXPECT_EQ(p->wait(10s), 0) << p->err();
  auto after = start({"--status"});
  EXPECT_NE(after->wait(10s).value_or(0), 0);
  EXPECT_NE(after->err().find("brastel is not running"), std::string::npos) << after->err();
}

}  // namespace
}  // namespace ralvek::e2e
