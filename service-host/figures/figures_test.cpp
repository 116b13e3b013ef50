#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "figures/board.h"
#include "figures/figures.h"
#include "figures/publish.h"

namespace ralvek::figures {
namespace {

TEST(FiguresTest, LineFeedsAreCountedExactlyWhateverTheirPlaceAndNeighbours) {
  std::mt19937 random(7);
  const char alphabet[] = {'\n', '\r', 'a', '\x0b', '\x8a', '\x09', '\0', '\xff'};
  for (int round = 0; round < 2000; ++round) {
    std::string block(random() % 40, ' ');
    for (char& c : block) c = alphabet[random() % sizeof(alphabet)];
    auto expected = static_cast<std::uint64_t>(std::count(block.begin(), block.end(), '\n'));
    ASSERT_EQ(count_line_feeds(block), expected) << round;
  }  // Past the 255 rounds a lane may count before it would wrap.
  std::string all(16 * 300 + 5, '\n');
  EXPECT_EQ(count_line_feeds(all), all.size());
}

TEST(FiguresTest, AnAppendedLineEndCountsOnlyWhenItEndsALine) {
  EXPECT_EQ(records_in("a\r\nb\r\n", ""), 2u);
  EXPECT_EQ(records_in("a\r\nb\r\n", "\r\n"), 2u);  // the extra line end adds an empty line
  EXPECT_EQ(records_in("a\r\nb", "\r\n"), 2u);
  EXPECT_EQ(records_in("a\r\nb", ""), 1u);
  EXPECT_EQ(records_in("", "\r\n"), 0u);
}

std::tm at(int wday, int hour) {
  std::tm t{};
  t.tm_wday = wday;
  t.tm_hour = hour;
  return t;
}

TEST(AlarmHoursTest, DaysAndHoursBoundTheAlarmAndNightSpansBelongToTheirFirstDay) {
  auto office = AlarmHours::parse("Mon-Fri 07-20");
  ASSERT_TRUE(office);
  EXPECT_TRUE(office->contains(at(1, 7)));
  EXPECT_FALSE(office->contains(at(1, 20)));
  EXPECT_FALSE(office->contains(at(1, 6)));
  EXPECT_FALSE(office->contains(at(6, 10)));
  EXPECT_TRUE(office->contains(at(5, 19)));

  auto night = AlarmHours::parse("tue 22-06, sat-sun 08-12");
  ASSERT_TRUE(night);
  EXPECT_TRUE(night->contains(at(2, 23)));
  EXPECT_TRUE(night->contains(at(3, 5)));   // Wednesday morning: Tuesday's night
  EXPECT_FALSE(night->contains(at(2, 5)));  // Tuesday morning: Monday's, not configured
  EXPECT_TRUE(night->contains(at(0, 9)));

  EXPECT_TRUE(AlarmHours::parse("")->always());
  for (const char* bad : {"mon-fri", "07-25", "24-06", "funday 07-20", "mon-fri 07", "07-07", "1-2-3"}) {
    EXPECT_FALSE(AlarmHours::parse(bad)) << bad;
  }
}

struct Event {
  int type;
  std::int32_t id;
  std::vector<std::string> lines;
};

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("figures_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<Board> make(const std::string& settings) {
    auto board = std::make_unique<Board>(io_, "tolvin", dir_, [this](int t, std::int32_t id, const auto& lines) {
      events_.push_back({t, id, lines});
    });
    ini::IniFile ini;
    ini.parse("[tolvin]\n" + settings);
    warning_ = board->configure(ini, "tolvin");
    board->add_source(3, "3", "127.0.0.20");
    return board;
  }
  // A Monday at `hour`, local time.
  static std::time_t monday(int hour) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;  // 2026-12-07, a Monday
    t.tm_hour = hour;
    t.tm_isdst = -1;
    return std::mktime(&t);
  }

  asio::io_context io_;
  std::filesystem::path dir_;
  std::vector<Event> events_;
  std::string warning_;
};

