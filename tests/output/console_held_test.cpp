// Held console text: it waits for the next console output, a flush or the
// hold limit, and then goes out ahead of anything written after it, in the
// order it was held (with the next output in the same write where it fits).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/console.h"

namespace kestrun {
namespace {

class RecordingSink : public ByteSink {
 public:
  void Write(const char* bytes, std::size_t count) override { writes.emplace_back(bytes, count); }
  void Flush() override { ++flushes; }
  std::vector<std::string> writes;
  int flushes = 0;
};

TEST(ConsoleHeld, GoesOutBeforeTheNextOutputAtAFlushOrAtTheLimit) {
  RecordingSink sink;
  SetConsoleSink(&sink);
  ConsoleTextHeld("1\r");
  ConsoleTextHeld("2\r");
  EXPECT_TRUE(sink.writes.empty());
  ConsoleText("drop\r\n");  // goes out with them in one write
  EXPECT_EQ(sink.writes, (std::vector<std::string>{"1\r2\rdrop\r\n"}));
  ConsoleText("next\r\n");
  EXPECT_EQ(sink.writes.back(), "next\r\n");

  sink.writes.clear();
  ConsoleTextHeld("3\r");
  ConsoleFlush();
  EXPECT_EQ(sink.writes, (std::vector<std::string>{"3\r"}));
  EXPECT_EQ(sink.flushes, 1);

  sink.writes.clear();
  const std::string line(1000, 'x');
  std::size_t held = 0;
  while (sink.writes.empty()) {
    ConsoleTextHeld(line);
    held += line.size();
  }
  EXPECT_EQ(held, (kConsoleHoldLimit + line.size() - 1) / line.size() * line.size());
  EXPECT_EQ(sink.writes[0].size(), held);

  // Replacing the sink first writes what the old one was to show.
  ConsoleTextHeld("4\r");
  SetConsoleSink(nullptr);
  EXPECT_EQ(sink.writes.back(), "4\r");
}

}  // namespace
}  // namespace kestrun
