#include <chrono>
#include <cstdint>
#include <string>

#include "output/message.h"
#include "support/catalog.h"
#include "support/run_flags.h"
#include "tuner/bon_driver_tuner.h"

namespace kestrun {
namespace {

// The process id, then the record's address as a signed decimal of the
// pointer width: no two records alive at the same time share it, and the
// events of two processes (one per tuner) never meet under one name.
std::string EventNumber(const CBonDriverTuner& tuner) {
  return std::to_string(platform::ProcessId()) + "_" +
         std::to_string(static_cast<std::intptr_t>(reinterpret_cast<std::uintptr_t>(&tuner)));
}

void CreateHandoffEvents(CBonDriverTuner& tuner) {
  std::lock_guard lock(tuner.handoff);
  tuner.lockEvent = platform::CreateManualResetEvent(TunerLockEventName(tuner), true);
  tuner.lock2Event = platform::CreateManualResetEvent(TunerLock2EventName(tuner), true);
}

// Under the guard, so a take that is deciding whether to wait never sees an
// event that is being released.
void ReleaseHandoffEvents(CBonDriverTuner& tuner) {
  std::lock_guard lock(tuner.handoff);
  for (std::unique_ptr<platform::Event>* event : {&tuner.lockEvent, &tuner.lock2Event}) {
    if (*event) (*event)->Set();
    event->reset();
  }
}

// Only the tuner thread creates and releases the events, so it may look at
// them without the guard.
bool ReadyToReceive(const CBonDriverTuner& tuner) {
  return tuner.loaded && tuner.opened && tuner.driver != nullptr && tuner.driver2 != nullptr &&
         tuner.lockEvent != nullptr && tuner.lock2Event != nullptr;
}

// Counts bytes the tuner thread drops itself and tells about them.
ReceiveStep Discard(CBonDriverTuner& tuner, std::uint64_t bytes) {
  tuner.discarded.pending += static_cast<std::int64_t>(bytes);
  tuner.discardedTotal.fetch_add(bytes, std::memory_order_relaxed);
  ReportDiscarded(tuner, std::chrono::steady_clock::now(), false);
  return ReceiveStep::Dropped;
}

void HandOverOrCount(CBonDriverTuner& tuner) {
  if (const std::uint64_t lost = HandOverStaged(tuner); lost > 0) Discard(tuner, lost);
}

void ReceiveUntilStopped(CBonDriverTuner& tuner) {
  tuner.driver2->FlushStream();
  tuner.nextSignalRead = std::chrono::steady_clock::now();
  while (tuner.running.load() && AbortFlag.load(std::memory_order_relaxed) == 0) {
    ReceiveOnce(tuner);
    ReadSignalLevelIfDue(tuner, std::chrono::steady_clock::now());
  }
  // Nothing fetched stays behind in the staging block.
  HandOverOrCount(tuner);
  tuner.driver2->FlushStream();
  ReportDiscarded(tuner, std::chrono::steady_clock::now(), true);
}

}  // namespace

std::string TunerLockEventName(const CBonDriverTuner& tuner) {
  return "Thread" + EventNumber(tuner) + "_Lock";
}

std::string TunerLock2EventName(const CBonDriverTuner& tuner) {
  return "Thread" + EventNumber(tuner) + "_Lock_2";
}

ReceiveStep ReceiveOnce(CBonDriverTuner& tuner) {
  std::uint8_t* block = nullptr;
  std::uint32_t size = 0;
  std::uint32_t remain = 0;
  if (tuner.driver->FetchStream(&block, &size, &remain) == 0 || block == nullptr || size == 0) {
    // The driver has nothing now: what is staged should not wait for it.
    HandOverOrCount(tuner);
    return ReceiveStep::Nothing;
  }
  // The limit is checked before the guard is taken: the buffer's length is
  // one atomic read, and the staged bytes are this thread's own.
  if (WaitingBytes(tuner) >= tuner.bufferLimit) {
    // The worker has fallen far behind: drop at the source rather than
    // queue without bound.
    if (tuner.driver2 != nullptr) {
      tuner.driver2->FlushStream();
    } else {
      tuner.driver->FlushStream();
    }
    return Discard(tuner, size);
  }
  const std::uint64_t lost = KeepBlock(tuner, block, size, std::chrono::steady_clock::now());
  return lost == 0 ? ReceiveStep::Kept : Discard(tuner, lost);
}

void ReportDiscarded(CBonDriverTuner& tuner, std::chrono::steady_clock::time_point now,
                     bool final) {
  DiscardCount& count = tuner.discarded;
  if (count.pending == 0) return;
  if (!final && count.lastNotice && now - *count.lastNotice < kDiscardNoticeInterval) return;
  WriteMessage(text::kMsgTunerDiscarded, static_cast<long long>(count.pending),
               tuner.driverPath.c_str());
  count.pending = 0;
  count.lastNotice = now;
}

void ReadSignalLevelIfDue(CBonDriverTuner& tuner, std::chrono::steady_clock::time_point now) {
  if (now < tuner.nextSignalRead) return;
  // Paced from the read itself, so a late read never brings on a burst of
  // reads to catch up.
  tuner.nextSignalRead = now + kSignalReadInterval;
  const float level = tuner.driver->GetSignalLevel();
  const auto unixMs = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  std::lock_guard lock(tuner.signalGuard);
  AddSignalLevel(tuner.signal, unixMs.count(), level);
}

SignalSeries TunerSignal(CBonDriverTuner& tuner) {
  std::lock_guard lock(tuner.signalGuard);
  return tuner.signal;
}

int TunerThreadMain(CBonDriverTuner& tuner) {
  CreateHandoffEvents(tuner);
  OpenTuner(tuner);
  if (ReadyToReceive(tuner)) ReceiveUntilStopped(tuner);
  CloseTuner(tuner);
  ReleaseHandoffEvents(tuner);
  return 0;
}

}  // namespace kestrun
