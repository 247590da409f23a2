#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <thread>
#include <string>
#include <vector>

#include "support/catalog.h"
#include "support/format_text.h"
#include "tuner/bon_driver_tuner.h"
#include "tuner/tuner_test_support.h"

namespace kestrun {
namespace {

// An in-process driver object that hands out queued blocks, one per fetch.
class QueueDriver final : public IBonDriver2 {
 public:
  enum class Empty { ResultZero, NullBlock, ZeroLength };

  std::deque<std::string> blocks;
  Empty empty = Empty::ResultZero;
  int flushes = 0;

  std::int32_t Open() override { return 1; }
  void Close() override {}
  void Reserved2() override {}
  float GetSignalLevel() override { return 0.0f; }
  void Reserved4() override {}
  void Reserved5() override {}
  std::int32_t FetchStream(std::uint8_t** block, std::uint32_t* size, std::uint32_t*) override {
    if (blocks.empty()) {
      *block = empty == Empty::ZeroLength ? reinterpret_cast<std::uint8_t*>(held_.data()) : nullptr;
      *size = 0;
      return empty == Empty::ResultZero ? 0 : 1;
    }
    held_ = blocks.front();
    blocks.pop_front();
    *block = reinterpret_cast<std::uint8_t*>(held_.data());
    *size = static_cast<std::uint32_t>(held_.size());
    return 1;
  }
  void Reserved7() override {}
  void FlushStream() override { ++flushes; }
  void Destroy() override {}
  void Reserved10() override {}
  void Reserved11() override {}
  void Reserved12() override {}
  void Reserved13() override {}
  std::int32_t SelectSpaceChannel(std::uint32_t, std::uint32_t) override { return 1; }

 private:
  std::string held_ = std::string(1, '\0');
};

class TunerHandoff : public ::testing::Test {
 protected:
  void SetUp() override {
    tuner_.driver = &driver_;
    tuner_.driver2 = &driver_;
    tuner_.running.store(true);
  }
  // The driver object is the test's own: nothing to destroy or unload.
  void TearDown() override {
    tuner_.driver = nullptr;
    tuner_.driver2 = nullptr;
  }

  std::string Take(std::uint32_t capacity) {
    std::vector<std::uint8_t> room(capacity + 16, 0xEE);
    std::uint32_t count = 12345;
    const bool took = TakeReceived(tuner_, room.data(), capacity, &count);
    EXPECT_EQ(took, count > 0);
    EXPECT_EQ(room[capacity], 0xEE) << "wrote past the capacity";
    return std::string(reinterpret_cast<const char*>(room.data()), count);
  }

