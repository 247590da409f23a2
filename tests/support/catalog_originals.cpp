#include "support/catalog_originals.h"

#include <fstream>

namespace kestrun::testing {
namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::map<std::string, std::string> ReadCatalogOriginals() {
  std::map<std::string, std::string> originals;
  std::ifstream in(std::string(KESTRUN_SOURCE_DIR) + "/src/support/catalog.txt");
  for (std::string line; std::getline(in, line);) {
    const std::size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
    originals[line.substr(0, tab)] = Unescape(line.substr(tab + 1));
  }
  return originals;
}

}  // namespace kestrun::testing
