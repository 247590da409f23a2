// The tuner source of one job: the driver library, the driver object, the
// tuner thread that fetches blocks of TS bytes from it, and the reception
// buffer through which the worker takes those bytes.
//
// Calling order within one job (all on the worker thread):
//   FillTunerRecord -> StartTunerThread -> TakeReceived ... -> TeardownTuner.
// The open and close sequences run on the tuner thread; the close sequence
// runs once more in the teardown for a driver object that is still held.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/platform.h"
#include "tuner/bon_driver.h"
#include "tuner/signal_series.h"

namespace kestrun {

// The tuner thread appends only while fewer bytes than this wait: several
// seconds of the highest broadcast rates, so only a worker that really cannot
// keep up reaches it, and a passing delay of the worker loses nothing.
inline constexpr std::uint32_t kTunerBufferLimit = 16u * 1024 * 1024;
// Fifty packets of room at least whenever the reception buffer has to grow.
inline constexpr std::uint32_t kTunerBufferReserve = 9400;
// How long the worker waits for the tuner before it looks at the stop flags
// and takes whatever waits.
inline constexpr std::chrono::milliseconds kTunerWaitSlice{20};
// The worker is woken early once this much waits: waking it for every small
// block would cost more than the work it is woken for.
inline constexpr std::uint32_t kTunerWakeBytes = 48128;
// Fetched blocks smaller than kTunerWakeBytes are gathered by the tuner
// thread and handed over together: every hand-off is a wait and two event
// calls under the guard, each a kernel call on Windows, which for blocks of a
// few kilobytes cost more than the analysis of their bytes. Staged bytes go
// over once kTunerWakeBytes are together, once the oldest has waited this
// long, as soon as the driver has nothing to give, and when receiving ends.
// The worker itself looks only once per slice unless woken, so staging for
// as long at most doubles the delay before bytes are checked.
inline constexpr std::chrono::milliseconds kTunerStageAge = kTunerWaitSlice;
// Notices of discarded bytes come at most this often.
inline constexpr std::chrono::seconds kDiscardNoticeInterval{1};
// The signal level is read from the driver this often: a driver may measure
// it with a call to the tuner hardware, so it is never asked many times a
// second.
inline constexpr std::chrono::seconds kSignalReadInterval{1};

// Bytes fetched from the driver and not yet taken by the worker: `length`
// bytes from `data` + `head`. The length is atomic because both sides look at
// it before they take the hand-off guard.
struct ReceptionBuffer {
  std::unique_ptr<std::uint8_t[]> data;
  std::atomic<std::uint32_t> length{0};
  std::uint32_t head = 0;
  std::uint32_t capacity = 0;
};

// Bytes the tuner thread fetched and has not yet handed over; only the tuner
// thread touches them. The block (kTunerWakeBytes) is allocated on first use
// and kept until the record is reset.
struct StagedBytes {
  std::unique_ptr<std::uint8_t[]> data;
  std::uint32_t length = 0;
  std::chrono::steady_clock::time_point oldest;  // when the first of them was fetched
};

// Blocks the tuner thread discarded itself because the buffer was at its
// limit or could not grow; only the tuner thread touches it.
struct DiscardCount {
  std::int64_t pending = 0;  // bytes not yet reported
  std::optional<std::chrono::steady_clock::time_point> lastNotice;
};

struct CBonDriverTuner {
  CBonDriverTuner() = default;
  // A record that goes away still stops its thread before it releases the
  // driver object and the library (the teardown does nothing a second time).
  ~CBonDriverTuner();
  CBonDriverTuner(const CBonDriverTuner&) = delete;
  CBonDriverTuner& operator=(const CBonDriverTuner&) = delete;

