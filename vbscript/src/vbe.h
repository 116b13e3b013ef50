// The encoded script form (.vbe): blocks `#@~^` + length + data + checksum + `^#~@` whose
// characters are substituted through three tables chosen by position.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ralvek::vbscript {

bool has_encoded_block(std::string_view text);

// Replaces every encoded block by its plain text; text outside the blocks stays. nullopt when
// a block is cut short (no end marker or a broken header).
std::optional<std::string> decode_vbe(std::string_view text);

// The encoded block of `plain` (used to make test vectors and by tools).
std::string encode_vbe(std::string_view plain);

}  // namespace ralvek::vbscript
