#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/posix/cp932_display.h"
#include "support/catalog.h"
#include "support/catalog_originals.h"

namespace kestrun::platform {
namespace {

// CP932 bytes              | shown as UTF-8
// ASCII, CR LF             | unchanged
// 81 7C (full-width minus) | EF BC 8D
// 82 A0 (hiragana a)       | E3 81 82
// B1 (half-width ka. a)    | EF BD B1
// 5C (backslash)           | 5C, not a yen sign
// 80, A0, FD, FF           | passed through
// lead byte at the end     | passed through
// lead byte + space        | lead passed through, space kept
// NUL inside               | kept
TEST(ConvertCp932ToUtf8, ConvertsCharactersAndPassesTheRest) {
  struct Case {
    const char* label;
    std::string cp932;
    std::string utf8;
  };
  const Case cases[] = {
      {"ascii", "DROP : PID\r\n", "DROP : PID\r\n"},
      {"full-width minus", "\x81\x7c ", "\xef\xbc\x8d "},
      {"hiragana", "a\x82\xa0z", "a\xe3\x81\x82z"},
      {"half-width katakana", "\xb1", "\xef\xbd\xb1"},
      {"backslash", "C:\\x", "C:\\x"},
      {"unmapped single bytes", "\x80-\xa0-\xfd-\xff", "\x80-\xa0-\xfd-\xff"},
      {"cut lead byte", "ok\x82", "ok\x82"},
      {"lead byte and space", "\x82 x", "\x82 x"},
      {"nul inside", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(ConvertCp932ToUtf8(c.cp932), c.utf8);
  }
}

TEST(ConvertCp932ToUtf8, HandlesLongTexts) {
  std::string cp932;
  std::string utf8;
  for (int i = 0; i < 5000; ++i) {
    cp932 += "\x82\xa0\xb1\x80";
    utf8 += "\xe3\x81\x82\xef\xbd\xb1\x80";
  }
  EXPECT_EQ(ConvertCp932ToUtf8(cp932), utf8);
}

// Every catalog text shows on a UTF-8 terminal exactly as its UTF-8 source.
TEST(ConvertCp932ToUtf8, ShowsEveryCatalogTextAsItsSource) {
  auto utf8 = testing::ReadCatalogOriginals();
  ASSERT_FALSE(utf8.empty());
  for (const text::CatalogEntry& entry : text::kCatalog) {
    SCOPED_TRACE(entry.name);
    ASSERT_EQ(utf8.count(entry.name), 1u);
    EXPECT_EQ(ConvertCp932ToUtf8(entry.bytes), utf8[entry.name]);
  }
}

// LC_ALL       | LC_CTYPE    | LANG        | UTF-8
// (unset)      | (unset)     | (unset)     | no
// (empty)      | (empty)     | C.UTF-8     | yes
// C            | (unset)     | en_US.UTF-8 | no (LC_ALL wins)
// (unset)      | ja_JP.utf8  | C           | yes
// (unset)      | (unset)     | ja_JP.SJIS  | no
TEST(LocaleCharsetIsUtf8, TakesTheFirstSetVariable) {
  const struct {
    const char* lcAll;
    const char* lcCtype;
    const char* lang;
    bool utf8;
  } cases[] = {
      {nullptr, nullptr, nullptr, false},   {"", "", "C.UTF-8", true},        {"C", nullptr, "en_US.UTF-8", false},
      {nullptr, "ja_JP.utf8", "C", true},   {nullptr, nullptr, "ja_JP.SJIS", false},
      {"", "", "", false},                  {nullptr, nullptr, "en_US.UTF8", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "-") + "/" + (c.lcCtype ? c.lcCtype : "-") + "/" +
                 (c.lang ? c.lang : "-"));
    EXPECT_EQ(LocaleCharsetIsUtf8(c.lcAll, c.lcCtype, c.lang), c.utf8);
  }
}

}  // namespace
}  // namespace kestrun::platform
