// A real browser for the report tests: headless Chromium loading a page
// from a file, with everything that would reach the network switched off,
// giving the DOM after its script ran and a screenshot.
#pragma once

#include <string>

#include "support/process_runner.h"
#include "support/temp_dir.h"

namespace kestrun::testing {

// The browser's path, or empty with the reason in `whyMissing`.
std::string FindBrowser(std::string* whyMissing);

struct BrowserView {
  ProcessResult run;
  std::string dom;         // the document as the browser holds it after loading
  std::string screenshot;  // PNG bytes of the first 1300 x 1000 pixels
};

// Loads `page` (a file) in a fresh profile under `dir`.
BrowserView LoadInBrowser(const std::string& browser, const std::string& page, const TempDir& dir);

// Whether PNG bytes are a picture of that size with clearly more in it than
// `blank`, a screenshot of an empty page (a blank one compresses to little).
bool ShowsSomething(const std::string& png, const std::string& blank, std::string* why);

}  // namespace kestrun::testing

// Skips the test without a browser, or fails when KESTRUN_REQUIRE_BROWSER is
// set (CI installs one).
#define KESTRUN_REQUIRE_BROWSER(browser)                                        \
  do {                                                                          \
    std::string why_;                                                           \
    (browser) = ::kestrun::testing::FindBrowser(&why_);                         \
    if ((browser).empty()) {                                                    \
      if (std::getenv("KESTRUN_REQUIRE_BROWSER") != nullptr)                    \
        FAIL() << "required browser missing: " << why_;                         \
      GTEST_SKIP() << "browser test skipped: " << why_;                         \
    }                                                                           \
  } while (0)
