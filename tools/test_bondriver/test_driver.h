// The test tuner driver: serves a stream file in blocks through the driver
// interface and records every call it receives.
#pragma once

#include "tuner/bon_driver.h"

namespace test_bondriver {

// What the library's factory returns under the configuration in force: null
// in "nullfactory" mode, an object without the extended interface in "noext"
// mode, else a full driver.
IBonDriver* CreateTestDriver();

}  // namespace test_bondriver

// With gate=1, the driver hands out a block only while the bytes it has
// handed out so far are fewer than `bytes`. Tests loading the library into
// their own process call this through the library's symbol table.
extern "C" void TestDriverAllow(std::uint64_t bytes);
