#include "com_service.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>

#include "platform/files_fixture.h"

namespace ralvek::serrak {
namespace {

namespace fs = std::filesystem;

struct Event {
  int type;
  int id;
  std::vector<std::string> lines;
};

class FakeHost : public ComHost {
 public:
  void LogEvent(int type, std::int32_t id, const std::vector<std::string>& lines) override {
    events.push_back({type, id, lines});
  }
  void ErrorHandler(const std::string& msg, const std::string& procedure) override {
    errors.push_back({procedure, msg});
  }
  void request_service_stop() override { ++stop_requests; }
  bool owns_data_files() const override { return owns; }

  std::vector<Event> events;
  std::vector<std::pair<std::string, std::string>> errors;  // procedure, message
  int stop_requests = 0;
  bool owns = true;
};

class FakePort : public platform::SerialPort {
 public:
  void set_device(const fs::path& d) override { device_ = d; }
  const fs::path& device() const override { return device_; }
  void set_rts(bool on) override { rts = on; }
  void set_dtr(bool on) override { dtr = on; }
  void set_handshaking(platform::Handshaking mode) override { handshaking = mode; }
  void set_settings(const std::string& text) override {
    platform::parse_line_settings(text);
    settings_ = text;
  }
  const std::string& settings() const override { return settings_; }
  void open() override {
    ++open_attempts;
    if (fail_open) throw platform::SerialPortError("Cannot open serial port " + device_.string());
    open_ = true;
    ++opens;
  }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  void set_on_comm(std::function<void(int)> handler) override { on_comm = std::move(handler); }
  std::string take_input() override { return std::exchange(input, std::string()); }
  void discard_input() override {
    input.clear();
    ++discards;
  }
  void set_receive_threshold(int) override {}

  fs::path device_;
  std::string settings_ = "9600,n,8,1";
  bool rts = false, dtr = false, open_ = false, fail_open = false;
  platform::Handshaking handshaking = platform::Handshaking::kNone;
  int opens = 0, open_attempts = 0, discards = 0;
  std::string input;
  std::function<void(int)> on_comm;
};

class FakeScript : public UserScript {
 public:
  void set_notifications(std::function<void(const ScriptErrorInfo&)> e, std::function<void(long)> t) override {
    on_error = std::move(e);
    on_timeout = std::move(t);
  }
  void add_code(std::string_view text) override {
    code = std::string(text);
    if (code.find("syntax error") != std::string::npos) {
      on_error({"Expected 'Then'", "If x", 1, "VBScript compilation error"});
      throw ScriptFailure("Expected 'Then'");
    }
  }
  void run(const std::string& procedure, const std::string& argument) override {
    calls.push_back(procedure + "(" + argument + ")");
    existed_at_call.push_back(fs::exists(argument));
    if (behaviour == "fail") {
      on_error({"Division by zero", "x = 1 / 0", 3, "VBScript runtime error"});
      throw ScriptFailure("Division by zero");
    }
    if (behaviour == "timeout") {
      on_timeout(30000);
      throw ScriptFailure("Script timed out");
    }
    if (behaviour == "delete") fs::remove(argument);
    if (behaviour == "rename") fs::rename(argument, argument + ".mine");
  }
  long timeout_ms() const override { return 30000; }

  std::string code, behaviour;
  std::vector<std::string> calls;
  std::vector<bool> existed_at_call;
  std::function<void(const ScriptErrorInfo&)> on_error;
  std::function<void(long)> on_timeout;
};

// The real file system with switchable faults.
class FaultyFileSystem : public platform::PassThroughFileSystem {
 public:
  std::unique_ptr<platform::WritableFile> open(const fs::path& p, platform::OpenMode m) override {
    if (fail_open) throw platform::FileError(EACCES, p);
    auto file = real().open(p, m);
    struct Failing : platform::WritableFile {
      explicit Failing(bool* fail, std::unique_ptr<platform::WritableFile> f) : fail(fail), file(std::move(f)) {}
      void append(std::string_view b) override {
        if (*fail) throw platform::FileError(ENOSPC, "x");
        file->append(b);
      }
      void sync() override { file->sync(); }
      bool* fail;
      std::unique_ptr<platform::WritableFile> file;
    };
    return std::make_unique<Failing>(&fail_append, std::move(file));
  }
  bool fail_open = false;
  bool fail_append = false;
};

class ComServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("serrak_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    service_.reset();
    fs::remove_all(dir_);
  }

