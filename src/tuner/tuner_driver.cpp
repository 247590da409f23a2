#include "output/message.h"
#include "platform/platform.h"
#include "support/catalog.h"
#include "support/run_flags.h"
#include "tuner/bon_driver_tuner.h"

namespace kestrun {
namespace {

bool NoProgress() { return (ConsoleFlags.load(std::memory_order_relaxed) & kConsoleNoProgress) != 0; }

void UnloadLibrary(CBonDriverTuner& tuner) {
  CloseTuner(tuner);
  tuner.module.reset();
  tuner.loaded = false;
  tuner.opened = false;
  tuner.factory = nullptr;
}

void LoadDriverLibrary(CBonDriverTuner& tuner) {
  if (tuner.loaded || tuner.module) return;
  tuner.module = platform::LoadDynamicLibrary(tuner.driverPath);
  if (!tuner.module) return;
  void* symbol = tuner.module->Symbol(kBonDriverFactoryName);
  if (symbol == nullptr) {
    UnloadLibrary(tuner);
    return;
  }
  tuner.factory = reinterpret_cast<BonDriverFactory>(symbol);
  tuner.loaded = true;
}

void CreateDriverObject(CBonDriverTuner& tuner) {
  if (!tuner.loaded || tuner.factory == nullptr || tuner.driver != nullptr) return;
  IBonDriver* driver = tuner.factory();
  if (driver == nullptr) return;
  tuner.driver = driver;
  tuner.driver2 = dynamic_cast<IBonDriver2*>(driver);
}

void OpenDriverObject(CBonDriverTuner& tuner) {
  if (tuner.driver == nullptr || tuner.opened) return;
  tuner.opened = tuner.driver->Open() != 0;
  if (tuner.opened && tuner.driver2 != nullptr) {
    tuner.driver2->SelectSpaceChannel(tuner.spaceNo, tuner.channelNo);
    tuner.driver2->FlushStream();
  } else if (!tuner.opened && tuner.loaded) {
    CloseTuner(tuner);
  }
}

}  // namespace

bool OpenTuner(CBonDriverTuner& tuner) {
  if (!tuner.driverPath.empty() && platform::PathExists(tuner.driverPath)) {
    CloseTuner(tuner);
    LoadDriverLibrary(tuner);
    CreateDriverObject(tuner);
    OpenDriverObject(tuner);
  }
  // The word says whether the library and its factory were found, not
  // whether the tuner opened.
  if (!NoProgress()) {
    WriteMessage(text::kMsgTunerStart, tuner.loaded ? text::kWordSuccess : text::kWordFailure,
                 platform::PathForMessage(tuner.driverPath).c_str());
  }
  return tuner.loaded;
}

void CloseTuner(CBonDriverTuner& tuner) {
  if (!tuner.loaded || tuner.driver == nullptr) return;
  if (tuner.opened) tuner.driver->Close();
  tuner.driver->Destroy();
  tuner.driver = nullptr;
  tuner.driver2 = nullptr;
  tuner.opened = false;
  if (!NoProgress()) WriteMessage(text::kMsgTunerEnd, platform::PathForMessage(tuner.driverPath).c_str());
}

}  // namespace kestrun
