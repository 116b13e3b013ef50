#include "com_settings.h"

#include <cstdlib>

#include "vb/vb.h"

namespace ralvek::serrak {
namespace {

double number_text(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  size_t last = text.find_last_not_of(" \t");
  std::string word(first == std::string_view::npos ? std::string_view{}
                                                   : text.substr(first, last - first + 1));
  bool has_digit = word.find_first_of("0123456789") != std::string::npos;
  bool plain = word.find_first_not_of("0123456789+-.eE") == std::string::npos;
  char* end = nullptr;
  double value = has_digit && plain ? std::strtod(word.c_str(), &end) : 0;
  if (!has_digit || !plain || *end != '\0') throw vb::VbError(vb::kTypeMismatch, "Type mismatch");
  return value;
}

}  // namespace

std::int16_t integer16_setting(std::string_view text) { return vb::CInt(number_text(text)); }

std::int32_t integer32_setting(std::string_view text) { return vb::CLng(number_text(text)); }

bool site_id_valid(std::string_view text) { return vb::Val(text) > 0; }

platform::Handshaking handshaking_mode(std::int32_t value) {
  if (value < 0 || value > 3) throw vb::VbError(380, "Invalid property value");
  return static_cast<platform::Handshaking>(value);
}

std::string com_device_path(std::int16_t com_port, const std::string& com_device) {
  if (!com_device.empty()) return com_device;
  if (com_port < 1) throw vb::VbError(8002, "Invalid port number");
  return platform::serial_device_for_port(com_port).string();
}

}  // namespace ralvek::serrak
