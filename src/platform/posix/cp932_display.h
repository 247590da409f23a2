// Between the program's CP932 texts and the UTF-8 of the system: showing
// the texts on a UTF-8 terminal, and embedding UTF-8 paths in them.
#pragma once

#include <string>
#include <string_view>

namespace kestrun::platform {

// True when the locale named by the first set (non-empty) of LC_ALL, LC_CTYPE
// and LANG has the UTF-8 character set. Arguments may be null.
bool LocaleCharsetIsUtf8(const char* lcAll, const char* lcCtype, const char* lang);

// The UTF-8 form of CP932 bytes. Every complete character is converted; a
// byte that does not start a convertible character is passed through as it
// is, so nothing is lost.
std::string ConvertCp932ToUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates
// or code points above U+10FFFF). Plain ASCII is.
bool IsValidUtf8(std::string_view bytes);

// The CP932 form of valid UTF-8; a character without one becomes '?'.
std::string ConvertUtf8ToCp932(std::string_view utf8);

}  // namespace kestrun::platform
