// TextStream: a byte file read or written one character a byte. WriteLine ends lines with CR LF;
// ReadLine accepts CR LF, LF or CR.
#pragma once

#include <string>

#include "value.h"

namespace ralvek::vbscript {

inline constexpr int kForReading = 1;
inline constexpr int kForWriting = 2;
inline constexpr int kForAppending = 8;

// `mode` is kForReading, kForWriting or kForAppending; `create` makes a missing file.
ObjectRef open_text_stream(const std::string& path, int mode, bool create);
// Creates (or, with `overwrite`, replaces) a file and opens it for writing.
ObjectRef create_text_stream(const std::string& path, bool overwrite);

}  // namespace ralvek::vbscript
