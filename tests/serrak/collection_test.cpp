// Call records on a serial line end up in .dat files, whole and once each.
#include <csignal>
#include <thread>

#include "serrak_fixture.h"

namespace ralvek::e2e {
namespace {

class Collection : public SerrakTest {};

TEST_F(Collection, RecordsSplitAnywhereArriveOnceEachOverSeveralRotations) {
  std::string path;
  auto line = start_line({"--count", "600", "--rate", "200", "--split", "random", "--linger", "20000"}, path);
  ASSERT_FALSE(path.empty()) << line->err();
  write_ini_for(path, 150);  // a file every 1.51 s
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  ASSERT_TRUE(wait_until([&] { return line->err().find("wrote 600 records") != std::string::npos; }, 20s));
  ASSERT_TRUE(wait_until([&] { return collected_bytes() == 600 * 120; }, 20s))
      << collected_bytes() << " bytes\n" << all_events();
  ASSERT_TRUE(wait_until([&] { return files_with_ext(data(), "dat").size() >= 2; }, 20s));
  stop(*serrak);
  EXPECT_EQ(check("serial1", 600), 0);
  EXPECT_TRUE(files_with_ext(data(), "kom").empty());
  EXPECT_GE(files_with_ext(data(), "dat").size(), 2u);
  for (const auto& e : events()) EXPECT_NE(e.type, 1) << e.text;
}

TEST_F(Collection, LoneCrEndsALineAndIsWrittenAsCrLf) {
  std::string path;
  auto line = start_line({"--count", "40", "--ending", "cr", "--split", "7", "--linger", "20000"}, path);
  write_ini_for(path, 1000);
  auto serrak = start_debug();
  ASSERT_TRUE(wait_until([&] { return line->err().find("wrote 40 records") != std::string::npos; }));
  ASSERT_TRUE(wait_until([&] {
    auto kom = files_with_ext(data(), "kom");
    return !kom.empty() && read_file(data() / kom[0]).size() == 40 * 120;
  }));
  stop(*serrak);
  EXPECT_EQ(check("serial1", 40), 0);
}

TEST_F(Collection, LfAloneEndsNoLineSoNothingIsWritten) {
  std::string path;
  auto line = start_line({"--count", "5", "--ending", "lf", "--linger", "20000"}, path);
  write_ini_for(path, 1000);
  auto serrak = start_debug();
  ASSERT_TRUE(wait_until([&] { return line->err().find("wrote 5 records") != std::string::npos; }));
  std::this_thread::sleep_for(200ms);
  auto kom = files_with_ext(data(), "kom");
  ASSERT_EQ(kom.size(), 1u);
  EXPECT_EQ(read_file(data() / kom[0]), "");
  stop(*serrak);
  // The unfinished line reaches no data file; the empty file is deleted, not finished.
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());
  EXPECT_TRUE(files_with_ext(data(), "kom").empty());
}

// A restart (an upgrade, systemctl restart) in the middle of a record must not tear it.
TEST_F(Collection, AnOrderlyStopInTheMiddleOfALineFinishesItWholeAfterTheRestart) {
  TestLine line;  // held by the test: what is written while serrak is down waits in the line
  write_ini_for(line.path(), 1000);
  auto serrak = start_debug();
  ASSERT_FALSE(settings_report().empty()) << all_events();
  line.write("first record\r\nsecond rec");
  ASSERT_TRUE(wait_until([&] { return read_file(home_ / "serrak.pending") == "second rec"; })) << all_events();
  stop(*serrak);
  auto dat = files_with_ext(data(), "dat");
  ASSERT_EQ(dat.size(), 1u);
  EXPECT_EQ(read_file(data() / dat[0]), "first record\r\n");

  serrak = start_debug();
  line.write("ord\r\n");
  ASSERT_TRUE(wait_until([&] { return collected_bytes() == 29; })) << all_events();
  stop(*serrak);
  std::string all;
  for (const auto& name : files_with_ext(data(), "dat")) all += read_file(data() / name);
  EXPECT_EQ(all, "first record\r\nsecond record\r\n");
}

TEST_F(Collection, EveryByteValueIsWrittenUnchanged) {
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto serrak = start_debug();
  std::string bytes, expected;
  for (int i = 0; i < 256; ++i) {
    bytes += static_cast<char>(i);
    expected += static_cast<char>(i);
    if (i == '\r') expected += '\n';
  }
  line.write(bytes + "\r");
  expected += "\r\n";
  ASSERT_TRUE(wait_until([&] {
    auto kom = files_with_ext(data(), "kom");
    return !kom.empty() && read_file(data() / kom[0]).size() == expected.size();
  }));
  stop(*serrak);
  auto dat = files_with_ext(data(), "dat");
  ASSERT_EQ(dat.size(), 1u);
  EXPECT_EQ(read_file(data() / dat[0]), expected);
}

TEST_F(Collection, StartReportNamesTheDeviceAndTheSweepFinishesLeftovers) {
  TestLine line;
  std::filesystem::create_directories(data());
  write_file(data() / "3_20200101000000.kom", "other site\r\n");
  write_file(data() / "12_20200101000001.KOM", "upper case\r\n");
  write_file(data() / "12_20200101000002.kom", "");
  write_file(data() / "12_20200101000003.txt", "not ours\r\n");
  write_ini_for(line.path(), 1000, "com_settings=19200,e,7,1\n");
  auto serrak = start_debug();
  EXPECT_EQ(settings_report(),
            "Service attempted to start with the following settings:\r\nVersion: 1.0.0\r\n"
            "Site ID: 12\r\nCOM Port: " + line.path() + "\r\nCOM Settings: 19200,e,7,1\r\n"
            "INI File: " + (home_ / "serrak.ini").string() + "\r\nScript File: No script file.");
  EXPECT_EQ(files_with_ext(data(), "dat"),
            (std::vector<std::string>{"12_20200101000001.dat", "3_20200101000000.dat"}));
  EXPECT_EQ(read_file(data() / "3_20200101000000.dat"), "other site\r\n");
  EXPECT_FALSE(std::filesystem::exists(data() / "12_20200101000002.kom"));
  EXPECT_TRUE(std::filesystem::exists(data() / "12_20200101000003.txt"));
  stop(*serrak);
}

TEST_F(Collection, SecondInstanceIsRefusedOnlyInServiceMode) {
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto first = start_debug();
  ASSERT_TRUE(first->running());

  auto service = start({});
  EXPECT_NE(service->wait(), 0);
  EXPECT_TRUE(wait_event(1, 109, "Ralvek COM Service already running\r\n")) << all_events();

  // By hand the second run starts, finds the line busy and stays up; it leaves the data alone.
  auto second = start({"--debug"});
  EXPECT_TRUE(wait_event_prefix(109, "Serial port " + line.path() + " is busy")) << all_events();
  EXPECT_TRUE(second->running());
  second->signal(SIGINT);
  EXPECT_EQ(second->wait(), 0);
  EXPECT_TRUE(files_with_ext(data(), "dat").empty());  // nothing of the running instance renamed
  EXPECT_FALSE(files_with_ext(data(), "kom").empty());

  line.write("still collecting\r");
  ASSERT_TRUE(wait_until([&] {
    for (const auto& name : files_with_ext(data(), "kom")) {
      if (read_file(data() / name) == "still collecting\r\n") return true;
    }
    return false;
  }));
  stop(*first);
}

}  // namespace
}  // namespace ralvek::e2e