  bool loaded = false;  // library loaded and its factory found
  bool opened = false;  // the driver's Open returned non-zero
  std::string driverPath;
  std::unique_ptr<platform::DynamicLibrary> module;
  IBonDriver* driver = nullptr;
  IBonDriver2* driver2 = nullptr;
  BonDriverFactory factory = nullptr;
  std::uint32_t spaceNo = 0;
  std::uint32_t channelNo = 0;
  ReceptionBuffer received;
  StagedBytes staged;
  std::atomic<bool> running{false};
  // Signalled while the worker is not taking bytes.
  std::unique_ptr<platform::Event> lockEvent;
  // Signalled while the tuner thread is not appending.
  std::unique_ptr<platform::Event> lock2Event;
  std::thread thread;
  std::uint32_t bufferLimit = kTunerBufferLimit;
  // Held over each append, each take and the creation and release of the
  // events: the event pair alone leaves a window between a wait and the
  // reset that follows it in which both sides could pass.
  std::mutex handoff;
  // Signalled when an append makes kTunerWakeBytes wait, so the worker
  // waits instead of polling.
  std::condition_variable appended;
  DiscardCount discarded;
  // Bytes discarded by the tuner thread over the job, for the job's report.
  std::atomic<std::uint64_t> discardedTotal{0};
  // The signal levels read so far; written by the tuner thread, read by
  // whoever reports on the job, under signalGuard.
  SignalSeries signal;
  std::mutex signalGuard;
  std::chrono::steady_clock::time_point nextSignalRead;  // tuner thread only
};

// Every field zero, empty or none, bufferLimit at its limit, the reception
// buffer's block freed. Only while no tuner thread runs.
void ResetTunerRecord(CBonDriverTuner& tuner);

// Fills spaceNo, channelNo and driverPath from a tuner source text (cut at
// its first ';'); pieces the text lacks leave their fields as they were.
void FillTunerRecord(CBonDriverTuner& tuner, std::string_view source);

// Starts the tuner thread (after ending one that is still held).
// 0 = started, 1 = no thread was started.
int StartTunerThread(CBonDriverTuner& tuner);

// The tuner thread: opens the driver, receives until `running` is cleared or
// a stop is requested, then closes the driver. Returns 0.
int TunerThreadMain(CBonDriverTuner& tuner);

// Loads the library, creates the driver object, opens it and selects the
// channel; prints the start message. Returns `loaded`.
bool OpenTuner(CBonDriverTuner& tuner);
// Closes and destroys a held driver object and prints the end message; does
// nothing unless the library is loaded and an object is held.
void CloseTuner(CBonDriverTuner& tuner);

// The tuner thread's names for its two events, made from the process id and
// the record's address as a signed decimal of the pointer width.
std::string TunerLockEventName(const CBonDriverTuner& tuner);
std::string TunerLock2EventName(const CBonDriverTuner& tuner);

// What one receive step did with the block it fetched.
enum class ReceiveStep {
  Nothing,   // the driver handed out nothing
  Kept,      // the block was staged or appended to the reception buffer
  Dropped,   // the block was dropped: the bytes waiting were at the limit
             // (the driver's queue is then flushed too) or the buffer could
             // not grow; its bytes are counted for the discard notice
};
// One FetchStream call and the handling of its block; the body of the tuner
// thread's receive loop. Needs a held driver object.
ReceiveStep ReceiveOnce(CBonDriverTuner& tuner);

// Writes the notice of the bytes discarded since the last one, when there
// are any and the last notice is at least a second old (`final`: whatever
// its age, at the end of receiving).
void ReportDiscarded(CBonDriverTuner& tuner, std::chrono::steady_clock::time_point now,
                     bool final);

// Reads the driver's signal level into the series when kSignalReadInterval
// has passed since the last read. Tuner thread only; needs a held driver.
void ReadSignalLevelIfDue(CBonDriverTuner& tuner, std::chrono::steady_clock::time_point now);
// A copy of the signal levels read so far; from any thread.
SignalSeries TunerSignal(CBonDriverTuner& tuner);

// The worker's wait for the tuner: returns as soon as kTunerWakeBytes wait,
// or after `timeout` so that the caller looks at the stop flags and takes
// what has come by then.
void WaitForReceived(CBonDriverTuner& tuner, std::chrono::milliseconds timeout);

// Appends `first`, then `second`, to the reception buffer in one hand-off
// under the guard (either may be empty). False when the buffer could not
// grow; nothing is appended then.
bool AppendReceived(CBonDriverTuner& tuner, const std::uint8_t* first, std::uint32_t firstSize,
                    const std::uint8_t* second = nullptr, std::uint32_t secondSize = 0);

// Bytes waiting for the worker: staged and in the reception buffer. Tuner
// thread only (the staged count is its own).
std::uint64_t WaitingBytes(const CBonDriverTuner& tuner);

// Keeps a fetched block for the worker: stages it, and hands the staged
// bytes over when they are due; a block that does not fit beside them goes
// over with them in the same append. Returns the bytes that had to be
// dropped because the reception buffer could not grow (0: all kept).
std::uint64_t KeepBlock(CBonDriverTuner& tuner, const std::uint8_t* block, std::uint32_t size,
                        std::chrono::steady_clock::time_point now);
// Hands whatever is staged over to the worker now. Returns the bytes dropped
// because the reception buffer could not grow (0: all handed over).
std::uint64_t HandOverStaged(CBonDriverTuner& tuner);

// Copies up to `capacity` waiting bytes to `destination` in the order they
// were received and removes them from the reception buffer. Nothing is
// copied once `running` is clear. True when at least one byte was copied.
bool TakeReceived(CBonDriverTuner& tuner, std::uint8_t* destination, std::uint32_t capacity,
                  std::uint32_t* count);

// Clears `running` and joins the tuner thread (nothing when none runs).
void StopTunerThread(CBonDriverTuner& tuner);

// End of the job: stops and joins the tuner thread, then releases the driver
// object, then the library, and resets the record.
void TeardownTuner(CBonDriverTuner& tuner);

}  // namespace kestrun
