// The table slots of a test driver object, each handed to a core that holds
// the driver's behaviour: Open, Close, SignalLevel, Fetch, Flush, Select and
// Log(text).
// Shared by the test driver built with the program and the one built in the
// MSVC ABI, so both answer every call alike; it needs no C++ library.
#pragma once

#include "tuner/bon_driver.h"

namespace test_bondriver {

// `Interface` is the base interface or the extended one that continues its
// table, `Self` the final class (the interfaces have no virtual destructor
// to delete through).
template <class Interface, class Self, class Core>
class DriverSlots : public Interface {
 public:
  template <class Config>
  explicit DriverSlots(const Config& config) : core_(config) {}

  std::int32_t KESTRUN_MEMBER_CALL Open() override { return core_.Open(); }
  void KESTRUN_MEMBER_CALL Close() override { core_.Close(); }
  void KESTRUN_MEMBER_CALL Reserved2() override { core_.Log("Reserved 2"); }
  float KESTRUN_MEMBER_CALL GetSignalLevel() override { return core_.SignalLevel(); }
  void KESTRUN_MEMBER_CALL Reserved4() override { core_.Log("Reserved 4"); }
  void KESTRUN_MEMBER_CALL Reserved5() override { core_.Log("Reserved 5"); }
  std::int32_t KESTRUN_MEMBER_CALL FetchStream(std::uint8_t** block, std::uint32_t* size,
                                               std::uint32_t* remain) override {
    return core_.Fetch(block, size, remain);
  }
  void KESTRUN_MEMBER_CALL Reserved7() override { core_.Log("Reserved 7"); }
  void KESTRUN_MEMBER_CALL FlushStream() override { core_.Flush(); }
  void KESTRUN_MEMBER_CALL Destroy() override {
    core_.Log("Destroy");
    delete static_cast<Self*>(this);
  }

 protected:
  Core core_;
};

// A driver object with the base interface only.
template <class Core>
class PlainDriver final : public DriverSlots<IBonDriver, PlainDriver<Core>, Core> {
 public:
  using DriverSlots<IBonDriver, PlainDriver<Core>, Core>::DriverSlots;
};

// A full driver object.
template <class Core>
class ExtendedDriver final : public DriverSlots<IBonDriver2, ExtendedDriver<Core>, Core> {
 public:
  using DriverSlots<IBonDriver2, ExtendedDriver<Core>, Core>::DriverSlots;

  void KESTRUN_MEMBER_CALL Reserved10() override { this->core_.Log("Reserved 10"); }
  void KESTRUN_MEMBER_CALL Reserved11() override { this->core_.Log("Reserved 11"); }
  void KESTRUN_MEMBER_CALL Reserved12() override { this->core_.Log("Reserved 12"); }
  void KESTRUN_MEMBER_CALL Reserved13() override { this->core_.Log("Reserved 13"); }
  std::int32_t KESTRUN_MEMBER_CALL SelectSpaceChannel(std::uint32_t space,
                                                      std::uint32_t channel) override {
    return this->core_.Select(space, channel);
  }
};

}  // namespace test_bondriver
