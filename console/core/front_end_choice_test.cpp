#include "front_end_choice.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ralvek::console {
namespace {

// A probe that answers for the sockets listed as alive and records what it was asked.
struct FakeProbe {
  std::vector<std::string> alive;
  std::vector<std::string> asked;
  DisplayProbe Get() {
    return [this](const DisplaySocket& s) {
      const std::string name = s.path.empty() ? s.host + ":" + std::to_string(s.port) : s.path;
      asked.push_back(name);
      return std::find(alive.begin(), alive.end(), name) != alive.end() ? std::string() : "Connection refused";
    };
  }
};

TEST(FrontEndChoiceTest, DisplayVariablesNameTheirSockets) {
  EXPECT_EQ(X11Socket(":0")->path, "/tmp/.X11-unix/X0");
  EXPECT_EQ(X11Socket("unix:12.1")->path, "/tmp/.X11-unix/X12");
  EXPECT_EQ(X11Socket("localhost:10.0")->host, "localhost");
  EXPECT_EQ(X11Socket("localhost:10.0")->port, 6010);
  EXPECT_EQ(X11Socket("[::1]:2")->host, "::1");
  for (const char* bad : {"", "0", ":", ":x", "host:1x", "host:60000", "tcp/host:0"}) EXPECT_FALSE(X11Socket(bad)) << bad;
  EXPECT_EQ(WaylandSocket("wayland-0", "/run/user/7")->path, "/run/user/7/wayland-0");
  EXPECT_EQ(WaylandSocket("/tmp/w", "")->path, "/tmp/w");
  EXPECT_FALSE(WaylandSocket("wayland-0", ""));
}

TEST(FrontEndChoiceTest, AReachableDisplayChoosesTheWindowOnItsOwnPlatform) {
  FakeProbe probe;
  probe.alive = {"/tmp/.X11-unix/X0", "/run/user/7/wayland-0"};
  EXPECT_EQ(ChooseFrontEnd({":0", "", "", ""}, true, probe.Get()).front_end, FrontEnd::kWindow);
  const auto both = ChooseFrontEnd({":0", "wayland-0", "/run/user/7", ""}, true, probe.Get());
  EXPECT_EQ(both.front_end, FrontEnd::kWindow);
  EXPECT_EQ(both.qpa_platform, "");  // both answer: Qt chooses
  const auto wayland_only = ChooseFrontEnd({":99", "wayland-0", "/run/user/7", ""}, true, probe.Get());
  EXPECT_EQ(wayland_only.front_end, FrontEnd::kWindow);
  EXPECT_EQ(wayland_only.qpa_platform, "wayland");
  EXPECT_EQ(ChooseFrontEnd({":0", "", "", "xcb"}, true, probe.Get()).qpa_platform, "");
}

TEST(FrontEndChoiceTest, ADeadDisplayFallsBackToTheTerminalSayingWhy) {
  FakeProbe probe;
  const auto dead = ChooseFrontEnd({":99", "gone", "/run/user/7", ""}, true, probe.Get());
  EXPECT_EQ(dead.front_end, FrontEnd::kTerminal);
  EXPECT_EQ(dead.why_terminal,
            "no display can be reached (DISPLAY=:99: Connection refused; WAYLAND_DISPLAY=gone: Connection refused); "
            "running in the terminal");
  const auto unset = ChooseFrontEnd({"", "", "", "xcb"}, true, probe.Get());
  EXPECT_EQ(unset.front_end, FrontEnd::kTerminal);
  EXPECT_NE(unset.why_terminal.find("DISPLAY=: not set"), std::string::npos);
  EXPECT_NE(ChooseFrontEnd({"nonsense", "", "", ""}, true, probe.Get()).why_terminal.find("cannot be read"),
            std::string::npos);
}

TEST(FrontEndChoiceTest, NoDisplayAServerlessPlatformOrNoWindowBuiltNeedNoProbe) {
  FakeProbe probe;
  const auto none = ChooseFrontEnd({"", "", "", ""}, true, probe.Get());
  EXPECT_EQ(none.front_end, FrontEnd::kTerminal);
  EXPECT_EQ(none.why_terminal, "");
  EXPECT_EQ(ChooseFrontEnd({":99", "", "", "offscreen"}, true, probe.Get()).front_end, FrontEnd::kWindow);
  EXPECT_EQ(ChooseFrontEnd({":0", "", "", ""}, false, probe.Get()).front_end, FrontEnd::kTerminal);
  EXPECT_TRUE(probe.asked.empty());
}

}  // namespace
}  // namespace ralvek::console