  QueueDriver driver_;
  CBonDriverTuner tuner_;
};

// The limit is 16 MiB (L); blocks of any size are kept below it. Staged
// bytes count as waiting as much as those in the reception buffer.
// Bytes waiting | next block | step    | bytes waiting after | flushes
//       0       |   1000     | Kept    |       1000          |    0
//     L - 1     |    188     | Kept    |     L + 187         |    0
//     L - 1     |  65537     | Kept    |    L + 65536        |    0
//       L       |    188     | Dropped |         L           |    1
//   L + 2000    |      1     | Dropped |      L + 2000       |    1
TEST(TunerHandoffLimit, AppendsOnlyBelowTheLimit) {
  constexpr std::uint32_t kLimit = 16u << 20;
  const struct {
    std::uint32_t waiting;
    std::uint32_t block;
    ReceiveStep step;
    std::uint32_t after;
    int flushes;
  } cases[] = {
      {0, 1000, ReceiveStep::Kept, 1000, 0},
      {kLimit - 1, 188, ReceiveStep::Kept, kLimit + 187, 0},
      {kLimit - 1, 65537, ReceiveStep::Kept, kLimit + 65536, 0},
      {kLimit, 188, ReceiveStep::Dropped, kLimit, 1},
      {kLimit + 2000, 1, ReceiveStep::Dropped, kLimit + 2000, 1},
  };
  testing::ConsoleCapture console;
  for (const auto& c : cases) {
    CBonDriverTuner tuner;
    QueueDriver driver;
    tuner.driver = &driver;
    tuner.driver2 = &driver;
    if (c.waiting > 0) driver.blocks.push_back(std::string(c.waiting, 'w'));
    driver.blocks.push_back(std::string(c.block, 'n'));
    if (c.waiting > 0) {
      ASSERT_EQ(ReceiveOnce(tuner), ReceiveStep::Kept);
    }
    EXPECT_EQ(ReceiveOnce(tuner), c.step) << c.waiting;
    EXPECT_EQ(WaitingBytes(tuner), c.after) << c.waiting;
    EXPECT_EQ(driver.flushes, c.flushes) << c.waiting;
    tuner.driver = nullptr;
    tuner.driver2 = nullptr;
  }
}

// Each dropped block is counted; the notice names what was dropped since the
// last one, at most once a second, and the rest when receiving ends.
TEST(TunerHandoffLimit, DiscardNoticesAreCountedAndRateLimited) {
  testing::ConsoleCapture console;
  CBonDriverTuner tuner;
  QueueDriver driver;
  tuner.driver = &driver;
  tuner.driver2 = &driver;
  tuner.driverPath = "drv.so";
  tuner.bufferLimit = 100;
  driver.blocks = {std::string(100, 'w'), std::string(1000, 'a'), std::string(300, 'b'),
                   std::string(7, 'c')};
  for (int i = 0; i < 3; ++i) ReceiveOnce(tuner);
  const auto notice = [](long long bytes) {
    return FormatText(text::kMsgTunerDiscarded, bytes, "drv.so");
  };
  EXPECT_EQ(console.Text(), notice(1000));  // the second drop came within the second
  *tuner.discarded.lastNotice -= std::chrono::seconds(1);
  ReceiveOnce(tuner);
  EXPECT_EQ(console.Text(), notice(1000) + notice(307));
  ReportDiscarded(tuner, std::chrono::steady_clock::now(), true);  // nothing left to tell
  EXPECT_EQ(console.Text(), notice(1000) + notice(307));
  EXPECT_EQ(WaitingBytes(tuner), 100u);
  tuner.driver = nullptr;
  tuner.driver2 = nullptr;
}

// A fetch that hands out nothing, in any of its forms, is simply retried.
TEST_F(TunerHandoff, IgnoresFetchesThatHandOutNothing) {
  for (auto empty : {QueueDriver::Empty::ResultZero, QueueDriver::Empty::NullBlock,
                     QueueDriver::Empty::ZeroLength}) {
    driver_.empty = empty;
    EXPECT_EQ(ReceiveOnce(tuner_), ReceiveStep::Nothing);
    EXPECT_EQ(tuner_.received.length.load(), 0u);
    EXPECT_EQ(Take(100), "");
  }
  EXPECT_EQ(driver_.flushes, 0);
}

// Takes smaller than what waits hand out exactly their capacity and keep the
// rest in order, also across growth of the buffer past its reserve.
TEST_F(TunerHandoff, TakesInOrderWithinTheCapacity) {
  const std::string stream = testing::BytePattern(30000);
  driver_.blocks = {stream.substr(0, 500), stream.substr(500, 9500), stream.substr(10000, 20000)};
  std::string received;
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);
  EXPECT_EQ(Take(300), "");  // staged, not yet handed over
  EXPECT_EQ(HandOverStaged(tuner_), 0u);
  received += Take(300);
  EXPECT_EQ(received, stream.substr(0, 300));
  EXPECT_EQ(tuner_.received.length.load(), 200u);
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);  // 200 waiting: below the limit
  tuner_.bufferLimit = 1u << 30;                      // let the last block through too
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);
  EXPECT_EQ(WaitingBytes(tuner_), 29700u);
  EXPECT_EQ(ReceiveOnce(tuner_), ReceiveStep::Nothing);  // hands the staged bytes over
  EXPECT_EQ(tuner_.received.length.load(), 29700u);
  while (received.size() < stream.size()) {
    const std::string part = Take(4096);
    ASSERT_FALSE(part.empty());
    EXPECT_LE(part.size(), 4096u);
    received += part;
  }
  EXPECT_EQ(received, stream);
  EXPECT_EQ(Take(4096), "");
}

TEST_F(TunerHandoff, TakesNothingWhenStoppedOrWithoutRoom) {
  driver_.blocks = {std::string(100, 'x')};
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);
  HandOverStaged(tuner_);
  std::uint8_t room[200];
  std::uint32_t count = 7;
  EXPECT_FALSE(TakeReceived(tuner_, nullptr, 200, &count));
  EXPECT_EQ(count, 0u);
  count = 7;
  EXPECT_FALSE(TakeReceived(tuner_, room, 0, &count));
  EXPECT_EQ(count, 0u);
  tuner_.running.store(false);
  EXPECT_EQ(Take(200), "");
  EXPECT_EQ(tuner_.received.length.load(), 100u);
  tuner_.running.store(true);
  EXPECT_EQ(Take(200), std::string(100, 'x'));
}

