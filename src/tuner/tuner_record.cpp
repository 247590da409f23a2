#include <system_error>

#include "tuner/bon_driver_tuner.h"
#include "tuner/tuner_source.h"

namespace kestrun {

CBonDriverTuner::~CBonDriverTuner() { TeardownTuner(*this); }

void ResetTunerRecord(CBonDriverTuner& tuner) {
  // Never let a running thread outlive the record's fields.
  tuner.running.store(false);
  if (tuner.thread.joinable()) tuner.thread.join();
  tuner.loaded = false;
  tuner.opened = false;
  tuner.driverPath.clear();
  tuner.driver = nullptr;
  tuner.driver2 = nullptr;
  tuner.factory = nullptr;
  tuner.module.reset();
  tuner.spaceNo = 0;
  tuner.channelNo = 0;
  tuner.received.data.reset();
  tuner.received.length.store(0);
  tuner.received.head = 0;
  tuner.received.capacity = 0;
  tuner.staged = {};
  tuner.discarded = {};
  tuner.discardedTotal.store(0);
  {
    std::lock_guard lock(tuner.signalGuard);
    tuner.signal = {};
  }
  tuner.lockEvent.reset();
  tuner.lock2Event.reset();
  tuner.bufferLimit = kTunerBufferLimit;
}

void FillTunerRecord(CBonDriverTuner& tuner, std::string_view source) {
  const std::optional<TunerSourceParts> parts = SplitTunerSource(source);
  if (!parts) return;
  tuner.spaceNo = ParseTunerNumber(parts->space);
  if (parts->channel) tuner.channelNo = ParseTunerNumber(*parts->channel);
  if (parts->driverPath) tuner.driverPath = *parts->driverPath;
}

int StartTunerThread(CBonDriverTuner& tuner) {
  tuner.running.store(false);
  if (tuner.thread.joinable()) tuner.thread.join();
  tuner.running.store(true);
  try {
    tuner.thread = std::thread([&tuner] { TunerThreadMain(tuner); });
  } catch (const std::system_error&) {
    tuner.running.store(false);
    return 1;
  }
  return 0;
}

void StopTunerThread(CBonDriverTuner& tuner) {
  tuner.running.store(false);
  if (tuner.thread.joinable()) tuner.thread.join();
}

void TeardownTuner(CBonDriverTuner& tuner) {
  // The thread is the only user of the driver object while it runs, so it
  // must have ended before the object, and then its library, are released.
  StopTunerThread(tuner);
  CloseTuner(tuner);
  tuner.loaded = false;
  tuner.opened = false;
  tuner.module.reset();
  ResetTunerRecord(tuner);
}

}  // namespace kestrun
