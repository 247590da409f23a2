// The catalog's CP932 bytes against an independent conversion (iconv) of the
// UTF-8 originals in catalog.txt.
#include <iconv.h>

#include <fstream>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/catalog.h"

namespace kestrun {
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

std::string ToCp932(const std::string& utf8) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return "<iconv has no CP932>";
  std::string in = utf8;
  std::string out(in.size() * 2 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) return "<not convertible>";
  out.resize(out.size() - outLeft);
  return out;
}

std::map<std::string, std::string> ReadOriginals() {
  std::map<std::string, std::string> originals;
  std::ifstream in(std::string(KESTRUN_SOURCE_DIR) + "/src/support/catalog.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    originals[line.substr(0, tab)] = Unescape(line.substr(tab + 1));
  }
  return originals;
}

TEST(Catalog, EveryTextIsTheCp932OfItsUtf8Original) {
  const auto originals = ReadOriginals();
  ASSERT_FALSE(originals.empty());
  EXPECT_EQ(originals.size(), std::size(text::kCatalog));
  for (const auto& entry : text::kCatalog) {
    const auto it = originals.find(entry.name);
    ASSERT_NE(it, originals.end()) << entry.name << " has no original in catalog.txt";
    EXPECT_EQ(std::string(entry.bytes), ToCp932(it->second)) << entry.name;
  }
}

// The two marks every notice and the usage screen depend on.
TEST(Catalog, FullWidthHyphenAndIdeographicSpaceBytes) {
  EXPECT_EQ(std::string(text::kMsgClosing).substr(0, 3), "\x81\x7C ");
  EXPECT_EQ(std::string(text::kUsageSrcpath).substr(0, 2), "\x81\x40");
}

}  // namespace
}  // namespace kestrun
