// The three builds of the program as the end-to-end tests run them: the
// native binary directly, the Windows builds under Wine.
#pragma once

#include <string>
#include <vector>

#include "support/process_runner.h"

// Set when the tests are compiled with AddressSanitizer or ThreadSanitizer
// (the asan and tsan presets).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTRUN_SANITIZER_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KESTRUN_SANITIZER_BUILD 1
#endif
#endif
#ifndef KESTRUN_SANITIZER_BUILD
#define KESTRUN_SANITIZER_BUILD 0
#endif

namespace kestrun::testing {

// A sanitizer build checks the native program it built. Its Windows tests
// would only rerun the very Windows binaries the plain build tests, so they
// are skipped there, also where the Windows builds are otherwise required.
inline constexpr bool kSanitizerBuild = KESTRUN_SANITIZER_BUILD != 0;

struct KestrunBuild {
  std::string name;      // "native", "win64", "win32"
  std::string exe;       // path of the program
  std::string launcher;  // Wine loader for the Windows builds, else empty
  bool windows = false;

  // A host path as the program sees it (Z:\... under Wine).
  std::string Path(const std::string& hostPath) const;
  // The program's own base name as it appears in derived log names.
  std::string BaseName() const { return windows ? "Kestrun" : "kestrun"; }
  // The test tuner driver built alongside this build.
  std::string TestDriver() const;
  // The MSVC-ABI test tuner driver of a Windows build (empty when it was not
  // made: clang or lld-link missing).
  std::string MsvcTestDriver() const;
  ProcessResult Run(const std::vector<std::string>& args, ProcessOptions options = {}) const;
};

// "native", "win64" or "win32". For a Windows build that is not available
// the reason is returned in `whyMissing` (the caller skips, or fails when
// KESTRUN_REQUIRE_WINDOWS is set, unless `cannotRunHere` is set too: this
// machine cannot run that build at all, so it is skipped even then).
bool FindBuild(const std::string& name, KestrunBuild* build, std::string* whyMissing,
               bool* cannotRunHere = nullptr);

// Whether the kernel can start the launcher (some kernels have no 32-bit
// support: the 32-bit Wine loader then fails with "Exec format error").
// Probed once per launcher path and test process; the reason when not.
bool LauncherStarts(const std::string& launcher, std::string* why);

// The Wine prefix the tests use (private to the build folder).
std::string WinePrefix();

}  // namespace kestrun::testing

// Resolves the build of a parameterised test or skips it with the reason.
#define KESTRUN_REQUIRE_BUILD(name, build)                                            \
  do {                                                                                \
    std::string why_;                                                                 \
    bool cannotRun_ = false;                                                          \
    if (!::kestrun::testing::FindBuild((name), &(build), &why_, &cannotRun_)) {       \
      if (std::getenv("KESTRUN_REQUIRE_WINDOWS") != nullptr && !cannotRun_ &&         \
          !::kestrun::testing::kSanitizerBuild)                                       \
        FAIL() << "required Windows build missing: " << why_;                         \
      GTEST_SKIP() << "Windows test skipped: " << why_;                               \
    }                                                                                 \
  } while (0)
