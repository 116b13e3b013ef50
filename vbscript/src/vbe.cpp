#include "vbe.h"

#include <array>
#include <cstdint>

namespace ralvek::vbscript {

namespace {

constexpr std::string_view kStart = "#@~^";
constexpr std::string_view kEnd = "^#~@";

// For each encoded character, the plain character in each of the three tables.
struct Row {
  int encoded;
  std::array<unsigned char, 3> plain;
};
constexpr Row kRows[] = {
    {9, {0x57, 0x6E, 0x7B}},   {32, {0x2E, 0x2D, 0x32}},  {33, {0x47, 0x75, 0x30}},
    {34, {0x7A, 0x52, 0x21}},  {35, {0x56, 0x60, 0x29}},  {36, {0x42, 0x71, 0x5B}},
    {37, {0x6A, 0x5E, 0x38}},  {38, {0x2F, 0x49, 0x33}},  {39, {0x26, 0x5C, 0x3D}},
    {40, {0x49, 0x62, 0x58}},  {41, {0x41, 0x7D, 0x3A}},  {42, {0x34, 0x29, 0x35}},
    {43, {0x32, 0x36, 0x65}},  {44, {0x5B, 0x20, 0x39}},  {45, {0x76, 0x7C, 0x5C}},
    {46, {0x72, 0x7A, 0x56}},  {47, {0x43, 0x7F, 0x73}},  {48, {0x38, 0x6B, 0x66}},
    {49, {0x39, 0x63, 0x4E}},  {50, {0x70, 0x33, 0x45}},  {51, {0x45, 0x2B, 0x6B}},
    {52, {0x68, 0x68, 0x62}},  {53, {0x71, 0x51, 0x59}},  {54, {0x4F, 0x66, 0x78}},
    {55, {0x09, 0x76, 0x5E}},  {56, {0x62, 0x31, 0x7D}},  {57, {0x44, 0x64, 0x4A}},
    {58, {0x23, 0x54, 0x6D}},  {59, {0x75, 0x43, 0x71}},  {61, {0x7E, 0x3A, 0x60}},
    {63, {0x5E, 0x7E, 0x53}},  {65, {0x77, 0x45, 0x42}},  {66, {0x4A, 0x2C, 0x27}},
    {67, {0x61, 0x2A, 0x48}},  {68, {0x5D, 0x74, 0x72}},  {69, {0x22, 0x27, 0x75}},
    {70, {0x4B, 0x37, 0x31}},  {71, {0x6F, 0x44, 0x37}},  {72, {0x4E, 0x79, 0x4D}},
    {73, {0x3B, 0x59, 0x52}},  {74, {0x4C, 0x2F, 0x22}},  {75, {0x50, 0x6F, 0x54}},
    {76, {0x67, 0x26, 0x6A}},  {77, {0x2A, 0x72, 0x47}},  {78, {0x7D, 0x6A, 0x64}},
    {79, {0x74, 0x39, 0x2D}},  {80, {0x54, 0x7B, 0x20}},  {81, {0x2B, 0x3F, 0x7F}},
    {82, {0x2D, 0x38, 0x2E}},  {83, {0x2C, 0x77, 0x4C}},  {84, {0x30, 0x67, 0x5D}},
    {85, {0x6E, 0x53, 0x7E}},  {86, {0x6B, 0x47, 0x6C}},  {87, {0x66, 0x34, 0x6F}},
    {88, {0x35, 0x78, 0x79}},  {89, {0x25, 0x5D, 0x74}},  {90, {0x21, 0x30, 0x43}},
    {91, {0x64, 0x23, 0x26}},  {92, {0x4D, 0x5A, 0x76}},  {93, {0x52, 0x5B, 0x25}},
    {94, {0x63, 0x6C, 0x24}},  {95, {0x3F, 0x48, 0x2B}},  {96, {0x7B, 0x55, 0x28}},
    {97, {0x78, 0x70, 0x23}},  {98, {0x29, 0x69, 0x41}},  {99, {0x28, 0x2E, 0x34}},
    {100, {0x73, 0x4C, 0x09}}, {101, {0x59, 0x21, 0x2A}}, {102, {0x33, 0x24, 0x44}},
    {103, {0x7F, 0x4E, 0x3F}}, {104, {0x6D, 0x50, 0x77}}, {105, {0x55, 0x09, 0x3B}},
    {106, {0x53, 0x56, 0x55}}, {107, {0x7C, 0x73, 0x69}}, {108, {0x3A, 0x35, 0x61}},
    {109, {0x5F, 0x61, 0x63}}, {110, {0x65, 0x4B, 0x50}}, {111, {0x46, 0x58, 0x67}},
    {112, {0x58, 0x3B, 0x51}}, {113, {0x31, 0x57, 0x49}}, {114, {0x69, 0x22, 0x4F}},
    {115, {0x6C, 0x6D, 0x46}}, {116, {0x5A, 0x4D, 0x68}}, {117, {0x48, 0x25, 0x7C}},
    {118, {0x27, 0x28, 0x36}}, {119, {0x5C, 0x46, 0x70}}, {120, {0x3D, 0x4A, 0x6E}},
    {121, {0x24, 0x32, 0x7A}}, {122, {0x79, 0x41, 0x2F}}, {123, {0x37, 0x3D, 0x5F}},
    {124, {0x60, 0x5F, 0x4B}}, {125, {0x51, 0x4F, 0x5A}}, {126, {0x20, 0x42, 0x2C}},
    {127, {0x36, 0x65, 0x57}},
};

// Which of the three tables decodes the character at position i (mod 64).
constexpr unsigned char kPick[64] = {
    0, 1, 2, 0, 1, 2, 1, 2, 2, 1, 2, 1, 0, 2, 1, 2, 0, 2, 1, 2, 0, 0, 1, 2, 2, 1, 0, 2, 1, 2, 2, 1,
    0, 0, 2, 1, 2, 1, 2, 0, 2, 0, 0, 1, 2, 0, 2, 1, 0, 2, 1, 2, 0, 0, 1, 2, 2, 0, 0, 1, 2, 0, 2, 1};

struct Tables {
  unsigned char decode[128][3] = {};
  unsigned char encode[128][3] = {};
  bool decodable[128] = {};
  Tables() {
    for (const Row& r : kRows) {
      decodable[r.encoded] = true;
      for (int t = 0; t < 3; ++t) {
        decode[r.encoded][t] = r.plain[static_cast<std::size_t>(t)];
        encode[r.plain[static_cast<std::size_t>(t)]][t] = static_cast<unsigned char>(r.encoded);
      }
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Six base64 characters holding a little-endian 32-bit number.
std::optional<std::uint32_t> read_number(std::string_view six) {
  if (six.size() < 6) return std::nullopt;
  unsigned d[6];
  for (int i = 0; i < 6; ++i) {
    std::size_t at = kBase64.find(six[static_cast<std::size_t>(i)]);
    if (at == std::string_view::npos) return std::nullopt;
    d[i] = static_cast<unsigned>(at);
  }
  std::uint32_t b0 = ((d[0] << 2) | (d[1] >> 4)) & 0xFF;
  std::uint32_t b1 = ((d[1] << 4) | (d[2] >> 2)) & 0xFF;
  std::uint32_t b2 = ((d[2] << 6) | d[3]) & 0xFF;
  std::uint32_t b3 = ((d[4] << 2) | (d[5] >> 4)) & 0xFF;
  return b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}

std::string write_number(std::uint32_t n) {
  unsigned b[4] = {n & 0xFF, (n >> 8) & 0xFF, (n >> 16) & 0xFF, (n >> 24) & 0xFF};
  std::string out;
  out += kBase64[b[0] >> 2];
  out += kBase64[((b[0] & 3) << 4) | (b[1] >> 4)];
  out += kBase64[((b[1] & 15) << 2) | (b[2] >> 6)];
  out += kBase64[b[2] & 63];
  out += kBase64[b[3] >> 2];
  out += kBase64[(b[3] & 3) << 4];
  return out + "==";
}

std::string decode_block(std::string_view data) {
  const Tables& t = tables();
  std::string out;
  std::size_t index = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '@' && i + 1 < data.size()) {
      char e = data[i + 1];
      char plain = e == '&'   ? '\n'
                   : e == '#' ? '\r'
                   : e == '*' ? '>'
                   : e == '!' ? '<'
                   : e == '$' ? '@'
                              : 0;
      if (plain) {
        out += plain;
        ++i;
        ++index;
        continue;
      }
    }
    if (c < 128) {
      out +=
          t.decodable[c] ? static_cast<char>(t.decode[c][kPick[index % 64]]) : static_cast<char>(c);
      ++index;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

bool has_encoded_block(std::string_view text) {
  return text.find(kStart) != std::string_view::npos;
}

std::optional<std::string> decode_vbe(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  while (true) {
    std::size_t start = text.find(kStart, pos);
    if (start == std::string_view::npos) break;
    out.append(text.substr(pos, start - pos));
    std::size_t header = start + kStart.size();
    if (text.size() < header + 8 || text.substr(header + 6, 2) != "==") return std::nullopt;
    std::optional<std::uint32_t> length = read_number(text.substr(header, 6));
    std::size_t data = header + 8;
    std::size_t end = text.find(kEnd, data);
    if (!length || end == std::string_view::npos || end < data + 8) return std::nullopt;
    std::size_t data_end = end - 8;
    // The header's length wins when it fits; the checksum then follows it.
    if (data + *length <= data_end) data_end = data + *length;
    out += decode_block(text.substr(data, data_end - data));
    pos = end + kEnd.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string encode_vbe(std::string_view plain) {
  const Tables& t = tables();
  std::string data;
  std::size_t index = 0;
  std::uint32_t sum = 0;
  for (char ch : plain) {
    unsigned char c = static_cast<unsigned char>(ch);
    sum += c;
    const char* escape = c == '\n'   ? "@&"
                         : c == '\r' ? "@#"
                         : c == '>'  ? "@*"
                         : c == '<'  ? "@!"
                         : c == '@'  ? "@$"
                                     : nullptr;
    if (escape) {
      data += escape;
      ++index;
    } else if (c < 128) {
      bool encodable = c == 9 || (c >= 32 && c < 128);
      data += encodable ? static_cast<char>(t.encode[c][kPick[index % 64]]) : static_cast<char>(c);
      ++index;
    } else {
      data += ch;
    }
  }
  return std::string(kStart) + write_number(static_cast<std::uint32_t>(data.size())) + data +
         write_number(sum) + std::string(kEnd);
}

}  // namespace ralvek::vbscript
