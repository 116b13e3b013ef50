#pragma once
// Text rules of the console: the escapes of PutToConsole, the console-size rule, WrapText, and the
// forms in which the ping and arp tools' answers are written to console.tmp.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ralvek::console {

inline constexpr std::size_t kConsoleMaxLength = 50000;
inline constexpr std::size_t kConsoleKeepFrom = 45000;  // 1-based character where the kept text starts

// Backslash + n (either case) becomes CR LF, then backslash + t (either case) a TAB.
std::string ExpandConsoleEscapes(std::string_view text);
// Text longer than kConsoleMaxLength is cut to its part from character kConsoleKeepFrom on.
void ApplyConsoleSize(std::string& text);
// The text without CR LF pairs cut into at most 29 trimmed pieces of width characters, each + CR LF;
// stops at the first empty piece.
std::string WrapText(std::string_view text, int width);
// The system ping's answer as "Reply from <address>: bytes=<n> time=<t>ms TTL=<ttl>" lines.
std::string PingReplyLines(std::string_view ping_output);
// The kernel's neighbour table (/proc/net/arp) as "  <address>   <aa-bb-cc-dd-ee-ff>   dynamic" lines.
std::string ArpTableLines(std::string_view proc_net_arp);
// A table line as the console shows it: cut after the hardware address, runs of three spaces folded.
// Nothing for a line without "-" (not shown at all).
std::optional<std::string> ArpDisplayLine(std::string_view line);

}  // namespace ralvek::console