namespace ralvek::e2e {
namespace {

class Frame : public SerrakTest {};

TEST_F(Frame, InteractiveShowsTheLabelAfterTheStart) {
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto serrak = start({"--interactive"});
  const std::string label =
      "Ralvek COM Service running in interactive mode. Use this mode only for debug purpose.";
  ASSERT_TRUE(wait_until([&] { return serrak->err().find(label) != std::string::npos; })) << serrak->err();
  EXPECT_LT(serrak->err().find("Service attempted to start"), serrak->err().find(label));
  stop(*serrak);
}

TEST_F(Frame, ArgumentsAreCheckedBeforeTheInstanceAndRemoveDoesNotAskIfRunning) {
  TestLine line;
  write_ini_for(line.path(), 1000);
  auto first = start_debug();
  auto bad = start({"--install", "now"});
  EXPECT_NE(bad->wait(), 0);
  EXPECT_TRUE(has_event(event_log(), 1, 109, "Invalid command-line argument\r\n")) << all_events();
  EXPECT_FALSE(has_event(event_log(), 1, 109, "Ralvek COM Service already running\r\n"));

  // A systemctl that says the service runs: removal goes ahead all the same.
  std::filesystem::create_directories(home_ / "bin");
  std::filesystem::create_directories(home_ / "units");
  write_file(home_ / "bin" / "systemctl", "#!/bin/sh\nexit 0\n");
  std::filesystem::permissions(home_ / "bin" / "systemctl", std::filesystem::perms::owner_all);
  write_file(home_ / "units" / "RalvekCOMService.service", "[Unit]\n");
  auto remove = start({"--remove"}, {{"PATH", (home_ / "bin").string() + ":/usr/bin:/bin"}});
  EXPECT_EQ(remove->wait(), 0);
  EXPECT_EQ(remove->out(), "Service removed successfully\n");
  EXPECT_FALSE(std::filesystem::exists(home_ / "units" / "RalvekCOMService.service"));
  stop(*first);
}

}  // namespace
}  // namespace ralvek::e2e
