#include "hipath4_svc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <asio/write.hpp>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>

#include "files/data_files.h"
#include "platform/files_fixture.h"

namespace ralvek::quendor {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The real file system, with opening made to fail on request.
class FaultyFileSystem final : public platform::PassThroughFileSystem {
 public:
  bool fail_open = false;
  std::unique_ptr<platform::WritableFile> open(const fs::path& path,
                                               platform::OpenMode mode) override {
    if (fail_open) throw platform::FileError(EACCES, path);
    return real().open(path, mode);
  }
};

// The service with its events recorded instead of logged, owning its data files as the one
// running instance does.
class TestSvc : public Hipath4Svc {
 public:
  using Hipath4Svc::Hipath4Svc;
  std::vector<platform::EventRecord> events;
  void LogEvent(int type, std::int32_t id, const std::vector<std::string>& lines) override {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
    events.push_back({static_cast<std::int16_t>(type), id, text});
  }
  void unload(bool finish_files) { Unload(finish_files); }
  bool has(int type, std::int32_t id, const std::string& text) const {
    for (const auto& e : events) {
      if (e.type == type && e.id == id && e.text == text) return true;
    }
    return false;
  }
  bool start() {
    bool success = false;
    oSVC_Start(success);
    return success;
  }
  // Runs the loop until `done` holds, at most five seconds.
  template <typename Pred>
  bool run_until(Pred done) {
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      io().restart();
      io().run_for(10ms);
    }
    return done();
  }

 protected:
  bool owns_data_files() const override { return true; }
};

