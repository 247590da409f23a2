// The UTF-8 originals of the text catalog, read from its source file, for
// tests that check the generated CP932 bytes against them.
#pragma once

#include <map>
#include <string>

namespace kestrun::testing {

// Name -> text with its \n and \r escapes resolved; empty when the source
// file cannot be read.
std::map<std::string, std::string> ReadCatalogOriginals();

}  // namespace kestrun::testing
