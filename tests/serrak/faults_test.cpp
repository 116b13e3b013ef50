// Lines that fail, devices that are missing or busy, folders that cannot be written.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

class Faults : public SerrakTest {};

TEST_F(Faults, LineHangUpIsADeviceFailureAndTheFilesGoOn) {
  std::string path;
  auto line = start_line({"--count", "20", "--linger", "3000"}, path);
  write_ini_for(path, 100);
  auto serrak = start_debug();
  ASSERT_TRUE(wait_until([&] { return collected_bytes() == 20 * 120; })) << all_events();
  ASSERT_EQ(line->wait(10s), 0);
  ASSERT_TRUE(wait_event(2, 108, "Com Port Error Event Received.\r\nEvent ID: 1011")) << all_events();
  // The pseudo-terminal is gone: the reopen fails and the port is down (retried quietly).
  EXPECT_TRUE(wait_event(1, 109, "Cannot open serial port " + path + ": No such file or directory\r\nProcedure: OnComm"))
      << all_events();
  ASSERT_TRUE(wait_until([&] { return !files_with_ext(data(), "dat").empty(); }));
  EXPECT_TRUE(serrak->running());
  stop(*serrak);
  EXPECT_EQ(check("serial1", 20), 0);
}

// A USB adapter pulled out and plugged back in: its device path (a udev link) leads nowhere for
// a while, then to a new device.
TEST_F(Faults, ADeviceThatGoesAwayAndComesBackIsOpenedAgainAndCollectionGoesOn) {
  auto device = home_ / "com";
  auto first = std::make_unique<TestLine>();
  std::filesystem::create_symlink(first->path(), device);
  write_ini_for(device.string(), 1000);
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  first->write("before\r\n");
  ASSERT_TRUE(wait_until([&] { return collected_bytes() == 8; })) << all_events();
  first.reset();
  const std::string gone = "Cannot open serial port " + device.string() + ": No such file or directory";
  ASSERT_TRUE(wait_event(1, 109, gone + "\r\nProcedure: OnComm")) << all_events();
  std::this_thread::sleep_for(150ms);  // a few quiet retries (a tick is 10 ms)
  TestLine second;
  std::filesystem::remove(device);
  std::filesystem::create_symlink(second.path(), device);
  ASSERT_TRUE(wait_event(4, 110, "Com Port opened again.\r\nCOM Port: " + device.string())) << all_events();
  second.write("after\r\n");
  ASSERT_TRUE(wait_until([&] { return collected_bytes() == 15; })) << all_events();
  stop(*serrak);
  int failures = 0;
  for (const auto& e : events()) failures += e.text.starts_with(gone) ? 1 : 0;
  EXPECT_EQ(failures, 1) << all_events();
  auto dat = files_with_ext(data(), "dat");
  ASSERT_EQ(dat.size(), 1u);
  EXPECT_EQ(read_file(data() / dat[0]), "before\r\nafter\r\n");
}

TEST_F(Faults, MissingDeviceFailsTheStart) {
  write_ini_for("/dev/ttyRalvekNone", 1000);
  auto serrak = start_debug();
  EXPECT_TRUE(wait_event(1, 109, "Cannot open serial port /dev/ttyRalvekNone: No such file or directory\r\n"
                                 "Procedure: oSVC_Start"))
      << all_events();
  // The report comes before the port opens.
  EXPECT_FALSE(settings_report().empty());
  stop(*serrak);
  EXPECT_TRUE(files_with_ext(data(), "kom").empty());
}

TEST_F(Faults, BusyDeviceFailsTheStartInServiceMode) {
  TestLine line;
  int holder = ::open(line.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  write_ini_for(line.path(), 1000);
  auto serrak = start({}, {{"INVOCATION_ID", "e2e"}});
  EXPECT_EQ(serrak->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109,
                        "Serial port " + line.path() + " is busy: another program uses it\r\nProcedure: oSVC_Start"))
      << all_events();
  ::close(holder);
}

TEST_F(Faults, ServiceModeRunsUntilTermAndFinishesTheLastFile) {
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto serrak = start({}, {{"INVOCATION_ID", "e2e"}});
  ASSERT_TRUE(wait_until([&] { return !settings_report().empty(); })) << all_events();
  line.write("one\r\ntwo\r\n");
  ASSERT_TRUE(wait_until([&] {
    auto kom = files_with_ext(data(), "kom");
    return !kom.empty() && read_file(data() / kom[0]).size() == 10;
  }));
  serrak->signal(SIGTERM);
  EXPECT_EQ(serrak->wait(), 0);
  auto dat = files_with_ext(data(), "dat");
  ASSERT_EQ(dat.size(), 1u);
  EXPECT_EQ(read_file(data() / dat[0]), "one\r\ntwo\r\n");
}

TEST_F(Faults, MissingIniAndBadSiteIdFailTheStart) {
  auto serrak = start({}, {{"INVOCATION_ID", "e2e"}});
  EXPECT_EQ(serrak->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109,
                        "INI file not found: " + (home_ / "serrak.ini").string() + "\r\nProcedure: oSVC_Start"))
      << all_events();
  write_ini("siteid=abc\ncom_device=/dev/null\n");
  serrak = start({}, {{"INVOCATION_ID", "e2e"}});
  EXPECT_EQ(serrak->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Invalid Site ID: abc\r\nProcedure: oSVC_Start")) << all_events();
}

TEST_F(Faults, DataFolderThatCannotBeCreatedFailsTheStart) {
  TestLine line;
  write_file(home_ / "data", "not a folder");
  write_ini_for(line.path(), 1000);
  auto serrak = start({}, {{"INVOCATION_ID", "e2e"}});
  EXPECT_EQ(serrak->wait(), 1);
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Not a directory: " + data().string() + "\r\nProcedure: oSVC_Start"))
      << all_events();
  EXPECT_TRUE(settings_report().empty());
}

TEST_F(Faults, LostDataFolderStopsTheServiceAtTheNextLine) {
  TestLine line;
  write_ini_for(line.path(), 20);
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty());
  std::filesystem::rename(data(), home_ / "moved");
  write_file(data(), "in the way");
  ASSERT_TRUE(wait_event_prefix(109, "")) << all_events();  // the next rotation cannot create a file
  line.write("lost\r");
  EXPECT_TRUE(wait_event_prefix(109, "Failed to create temporary output file: \r\n" + (data() / "12_").string()))
      << all_events();
  // The service stops itself as failed, so that systemd restarts it.
  EXPECT_EQ(serrak->wait(), 1);
}

}  // namespace
}  // namespace ralvek::e2e