TEST_F(BoardTest, ASilentSourceRaisesOneWarningAtItsLimitAndOneRecoveryAtItsFirstData) {
  auto board = make("silence_minutes=2\n");
  std::time_t now = monday(10);
  for (int tick = 1; tick < 120; ++tick) board->tick(now + tick);
  EXPECT_TRUE(events_.empty());
  board->tick(now + 120);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].type, 2);
  EXPECT_EQ(events_[0].id, kSilenceEventID);
  EXPECT_EQ(events_[0].lines.at(1), "Source: 3");
  EXPECT_EQ(events_[0].lines.at(2), "Address: 127.0.0.20");
  EXPECT_TRUE(events_[0].lines.at(3).starts_with("Last data: none since start")) << events_[0].lines.at(3);
  EXPECT_EQ(events_[0].lines.at(4), "Minutes: 2");
  for (int tick = 121; tick < 400; ++tick) board->tick(now + tick);
  EXPECT_EQ(events_.size(), 1u);

  board->on_data(3, 10, 1);
  board->on_data(3, 10, 1);
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[1].type, 4);
  EXPECT_EQ(events_[1].id, kSilenceOverEventID);
  EXPECT_EQ(events_[1].lines.back(), "Quiet for: 6 minutes");
  EXPECT_EQ(board->sources()[0].records_total, 2u);
  EXPECT_EQ(board->sources()[0].bytes_today, 20u);
}

TEST_F(BoardTest, SilenceBegunOutsideTheAlarmHoursCountsFromTheirStart) {
  auto board = make("silence_minutes=1\nsilence_hours=mon-fri 07-20\n");
  EXPECT_EQ(warning_, "");
  std::time_t night = monday(7) - 300;  // 06:55
  for (int tick = 1; tick <= 300 + 58; ++tick) board->tick(night + tick);
  EXPECT_TRUE(events_.empty());
  // Silent since 06:55: the alarm counts from 07:00 and stands within a tick of 07:01.
  board->tick(night + 359);
  board->tick(night + 360);
  ASSERT_EQ(events_.size(), 1u);
  board->on_data(3, 1, 1);
  std::time_t evening = monday(19) + 3590;  // 19:59:50
  for (int tick = 1; tick <= 200; ++tick) board->tick(evening + tick);
  EXPECT_EQ(events_.size(), 2u);  // the recovery only: the silence fell outside the hours

  auto bad = make("silence_minutes=1\nsilence_hours=weekdays\n");
  EXPECT_NE(warning_, "");
}

TEST_F(BoardTest, FilesCountAsFinishedOnlyWhenTheyReceivedDataAndTheStatusFileReadsBack) {
  auto board = make("metrics_file=metrics.prom\n");
  board->add_source(7, "7", "a\"b\\c");
  board->on_file_opened(3, "/data/3_20261207100000ABCDE.ip");
  board->on_data(3, 120, 1);
  board->on_file_closed(3);
  board->on_file_opened(3, "/data/3_20261207100100ABCDE.ip");
  board->on_file_closed(3);
  board->on_file_opened(3, "/data/3_20261207100200ABCDE.ip");
  board->on_write_failed(3);
  board->on_connected(7, true);
  board->on_data(99, 1, 1);  // no such source: ignored
  EXPECT_EQ(board->sources()[0].files_finished, 1u);

  std::string metrics = prometheus_text(*board);
  EXPECT_NE(metrics.find("ralvek_files_finished_total{service=\"tolvin\",source=\"3\"} 1\n"), std::string::npos);
  EXPECT_NE(metrics.find("ralvek_source_connected{service=\"tolvin\",source=\"7\"} 1\n"), std::string::npos);
  EXPECT_NE(metrics.find("ralvek_failed_writes_total{service=\"tolvin\",source=\"3\"} 1\n"), std::string::npos);

  StatusFile status;
  ASSERT_TRUE(parse_status(status_text(*board), status));
  ASSERT_EQ(status.rows.size(), 2u);
  EXPECT_EQ(status.program, "tolvin");
  std::string json = status_json(status);
  EXPECT_NE(json.find("\"records_total\":1,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"current_file\":\"3_20261207100200ABCDE.ip\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"address\":\"a\\\"b\\\\c\""), std::string::npos) << json;
  std::string table = status_table(status);
  EXPECT_NE(table.find("3_20261207100200ABCDE.ip"), std::string::npos) << table;

  board->start();
  EXPECT_TRUE(std::filesystem::exists(dir_ / "metrics.prom"));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "tolvin.status"));
  board->stop();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "tolvin.status"));
}

}  // namespace
}  // namespace ralvek::figures
