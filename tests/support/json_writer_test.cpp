#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/json_writer.h"

namespace kestrun {
namespace {

// Bytes that are not well-formed UTF-8 become U+FFFD one byte at a time;
// well-formed ones, up to four bytes, are kept.
TEST(JsonWriter, StringsAreValidUtf8) {
  const std::string r = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> cases[] = {
      {"plain.ts", "plain.ts"},
      {"\xE9\x8C\xB2\xE7\x94\xBB.ts", "\xE9\x8C\xB2\xE7\x94\xBB.ts"},  // UTF-8 kept
      {"\x98\x5E.ts", r + "^.ts"},            // a CP932 character on POSIX
      {"\xC0\xAF", r + r},                    // overlong '/'
      {"\xED\xA0\x80", r + r + r},            // surrogate
      {"\xF0\x9F\x98\x80\xF4\x90\x80\x80", "\xF0\x9F\x98\x80" + r + r + r + r},
      {"cut \xE9\x8C", "cut " + r + r},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ToValidUtf8(in), out) << in;
}

// What the writer makes, a real parser reads back unchanged.
TEST(JsonWriter, DocumentParsesBack) {
  JsonWriter json;
  json.BeginObject();
  json.Key("text");
  json.String("q\"b\\n\n\x01\x7F\xE9\x8C\xB2");
  json.Key("numbers");
  json.BeginArray();
  json.Int(-5);
  json.Unsigned(18446744073709551615ull);
  json.EndArray();
  json.Key("empty");
  json.BeginArray();
  json.EndArray();
  json.Key("nested");
  json.BeginObject();
  json.Key("flag");
  json.Bool(true);
  json.Key("none");
  json.Null();
  json.EndObject();
  json.EndObject();
  const nlohmann::json doc = nlohmann::json::parse(json.Text());
  EXPECT_EQ(doc["text"], "q\"b\\n\n\x01\x7F\xE9\x8C\xB2");
  EXPECT_EQ(doc["numbers"][0], -5);
  EXPECT_EQ(doc["numbers"][1].get<std::uint64_t>(), 18446744073709551615ull);
  EXPECT_TRUE(doc["empty"].empty());
  EXPECT_EQ(doc["nested"]["flag"], true);
  EXPECT_TRUE(doc["nested"]["none"].is_null());
}

}  // namespace
}  // namespace kestrun