// Small blocks wait in the staging block until kTunerWakeBytes are together,
// the oldest is kTunerStageAge old, or the driver has nothing; a block too
// large to stage goes over behind them. Whatever the rule, the worker gets
// every byte in order.
TEST_F(TunerHandoff, StagedBlocksGoOverTogetherWhenDue) {
  using std::chrono::milliseconds;
  const std::string stream = testing::BytePattern(3 * kTunerWakeBytes);
  const auto start = std::chrono::steady_clock::now();
  std::size_t kept = 0;
  const auto keep = [&](std::uint32_t size, milliseconds when) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data()) + kept;
    EXPECT_EQ(KeepBlock(tuner_, bytes, size, start + when), 0u);
    kept += size;
    return tuner_.received.length.load();
  };
  for (int i = 0; i < 15; ++i) EXPECT_EQ(keep(3008, milliseconds(i)), 0u);
  EXPECT_EQ(keep(3008, milliseconds(15)), kTunerWakeBytes);  // sixteen blocks: 48128
  EXPECT_EQ(keep(1000, milliseconds(100)), kTunerWakeBytes);
  EXPECT_EQ(keep(1000, milliseconds(100) + kTunerStageAge - milliseconds(1)), kTunerWakeBytes);
  EXPECT_EQ(keep(1000, milliseconds(100) + kTunerStageAge), kTunerWakeBytes + 3000);
  EXPECT_EQ(keep(500, milliseconds(200)), kTunerWakeBytes + 3000);
  EXPECT_EQ(keep(60000, milliseconds(200)), kTunerWakeBytes + 63500);
  EXPECT_EQ(keep(7, milliseconds(300)), kTunerWakeBytes + 63500);
  EXPECT_EQ(ReceiveOnce(tuner_), ReceiveStep::Nothing);
  EXPECT_EQ(WaitingBytes(tuner_), kTunerWakeBytes + 63507);
  EXPECT_EQ(tuner_.received.length.load(), kTunerWakeBytes + 63507);
  EXPECT_TRUE(Take(3 * kTunerWakeBytes) == stream.substr(0, kept));
}

// The worker's wait ends after its time-out while less than 48128 bytes
// wait, and as soon as an append brings that much.
TEST_F(TunerHandoff, WorkerWaitEndsWhenEnoughBytesArriveOrAfterItsTimeOut) {
  using std::chrono::milliseconds;
  const std::string small = "abc";
  const std::string large(48125, 'x');
  driver_.blocks = {small, large};
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);
  auto start = std::chrono::steady_clock::now();
  WaitForReceived(tuner_, milliseconds(30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(25));
  std::thread producer([this] {
    std::this_thread::sleep_for(milliseconds(50));
    ReceiveOnce(tuner_);
  });
  start = std::chrono::steady_clock::now();
  WaitForReceived(tuner_, milliseconds(20000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(10000));
  producer.join();
  EXPECT_EQ(Take(100000), small + large);
}

// With the events in place, as the tuner thread has them, the hand-off still
// passes and leaves both events signalled.
TEST_F(TunerHandoff, LeavesBothEventsSignalled) {
  tuner_.lockEvent = platform::CreateManualResetEvent(TunerLockEventName(tuner_), true);
  tuner_.lock2Event = platform::CreateManualResetEvent(TunerLock2EventName(tuner_), true);
  ASSERT_TRUE(tuner_.lockEvent && tuner_.lock2Event);
  driver_.blocks = {"abc", "def"};
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);
  HandOverStaged(tuner_);
  EXPECT_EQ(Take(2), "ab");
  ASSERT_EQ(ReceiveOnce(tuner_), ReceiveStep::Kept);
  HandOverStaged(tuner_);
  EXPECT_EQ(Take(10), "cdef");
  tuner_.lockEvent->Wait();   // would hang if a side left its event reset
  tuner_.lock2Event->Wait();
  EXPECT_NE(TunerLockEventName(tuner_), TunerLock2EventName(tuner_));
}

}  // namespace
}  // namespace kestrun