class Hipath4SvcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::temp_directory_path() / ("quendor_svc_" + std::to_string(::getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_);
    ::setenv("RALVEK_HOME", home_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("RALVEK_HOME");
    fs::remove_all(home_);
  }
  void write_ini(const std::string& text) { write(home_ / "quendor.ini", text); }
  static void write(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  std::vector<std::string> data_files() const {
    std::vector<std::string> names;
    if (!fs::is_directory(home_ / "data")) return names;
    for (const auto& e : fs::directory_iterator(home_ / "data"))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string ini_path() const { return (home_ / "quendor.ini").string(); }

  fs::path home_;
  FaultyFileSystem files_;
};

// ---- start ----

TEST_F(Hipath4SvcTest, StartReadsExchangesReportsAndConnectsNothingYet) {
  write_ini("[TCP Service]\nfile_interval=300\n1=192.0.2.20\n2=192.0.2.21:1202\n");
  TestSvc svc(files_);
  ASSERT_TRUE(svc.start());
  EXPECT_EQ(svc.file_interval(), 300);
  EXPECT_EQ(svc.exchanges(), (std::vector<int>{1, 2}));
  EXPECT_EQ(svc.client(1).remote_host, "192.0.2.20");
  EXPECT_EQ(svc.client(1).remote_port, 1201);
  EXPECT_EQ(svc.client(2).remote_port, 1202);
  EXPECT_EQ(svc.client(1).state(), net::SocketState::kClosed);
  EXPECT_TRUE(svc.connect_timer_enabled());
  EXPECT_TRUE(fs::is_directory(home_ / "data"));
  ASSERT_EQ(svc.events.size(), 1u);
  EXPECT_TRUE(svc.has(0, 110,
                      "Service attempted to start with the following settings:\r\nVersion:1.0.0\r\n"
                      "INI File: " +
                          ini_path()));
}

TEST_F(Hipath4SvcTest, ExchangeNumbersSizeTheFileArrays) {
  write_ini("[TCP Service]\n7=192.0.2.27\n2=192.0.2.22\n");
  TestSvc svc(files_);
  ASSERT_TRUE(svc.start());
  EXPECT_EQ(svc.exchanges(), (std::vector<int>{7, 2}));
  EXPECT_EQ(svc.files().highest(), 7);
}

TEST_F(Hipath4SvcTest, AFileWithoutTheSectionStartsWithNoExchanges) {
  write_ini("[Other]\n1=192.0.2.20\n");
  TestSvc svc(files_);
  ASSERT_TRUE(svc.start());
  EXPECT_TRUE(svc.exchanges().empty());
  EXPECT_EQ(svc.file_interval(), 120);
  EXPECT_EQ(svc.files().highest(), 0);
}

TEST_F(Hipath4SvcTest, AMissingIniFileFailsTheStart) {
  TestSvc svc(files_);
  EXPECT_FALSE(svc.start());
  EXPECT_TRUE(svc.has(1, 109, "INI file not found: " + ini_path() + "\r\nProcedure: oSVC_Start"));
  EXPECT_FALSE(svc.connect_timer_enabled());
}

struct BadSettings {
  const char* name;
  const char* ini;
  const char* message;  // empty: any message
};

class Hipath4SvcBadSettings : public Hipath4SvcTest,
                              public ::testing::WithParamInterface<BadSettings> {};

TEST_P(Hipath4SvcBadSettings, FailTheStartThroughTheErrorHandler) {
  write_ini(std::string("[TCP Service]\n") + GetParam().ini);
  TestSvc svc(files_);
  EXPECT_FALSE(svc.start());
  ASSERT_FALSE(svc.events.empty());
  const auto& error = svc.events.back();
  EXPECT_EQ(error.type, 1);
  EXPECT_EQ(error.id, 109);
  std::string expected_end = "\r\nProcedure: oSVC_Start";
  ASSERT_GE(error.text.size(), expected_end.size());
  EXPECT_EQ(error.text.substr(error.text.size() - expected_end.size()), expected_end);
  if (*GetParam().message) {
    EXPECT_EQ(error.text, GetParam().message + expected_end);
  }
  EXPECT_FALSE(svc.connect_timer_enabled());
  for (const auto& e : svc.events) EXPECT_NE(e.id, 110) << "no start report after a bad entry";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, Hipath4SvcBadSettings,
    ::testing::Values(BadSettings{"ThreeParts", "1=192.0.2.20:1201:9\n",
                                  "Invalid IP: 192.0.2.20:1201:9"},
                      BadSettings{"EmptyValue", "1=\n", "Invalid IP: "},
                      BadSettings{"Keys1And01", "1=192.0.2.20\n01=192.0.2.21\n",
                                  "Exchange 1 is configured twice (key 01)"},
                      BadSettings{"SameHostTwice", "1=192.0.2.20:1201\n2=192.0.2.20:1202\n", ""},
                      BadSettings{"SameHostAnyCase", "1=PBX-A\n2=pbx-a\n",
                                  "Exchange host pbx-a is configured twice (key 2)"},
                      BadSettings{"PortNotANumber", "1=192.0.2.20:http\n", "Type mismatch: 1=192.0.2.20:http"},
                      BadSettings{"NumberTooLarge", "40000=192.0.2.20\n", ""}),
    [](const ::testing::TestParamInfo<BadSettings>& info) { return std::string(info.param.name); });

// ---- files ----

TEST_F(Hipath4SvcTest, StartSweepsLeftoversOfEveryExchange) {
  write_ini("[TCP Service]\n1=192.0.2.20\n");
  fs::create_directories(home_ / "data");
  write(home_ / "data" / "3_20200101000000.hp4", "left");
  write(home_ / "data" / "4_20200101000000.hp4", "");
  write(home_ / "data" / "5_20200101000000.HP4", "upper");
  write(home_ / "data" / "notes.txt", "x");
  TestSvc svc(files_);
  ASSERT_TRUE(svc.start());
  EXPECT_EQ(data_files(), (std::vector<std::string>{"3_20200101000000.dat", "5_20200101000000.dat",
                                                    "notes.txt"}));
  EXPECT_EQ(read(home_ / "data" / "3_20200101000000.dat"), "left");
}

TEST_F(Hipath4SvcTest, FilesAreFinishedOnTheTickThatCompletesThePeriod) {
  write_ini("[TCP Service]\nfile_interval=10\n");  // 10 means 60
  TestSvc svc(files_);
  ASSERT_TRUE(svc.start());
  for (int round = 0; round < 2; ++round) {
    write(home_ / "data" / "1_20200101000000.hp4", "x");
    for (int tick = 1; tick < 60; ++tick) svc.tmrFileTimer_Timer();
    EXPECT_EQ(data_files().size(), 1u + round);
    EXPECT_TRUE(fs::exists(home_ / "data" / "1_20200101000000.hp4"));
    svc.tmrFileTimer_Timer();
    svc.wait_for_finished_files();
    EXPECT_FALSE(fs::exists(home_ / "data" / "1_20200101000000.hp4"));
    fs::rename(home_ / "data" / "1_20200101000000.dat",
               home_ / "data" / ("done" + std::to_string(round)));
  }
}

TEST_F(Hipath4SvcTest, BeforeTheStartEveryTickSweeps) {
  fs::create_directories(home_ / "data");
  write(home_ / "data" / "2_20200101000000.hp4", "x");
  TestSvc svc(files_);
  svc.tmrFileTimer_Timer();
  svc.wait_for_finished_files();
  EXPECT_EQ(data_files(), (std::vector<std::string>{"2_20200101000000.dat"}));
  EXPECT_TRUE(svc.events.empty());
}

TEST_F(Hipath4SvcTest, ARenameThatFailsIsSilentAndRetriedLater) {
  write_ini("[TCP Service]\n");
  fs::create_directories(home_ / "data");
  write(home_ / "data" / "1_20200101000000.hp4", "new");
  write(home_ / "data" / "1_20200101000000.dat", "old");
  TestSvc svc(files_);
  ASSERT_TRUE(svc.start());
  EXPECT_EQ(read(home_ / "data" / "1_20200101000000.dat"), "old");
  EXPECT_EQ(svc.events.size(), 1u);  // the start report only
  fs::remove(home_ / "data" / "1_20200101000000.dat");
  svc.unload(true);
  EXPECT_EQ(read(home_ / "data" / "1_20200101000000.dat"), "new");
}

// ---- connections, against an exchange on the loopback ----

class Hipath4SvcNetTest : public Hipath4SvcTest {
 protected:
  // Listens on 127.0.0.1 and returns the port. The exchange side runs on its own blocking
  // io_context: the kernel completes the service's connection before it is accepted.
  int listen() {
    acceptor_ = std::make_unique<asio::ip::tcp::acceptor>(
        exchange_io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    return acceptor_->local_endpoint().port();
  }
  void accept() { peer_ = std::make_unique<asio::ip::tcp::socket>(acceptor_->accept()); }
  void send(const std::string& bytes) { asio::write(*peer_, asio::buffer(bytes)); }
  std::string hp4_content() const {
    std::string all;
    for (const auto& name : data_files()) all += read(home_ / "data" / name);
    return all;
  }
  static bool connected(TestSvc& svc, int n) {
    return svc.client(n).state() == net::SocketState::kConnected;
  }

  asio::io_context exchange_io_;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
  std::unique_ptr<asio::ip::tcp::socket> peer_;
};

TEST_F(Hipath4SvcNetTest, ConnectsOnTheTickWritesEveryByteAndLogsTheRemoteClose) {
  TestSvc svc(files_);
  int port = listen();
  std::string where = "127.0.0.1:" + std::to_string(port);
  write_ini("[TCP Service]\n4=127.0.0.1:" + std::to_string(port) + "\n");
  ASSERT_TRUE(svc.start());
  svc.tmrConnectTCP_Timer();
  EXPECT_TRUE(svc.has(4, 108, "Connecting to " + where));
  ASSERT_TRUE(svc.run_until([&] { return svc.has(0, 110, "Connection established: " + where); }));
  accept();

  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  send(all);
  send("rec;1;half");
  ASSERT_TRUE(svc.run_until([&] { return hp4_content().size() == all.size() + 10; }));
  EXPECT_EQ(hp4_content(), all + "rec;1;half");
  EXPECT_TRUE(svc.files().is_open(4));

  peer_->close();
  ASSERT_TRUE(svc.run_until([&] { return svc.has(0, 110, "Disconnected from " + where); }));
  EXPECT_EQ(svc.client(4).state(), net::SocketState::kClosed);
  svc.tmrConnectTCP_Timer();  // closed by the peer: connected again on the next tick
  EXPECT_EQ(std::count_if(svc.events.begin(), svc.events.end(),
                          [&](const auto& e) { return e.text == "Connecting to " + where; }),
            2);
}

TEST_F(Hipath4SvcNetTest, AFileThatCannotBeCreatedLosesOnlyThatBlock) {
  TestSvc svc(files_);
  int port = listen();
  write_ini("[TCP Service]\n1=127.0.0.1:" + std::to_string(port) + "\n");
  ASSERT_TRUE(svc.start());
  svc.tmrConnectTCP_Timer();
  ASSERT_TRUE(svc.run_until([&] { return connected(svc, 1); }));
  accept();

  files_.fail_open = true;
  send("lost");
  ASSERT_TRUE(svc.run_until([&] { return svc.events.size() >= 5; }));
  ASSERT_EQ(svc.events.size(), 5u);
  EXPECT_EQ(svc.events[3].text.substr(0, 17), "Permission denied");
  std::string create_failed = "\r\nProcedure: CreateOutputFile";
  EXPECT_EQ(svc.events[3].text.substr(svc.events[3].text.size() - create_failed.size()),
            create_failed);
  EXPECT_EQ(svc.events[4].text,
            "No open output file for exchange 1: 4 bytes lost\r\nProcedure: DataArrival");
  EXPECT_FALSE(svc.files().is_open(1));

  files_.fail_open = false;
  send("kept");
  ASSERT_TRUE(svc.run_until([&] { return hp4_content() == "kept"; }));
}

TEST_F(Hipath4SvcNetTest, PeriodsEndingInQuickSuccessionEachLeaveTheirOwnDatFile) {
  TestSvc svc(files_);
  int port = listen();
  write_ini("[TCP Service]\nfile_interval=16\n1=127.0.0.1:" + std::to_string(port) + "\n");
  ASSERT_TRUE(svc.start());
  svc.tmrConnectTCP_Timer();
  ASSERT_TRUE(svc.run_until([&] { return connected(svc, 1); }));
  accept();

  std::string sent;
  for (int period = 0; period < 3; ++period) {
    std::string block = "period " + std::to_string(period) + ";";
    send(block);
    sent += block;
    ASSERT_TRUE(svc.run_until([&] { return hp4_content() == sent; }));
    for (int tick = 0; tick < 16; ++tick) svc.tmrFileTimer_Timer();
  }
  svc.wait_for_finished_files();
  auto names = data_files();
  ASSERT_EQ(names.size(), 3u);
  for (const auto& name : names) EXPECT_EQ(files::lower_extension(name), "dat") << name;
  EXPECT_EQ(hp4_content(), sent);  // names in the order of the data
}

TEST_F(Hipath4SvcNetTest, UnloadFinishesTheFilesOnlyForTheRunningInstance) {
  TestSvc svc(files_);
  int port = listen();
  write_ini("[TCP Service]\n1=127.0.0.1:" + std::to_string(port) + "\n");
  ASSERT_TRUE(svc.start());
  svc.tmrConnectTCP_Timer();
  ASSERT_TRUE(svc.run_until([&] { return connected(svc, 1); }));
  accept();
  send("data");
  ASSERT_TRUE(svc.run_until([&] { return hp4_content() == "data"; }));

  svc.unload(false);  // a second run (install, remove) must not touch the service's files
  ASSERT_EQ(data_files().size(), 1u);
  EXPECT_EQ(files::lower_extension(data_files()[0]), "hp4");
  svc.unload(true);
  ASSERT_EQ(data_files().size(), 1u);
  EXPECT_EQ(files::lower_extension(data_files()[0]), "dat");
  EXPECT_FALSE(svc.files().is_open(1));
}

}  // namespace
}  // namespace ralvek::quendor
