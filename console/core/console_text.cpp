#include "console_text.h"

#include <sstream>

#include "vb_text.h"

namespace ralvek::console {
namespace {

std::string ReplaceEscape(std::string_view text, char lower, char upper, std::string_view with) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == lower || text[i + 1] == upper)) {
      out.append(with);
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string Field(std::string_view line, std::string_view key) {
  const auto pos = line.find(key);
  if (pos == std::string_view::npos) return {};
  const auto start = pos + key.size();
  const auto end = line.find(' ', start);
  return std::string(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

// "localhost (127.0.0.1)" or "127.0.0.1" -> the address.
std::string PeerAddress(std::string_view peer) {
  const auto open = peer.find('(');
  const auto close = peer.find(')', open);
  if (open != std::string_view::npos && close != std::string_view::npos) {
    return std::string(peer.substr(open + 1, close - open - 1));
  }
  return TrimSpaces(peer);
}

}  // namespace

std::string ExpandConsoleEscapes(std::string_view text) {
  return ReplaceEscape(ReplaceEscape(text, 'n', 'N', "\r\n"), 't', 'T', "\t");
}

void ApplyConsoleSize(std::string& text) {
  if (text.size() > kConsoleMaxLength) text.erase(0, kConsoleKeepFrom - 1);
}

std::string WrapText(std::string_view text, int width) {
  const std::string joined = ReplaceAll(text, "\r\n", "");
  std::string out;
  if (width <= 0) return out;
  const auto w = static_cast<std::size_t>(width);
  for (std::size_t n = 0; n < 29; ++n) {
    const std::size_t start = n * w;
    if (start >= joined.size()) break;
    const std::string piece = TrimSpaces(std::string_view(joined).substr(start, w));
    if (piece.empty()) break;
    out += piece + "\r\n";
  }
  return out;
}

std::string PingReplyLines(std::string_view ping_output) {
  std::istringstream in{std::string(ping_output)};
  std::string out;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto from = line.find(" bytes from ");
    if (from != std::string::npos) {
      const auto colon = line.find(':', from);
      const auto peer_start = from + 12;
      const std::string peer =
          PeerAddress(std::string_view(line).substr(peer_start, colon == std::string::npos ? std::string::npos
                                                                                            : colon - peer_start));
      std::string time = Field(line, "time=");
      out += "Reply from " + peer + ": bytes=" + line.substr(0, from) + " time=" + time + "ms TTL=" +
             Field(line, "ttl=") + "\r\n";
    } else if (line.rfind("From ", 0) == 0 && line.find("nreachable") != std::string::npos) {
      const auto end = line.find(" icmp_seq");
      out += "Reply from " + PeerAddress(std::string_view(line).substr(5, end == std::string::npos ? std::string::npos
                                                                                                  : end - 5)) +
             ": Destination host unreachable.\r\n";
    }
  }
  return out;
}

std::string ArpTableLines(std::string_view proc_net_arp) {
  std::istringstream in{std::string(proc_net_arp)};
  std::string out;
  std::string line;
  std::getline(in, line);  // column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string address, hw_type, flags, hw_address;
    if (!(fields >> address >> hw_type >> flags >> hw_address)) continue;
    if (flags == "0x0") continue;  // incomplete entries have no hardware address yet
    for (char& c : hw_address) {
      if (c == ':') c = '-';
    }
    out += "  " + address + "   " + LCase(hw_address) + "   dynamic\r\n";
  }
  return out;
}

std::optional<std::string> ArpDisplayLine(std::string_view line) {
  std::string text;
  for (const char c : line) {
    if (c != '\r' && c != '\n') text.push_back(c);
  }
  const auto dash = text.rfind('-');
  if (dash == std::string::npos) return std::nullopt;
  return ReplaceAll(std::string_view(text).substr(0, dash + 3), "   ", " ");
}

}  // namespace ralvek::console
