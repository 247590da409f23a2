// The library's one export. The "noexport" build of the driver leaves this
// file out, so that library has no factory at all.
#include "test_driver.h"

extern "C" IBonDriver* CreateBonDriver() { return test_bondriver::CreateTestDriver(); }
