// The catalog's CP932 bytes against an independent conversion (iconv) of the
// UTF-8 originals in catalog.txt.
#include <iconv.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/catalog.h"
#include "support/catalog_originals.h"

namespace kestrun {
namespace {

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

TEST(Catalog, EveryTextIsTheCp932OfItsUtf8Original) {
  const auto originals = testing::ReadCatalogOriginals();
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