  void write_ini(const std::string& keys) { write(dir_ / "serrak.ini", "[COM Service]\n" + keys); }
  static void write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  // What the folder holds once the files handed to the finisher are finished.
  std::set<std::string> data_files() const {
    if (service_) service_->wait_for_finished_files();
    std::set<std::string> names;
    if (!fs::exists(dir_ / "data")) return names;
    for (const auto& e : fs::directory_iterator(dir_ / "data")) names.insert(e.path().filename().string());
    return names;
  }

  COMService& make() {
    auto port = std::make_unique<FakePort>();
    port_ = port.get();
    service_ = std::make_unique<COMService>(
        io_, host_,
        ComServiceParts{dir_, &files_, std::move(port),
                        [this] {
                          auto script = std::make_unique<FakeScript>();
                          script_ = script.get();
                          return script;
                        },
                        [this] { return stamps_.empty() ? std::string("20261206053100") : next_stamp(); }});
    return *service_;
  }
  std::string next_stamp() {
    std::string s = stamps_.front();
    if (stamps_.size() > 1) stamps_.erase(stamps_.begin());
    return s;
  }
  bool start(const std::string& keys = "siteid=12\ncom_device=/dev/ttyFake\ncom_interval=2\n") {
    write_ini(keys);
    make();
    bool ok = false;
    service_->oSVC_Start(ok);
    return ok;
  }
  void receive(const std::string& bytes) {
    port_->input += bytes;
    port_->on_comm(platform::kComEvReceive);
  }
  std::string first_error() const { return host_.errors.empty() ? "" : host_.errors[0].second; }

