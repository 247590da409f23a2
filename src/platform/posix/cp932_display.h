// Showing the program's CP932 texts on a UTF-8 terminal.
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

}  // namespace kestrun::platform
