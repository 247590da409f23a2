// The library's one export. The "noexport" build of the driver leaves this
// file out, so that library has no factory at all.
#include "test_driver.h"

// A build that hides its symbols by default names the export here.
#ifndef TEST_DRIVER_EXPORT
#define TEST_DRIVER_EXPORT
#endif

extern "C" TEST_DRIVER_EXPORT IBonDriver* CreateBonDriver() { return test_bondriver::CreateTestDriver(); }