  asio::io_context io_;
  fs::path dir_;
  FakeHost host_;
  FaultyFileSystem files_;
  FakePort* port_ = nullptr;
  FakeScript* script_ = nullptr;
  std::vector<std::string> stamps_;
  std::unique_ptr<COMService> service_;
};

TEST_F(ComServiceTest, StartAppliesTheSettingsReportsSevenLinesThenOpensThePort) {
  ASSERT_TRUE(start("siteid=12\ncom_port=3\ncom_rts=0\ncom_dtr=true\ncom_handshaking=2\n"
                    "com_settings=19200,e,7,1\n"));
  ASSERT_EQ(host_.events.size(), 1u);
  const auto& report = host_.events[0];
  EXPECT_EQ(report.type, 0);
  EXPECT_EQ(report.id, 110);
  std::vector<std::string> expected = {
      "Service attempted to start with the following settings:",
      "Version: 1.0.0",
      "Site ID: 12",
      "COM Port: 3",
      "COM Settings: 19200,e,7,1",
      "INI File: " + (dir_ / "serrak.ini").string(),
      "Script File: No script file."};
  EXPECT_EQ(report.lines, expected);
  EXPECT_EQ(port_->device(), "/dev/ttyS2");
  EXPECT_FALSE(port_->rts);
  EXPECT_TRUE(port_->dtr);
  EXPECT_EQ(port_->handshaking, platform::Handshaking::kRtsCts);
  EXPECT_TRUE(port_->is_open());
  EXPECT_TRUE(service_->timer_enabled());
  EXPECT_TRUE(service_->blnFileOK());
  EXPECT_EQ(data_files(), std::set<std::string>{"12_20261206053100.kom"});
  EXPECT_TRUE(host_.errors.empty());
}

TEST_F(ComServiceTest, ComDeviceOverridesThePortNumberInTheReport) {
  ASSERT_TRUE(start("siteid=1\ncom_port=abc_is_not_read_as_device\n") == false);
  EXPECT_EQ(first_error(), "Type mismatch: com_port=abc_is_not_read_as_device");
  host_ = FakeHost();
  ASSERT_TRUE(start("siteid=1\ncom_device=/dev/pts/77\n"));
  EXPECT_EQ(host_.events[0].lines[3], "COM Port: /dev/pts/77");
  EXPECT_EQ(port_->device(), "/dev/pts/77");
}

TEST_F(ComServiceTest, BadSettingsFailTheStartWithTheirOwnText) {
  struct Case {
    std::string keys, error;
  };
  const std::vector<Case> cases = {
      {"", "Invalid Site ID: 0"},
      {"siteid=0\n", "Invalid Site ID: 0"},
      {"siteid=-3\n", "Invalid Site ID: -3"},
      {"siteid=abc\n", "Invalid Site ID: abc"},
      {"siteid=1/../../etc\n", "Invalid Site ID: 1/../../etc"},
      {"siteid=1\ncom_port=COM1\n", "Type mismatch: com_port=COM1"},
      {"siteid=1\ncom_rts=yes\n", "Type mismatch: com_rts=yes"},
      {"siteid=1\ncom_handshaking=7\n", "Invalid property value"},
      {"siteid=1\ncom_settings=9600,x,8,1\n", "Invalid COM settings \"9600,x,8,1\": parity must be one of n, e, o, m, s"},
      {"siteid=1\ncom_settings=9600,n,8\n", "Invalid COM settings \"9600,n,8\": expected four fields: baud rate, parity, data bits, stop bits"},
  };
  for (const auto& c : cases) {
    host_ = FakeHost();
    EXPECT_FALSE(start(c.keys + "com_device=/dev/ttyFake\n")) << c.keys;
    ASSERT_EQ(host_.errors.size(), 1u) << c.keys;
    EXPECT_EQ(host_.errors[0], (std::pair<std::string, std::string>{"oSVC_Start", c.error}));
    EXPECT_TRUE(host_.events.empty()) << "no start report after a failed step";
    EXPECT_FALSE(port_->is_open());
    EXPECT_FALSE(service_->timer_enabled());
  }
  host_ = FakeHost();
  EXPECT_FALSE(start("siteid=1\ncom_port=0\n"));
  EXPECT_EQ(first_error(), "Invalid port number");
}

TEST_F(ComServiceTest, MissingIniFileFailsTheStartWithItsPath) {
  make();
  bool ok = true;
  service_->oSVC_Start(ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(first_error(), "INI file not found: " + (dir_ / "serrak.ini").string());
}

TEST_F(ComServiceTest, SiteIdOfDigitsAndLettersIsUsedAsReadInFileNames) {
  ASSERT_TRUE(start("siteid=7b\ncom_device=/dev/ttyFake\n"));
  EXPECT_EQ(data_files(), std::set<std::string>{"7b_20261206053100.kom"});
}

TEST_F(ComServiceTest, PortThatDoesNotOpenFailsTheStartAfterTheReport) {
  write_ini("siteid=1\ncom_device=/dev/ttyFake\n");
  make();
  port_->fail_open = true;
  bool ok = true;
  service_->oSVC_Start(ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(host_.events.size(), 1u);
  EXPECT_EQ(host_.errors[0], (std::pair<std::string, std::string>{"oSVC_Start", "Cannot open serial port /dev/ttyFake"}));
  EXPECT_FALSE(service_->timer_enabled());
}

TEST_F(ComServiceTest, StartSweepsLeftoversOfEverySiteAndDeletesEmptyOnes) {
  fs::create_directories(dir_ / "data");
  write(dir_ / "data" / "3_20200101000000.kom", "x\r\n");
  write(dir_ / "data" / "12_20200101000001.KOM", "y\r\n");
  write(dir_ / "data" / "12_20200101000002.kom", "");
  write(dir_ / "data" / "12_20200101000003.kom", "new");
  write(dir_ / "data" / "12_20200101000003.dat", "old");
  write(dir_ / "data" / "note.txt", "z");
  ASSERT_TRUE(start());
  EXPECT_EQ(data_files(), (std::set<std::string>{"3_20200101000000.dat", "12_20200101000001.dat",
                                                 "12_20200101000003.kom", "12_20200101000003.dat",
                                                 "note.txt", "12_20261206053100.kom"}));
  EXPECT_EQ(read(dir_ / "data" / "12_20200101000003.dat"), "old");
  ASSERT_EQ(host_.errors.size(), 1u);
  EXPECT_EQ(host_.errors[0].first, "ChangeComToDat");
}

TEST_F(ComServiceTest, SecondInstanceLeavesTheDataFilesAlone) {
  fs::create_directories(dir_ / "data");
  write(dir_ / "data" / "5_20200101000000.kom", "being written by the first instance");
  host_.owns = false;
  ASSERT_TRUE(start());
  receive("A\r");
  service_->Unload(false);
  EXPECT_EQ(data_files(), (std::set<std::string>{"5_20200101000000.kom", "12_20261206053100.kom"}));
}

TEST_F(ComServiceTest, FileNotCreatedAtStartFailsTheStartWithItsPath) {
  write_ini("siteid=1\ncom_device=/dev/ttyFake\n");
  make();
  files_.fail_open = true;
  bool ok = true;
  service_->oSVC_Start(ok);
  EXPECT_FALSE(ok);
  ASSERT_EQ(host_.errors.size(), 2u);
  EXPECT_EQ(host_.errors[0].first, "CreateOutputFile");
  EXPECT_EQ(host_.errors[1].second,
            "Failed to create output file: " + (dir_ / "data" / "1_20261206053100.kom").string());
}

TEST_F(ComServiceTest, ReceivedLinesAreWrittenAndTheRestWaits) {
  ASSERT_TRUE(start());
  receive("A\r\nB");
  receive("C\r");
  port_->on_comm(3);  // CTS change: nothing
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053100.kom"), "A\r\nBC\r\n");
  receive("tail");
  EXPECT_EQ(service_->strBuffer(), "tail");
  EXPECT_TRUE(host_.events.size() == 1 && host_.errors.empty());
}

TEST_F(ComServiceTest, LinesOfAFailedWriteAreWrittenWithTheNextLine) {
  ASSERT_TRUE(start());
  files_.fail_append = true;
  receive("A\r");
  EXPECT_EQ(host_.errors.at(0).first, "OnComm");
  files_.fail_append = false;
  receive("B\r");
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053100.kom"), "A\r\nB\r\n");
}

TEST_F(ComServiceTest, AnUnfinishedLineOfAKilledRunBeginsTheNextRunsFirstLine) {
  stamps_ = {"20261206053100", "20261206053105"};
  ASSERT_TRUE(start());
  receive("A\rhalf");
  receive(" of it");
  EXPECT_EQ(read(dir_ / "serrak.pending"), "half of it");
  ASSERT_TRUE(start());  // the first run ended without an unload, as a killed process does
  EXPECT_EQ(service_->strBuffer(), "half of it");
  receive(" and the end\rnext");
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053105.kom"), "half of it and the end\r\n");
  EXPECT_EQ(read(dir_ / "serrak.pending"), "next");
}

TEST_F(ComServiceTest, AnOrderlyStopKeepsTheUnfinishedLineAndLinesADiskRefusedForTheNextRun) {
  stamps_ = {"20261206053100", "20261206053105"};
  ASSERT_TRUE(start());
  files_.fail_append = true;
  receive("refused\rhalf");
  files_.fail_append = false;
  service_->StopRequest();
  service_->Unload(true);
  EXPECT_EQ(read(dir_ / "serrak.pending"), "refused\rhalf");
  ASSERT_TRUE(start());
  receive(" and the end\r");
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053105.kom"), "refused\r\nhalf and the end\r\n");
}

TEST_F(ComServiceTest, ASecondInstanceNeitherTakesNorLeavesPendingCharacters) {
  write(dir_ / "serrak.pending", "the first instance's");
  host_.owns = false;
  ASSERT_TRUE(start());
  EXPECT_EQ(service_->strBuffer(), "");
  receive("mine");
  service_->Unload(false);
  EXPECT_EQ(read(dir_ / "serrak.pending"), "the first instance's");
}

TEST_F(ComServiceTest, LineErrorsAreLoggedAndResetThePortKeepingTheBuffer) {
  ASSERT_TRUE(start());
  receive("part");
  for (int code : {1001, 1004, 1006, 1008, 1009, 1010, 1011}) {
    host_.events.clear();
    int opens = port_->opens;
    port_->input = "garbage";
    port_->on_comm(code);
    ASSERT_EQ(host_.events.size(), 1u);
    EXPECT_EQ(host_.events[0].type, 2);
    EXPECT_EQ(host_.events[0].id, 108);
    EXPECT_EQ(host_.events[0].lines,
              (std::vector<std::string>{"Com Port Error Event Received.", "Event ID: " + std::to_string(code)}));
    EXPECT_EQ(port_->opens, opens + 1);
    EXPECT_TRUE(port_->input.empty());
  }
  EXPECT_EQ(service_->strBuffer(), "part");
  // A device that does not come back leaves the port down; collection does not crash.
  port_->fail_open = true;
  port_->on_comm(1011);
  EXPECT_EQ(host_.errors.back().first, "OnComm");
  EXPECT_FALSE(port_->is_open());
}

TEST_F(ComServiceTest, ADeviceThatWentAwayIsOpenedAgainQuietlyUntilItIsBack) {
  ASSERT_TRUE(start());
  receive("half ");
  port_->fail_open = true;
  port_->on_comm(platform::kComEventDCB);
  ASSERT_EQ(host_.errors.size(), 1u);  // the failure that took the port down
  EXPECT_EQ(host_.errors[0].first, "OnComm");
  EXPECT_FALSE(port_->is_open());
  int attempts = port_->open_attempts;
  const int ticks = 10 * COMService::kReopenTicks;
  for (int i = 0; i < ticks; ++i) service_->tmrReopenPort_Timer();
  EXPECT_EQ(port_->open_attempts, attempts + 10);
  EXPECT_EQ(host_.errors.size(), 1u);  // retries are quiet
  std::size_t events = host_.events.size();
  port_->fail_open = false;
  for (int i = 0; i < COMService::kReopenTicks; ++i) service_->tmrReopenPort_Timer();
  EXPECT_TRUE(port_->is_open());
  EXPECT_FALSE(service_->reopen_timer_enabled());
  ASSERT_EQ(host_.events.size(), events + 1);
  EXPECT_EQ(host_.events.back().type, 4);
  EXPECT_EQ(host_.events.back().id, 110);
  EXPECT_EQ(host_.events.back().lines, (std::vector<std::string>{"Com Port opened again.", "COM Port: /dev/ttyFake"}));
  EXPECT_EQ(port_->device(), "/dev/ttyFake");
  receive("line\r");
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053100.kom"), "half line\r\n");
  // A stop while the port is down ends the retries.
  port_->fail_open = true;
  port_->on_comm(platform::kComEventDCB);
  EXPECT_TRUE(service_->reopen_timer_enabled());
  service_->StopRequest();
  EXPECT_FALSE(service_->reopen_timer_enabled());
}

TEST_F(ComServiceTest, TicksRenameEveryIntervalPlusOneAndDropEmptyFiles) {
  stamps_ = {"20261206053100", "20261206053103", "20261206053106", "20261206053109"};
  ASSERT_TRUE(start());  // com_interval=2
  receive("one\r");
  service_->tmrCreateOutputFile_Timer();
  service_->tmrCreateOutputFile_Timer();
  EXPECT_EQ(data_files(), std::set<std::string>{"12_20261206053100.kom"});
  service_->tmrCreateOutputFile_Timer();  // third tick: rename
  EXPECT_EQ(data_files(), (std::set<std::string>{"12_20261206053100.dat", "12_20261206053103.kom"}));
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053100.dat"), "one\r\n");
  for (int i = 0; i < 3; ++i) service_->tmrCreateOutputFile_Timer();  // an empty period
  EXPECT_EQ(data_files(), (std::set<std::string>{"12_20261206053100.dat", "12_20261206053106.kom"}));
}

TEST_F(ComServiceTest, IntervalZeroRenamesAtEveryTick) {
  stamps_ = {"20261206053100", "20261206053101", "20261206053102"};
  ASSERT_TRUE(start("siteid=4\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  receive("a\r");
  service_->tmrCreateOutputFile_Timer();
  receive("b\r");
  service_->tmrCreateOutputFile_Timer();
  EXPECT_EQ(data_files(), (std::set<std::string>{"4_20261206053100.dat", "4_20261206053101.dat",
                                                 "4_20261206053102.kom"}));
}

TEST_F(ComServiceTest, PeriodsBegunWithinOneSecondEachBecomeTheirOwnDatFile) {
  ASSERT_TRUE(start("siteid=4\ncom_device=/dev/ttyFake\ncom_interval=0\n"));  // one stamp only
  for (const char* line : {"first\r", "second\r", "third\r"}) {
    receive(line);
    service_->tmrCreateOutputFile_Timer();
  }
  service_->Unload(true);
  EXPECT_EQ(data_files(), (std::set<std::string>{"4_20261206053100.dat", "4_20261206053101.dat",
                                                 "4_20261206053102.dat"}));
  EXPECT_EQ(read(dir_ / "data" / "4_20261206053102.dat"), "third\r\n");
}

TEST_F(ComServiceTest, ATakenNameNeverReceivesTheNextPeriodsLines) {
  stamps_ = {"20261231235959"};
  fs::create_directories(dir_ / "data");
  write(dir_ / "data" / "4_20261231235959.dat", "taken");
  write(dir_ / "data" / "4_20270101000000.kom", "left by a failed rename");
  ASSERT_TRUE(start("siteid=4\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  receive("new\r");
  // The sweep finished the .kom; the new file takes the first second free of both names.
  EXPECT_EQ(service_->strOutputFile(), (dir_ / "data" / "4_20270101000001.kom").string());
  EXPECT_EQ(read(dir_ / "data" / "4_20270101000001.kom"), "new\r\n");
  EXPECT_EQ(read(dir_ / "data" / "4_20261231235959.dat"), "taken");
  EXPECT_EQ(read(dir_ / "data" / "4_20270101000000.dat"), "left by a failed rename");
}

TEST_F(ComServiceTest, FailedCreationAtARenameStopsTheServiceAtTheNextNotification) {
  ASSERT_TRUE(start("siteid=4\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  files_.fail_open = true;
  service_->tmrCreateOutputFile_Timer();
  EXPECT_FALSE(service_->blnFileOK());
  EXPECT_EQ(host_.errors.at(0).first, "CreateOutputFile");
  port_->input = "waiting";
  port_->on_comm(platform::kComEvReceive);
  EXPECT_FALSE(port_->is_open());
  EXPECT_FALSE(service_->timer_enabled());
  EXPECT_EQ(port_->input, "waiting");
  EXPECT_EQ(host_.stop_requests, 1);
  EXPECT_EQ(host_.events.back().type, 2);
  EXPECT_EQ(host_.events.back().id, 109);
  EXPECT_EQ(host_.events.back().lines,
            (std::vector<std::string>{"Failed to create temporary output file: ",
                                      (dir_ / "data" / "4_20261206053100.kom").string()}));
}

TEST_F(ComServiceTest, FailedCreationIsRetriedAtTheNextRename) {
  stamps_ = {"20261206053100", "20261206053101", "20261206053102"};
  ASSERT_TRUE(start("siteid=4\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  files_.fail_open = true;
  service_->tmrCreateOutputFile_Timer();
  files_.fail_open = false;
  service_->tmrCreateOutputFile_Timer();
  EXPECT_TRUE(service_->blnFileOK());
  receive("x\r");
  EXPECT_EQ(read(dir_ / "data" / "4_20261206053102.kom"), "x\r\n");
}

TEST_F(ComServiceTest, StopAndUnloadFinishTheLastFileWithoutTheUnfinishedLine) {
  ASSERT_TRUE(start());
  receive("done\rhalf");
  service_->StopRequest();
  EXPECT_FALSE(port_->is_open());
  EXPECT_FALSE(service_->timer_enabled());
  service_->Unload(true);
  EXPECT_EQ(data_files(), std::set<std::string>{"12_20261206053100.dat"});
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053100.dat"), "done\r\n");
}

TEST_F(ComServiceTest, UnloadDeletesAnEmptyLastFile) {
  ASSERT_TRUE(start());
  service_->Unload(true);
  EXPECT_TRUE(data_files().empty());
}

class ComScriptTest : public ComServiceTest {};

TEST_F(ComScriptTest, VbsIsPreferredAndSeesEveryNonEmptyFileBeforeItsRename) {
  write(dir_ / "serrak.vbs", "Sub Run(f)\nEnd Sub\n");
  write(dir_ / "serrak.vbe", "#@~^encoded");
  stamps_ = {"20261206053100", "20261206053103", "20261206053106"};
  ASSERT_TRUE(start());
  EXPECT_EQ(host_.events[0].lines[6], "Script File: " + (dir_ / "serrak.vbs").string());
  EXPECT_EQ(script_->code, "Sub Run(f)\nEnd Sub\n");
  receive("r\r");
  for (int i = 0; i < 6; ++i) service_->tmrCreateOutputFile_Timer();  // second period is empty
  std::string first = (dir_ / "data" / "12_20261206053100.kom").string();
  EXPECT_EQ(script_->calls, std::vector<std::string>{"Run(" + first + ")"});
  EXPECT_EQ(script_->existed_at_call, std::vector<bool>{true});
  service_->wait_for_finished_files();
  EXPECT_TRUE(fs::exists(dir_ / "data" / "12_20261206053100.dat"));
}

TEST_F(ComScriptTest, VbeIsUsedWhenThereIsNoVbs) {
  write(dir_ / "serrak.vbe", "Sub Run(f)\nEnd Sub\n");
  ASSERT_TRUE(start());
  EXPECT_EQ(service_->script_file(), dir_ / "serrak.vbe");
}

TEST_F(ComScriptTest, ScriptThatDoesNotLoadFailsTheStart) {
  write(dir_ / "serrak.vbs", "syntax error");
  EXPECT_FALSE(start());
  EXPECT_EQ(host_.errors.at(0), (std::pair<std::string, std::string>{"oSVC_Start", "Expected 'Then'"}));
  EXPECT_EQ(host_.events.at(0).lines.at(0), "Script Error");
  EXPECT_FALSE(port_->is_open());
}

TEST_F(ComScriptTest, FailingRunIsReportedTwiceAndLeavesTheFileKom) {
  write(dir_ / "serrak.vbs", "Sub Run(f)\nEnd Sub\n");
  stamps_ = {"20261206053100", "20261206053103"};
  ASSERT_TRUE(start("siteid=12\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  script_->behaviour = "fail";
  receive("r\r");
  service_->tmrCreateOutputFile_Timer();
  EXPECT_EQ(host_.events.back().lines,
            (std::vector<std::string>{"Script Error", "Description: Division by zero", "Code: x = 1 / 0",
                                      "Line: 3", "Source :VBScript runtime error"}));
  EXPECT_EQ(host_.events.back().id, 108);
  EXPECT_EQ(host_.errors.at(0), (std::pair<std::string, std::string>{"RenameCurrentFile", "Division by zero"}));
  EXPECT_EQ(data_files(), (std::set<std::string>{"12_20261206053100.kom", "12_20261206053103.kom"}));
  EXPECT_TRUE(service_->blnFileOK());
}

TEST_F(ComScriptTest, TimedOutRunIsLoggedWithItsLimitAndCollectionGoesOn) {
  write(dir_ / "serrak.vbs", "Sub Run(f)\nDo\nLoop\nEnd Sub\n");
  stamps_ = {"20261206053100", "20261206053103"};
  ASSERT_TRUE(start("siteid=12\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  script_->behaviour = "timeout";
  receive("r\r");
  service_->tmrCreateOutputFile_Timer();
  EXPECT_EQ(host_.events.back().lines, (std::vector<std::string>{"Script Timeout", "(30000 miliseconds)"}));
  EXPECT_TRUE(fs::exists(dir_ / "data" / "12_20261206053100.kom"));
  receive("s\r");
  EXPECT_EQ(read(dir_ / "data" / "12_20261206053103.kom"), "s\r\n");
}

TEST_F(ComScriptTest, ScriptThatDeletesOrRenamesItsFileLeavesThatToTheScript) {
  write(dir_ / "serrak.vbs", "Sub Run(f)\nEnd Sub\n");
  stamps_ = {"20261206053100", "20261206053103", "20261206053106"};
  ASSERT_TRUE(start("siteid=12\ncom_device=/dev/ttyFake\ncom_interval=0\n"));
  script_->behaviour = "delete";
  receive("r\r");
  service_->tmrCreateOutputFile_Timer();
  EXPECT_EQ(data_files(), std::set<std::string>{"12_20261206053103.kom"});
  script_->behaviour = "rename";
  receive("s\r");
  service_->tmrCreateOutputFile_Timer();
  EXPECT_EQ(data_files(), (std::set<std::string>{"12_20261206053103.kom.mine", "12_20261206053106.kom"}));
  EXPECT_TRUE(host_.errors.empty());
}

}  // namespace
}  // namespace ralvek::serrak
