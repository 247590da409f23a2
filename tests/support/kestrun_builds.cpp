#include "support/kestrun_builds.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace kestrun::testing {
namespace {

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

}  // namespace

std::string WinePrefix() {
  const char* configured = std::getenv("KESTRUN_WINEPREFIX");
  if (configured != nullptr && *configured != '\0') return configured;
  return std::filesystem::path(KESTRUN_WIN64_DIR).parent_path().string() + "/wineprefix";
}

std::string KestrunBuild::Path(const std::string& hostPath) const {
  if (!windows || hostPath.empty() || hostPath[0] != '/') return hostPath;
  std::string path = "Z:" + hostPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string KestrunBuild::TestDriver() const {
  if (!windows) return TEST_BONDRIVER;
  const std::string dir = std::filesystem::path(exe).parent_path().string();
  for (const char* name : {"/tools/test_bondriver/test_bondriver.dll",
                           "/tools/test_bondriver/libtest_bondriver.dll"}) {
    if (Exists(dir + name)) return dir + name;
  }
  return {};
}

ProcessResult KestrunBuild::Run(const std::vector<std::string>& args, ProcessOptions options) const {
  std::vector<std::string> argv;
  if (windows) {
    argv.push_back(launcher);
    options.env.emplace_back("WINEPREFIX", WinePrefix());
    options.env.emplace_back("WINEDEBUG", "-all");
    options.env.emplace_back("WINEDLLOVERRIDES", "mscoree,mshtml=");
  }
  // Every exit deletes leftover temporary files: keep a native run's hands
  // off the machine's real temporary folder.
  const bool tmpdirGiven = std::any_of(options.env.begin(), options.env.end(),
                                       [](const auto& entry) { return entry.first == "TMPDIR"; });
  if (!windows && !tmpdirGiven && !options.workingDirectory.empty()) {
    options.env.emplace_back("TMPDIR", options.workingDirectory);
  }
  argv.push_back(exe);
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, options);
}

bool FindBuild(const std::string& name, KestrunBuild* build, std::string* whyMissing) {
  build->name = name;
  if (name == "native") {
    build->exe = KESTRUN_BIN;
    return true;
  }
  build->windows = true;
  if (kSanitizerBuild) {
    *whyMissing = name + " is tested by the plain build, not by a sanitizer build";
    return false;
  }
  build->exe = std::string(name == "win64" ? KESTRUN_WIN64_DIR : KESTRUN_WIN32_DIR) + "/Kestrun.exe";
  build->launcher = name == "win64" ? "/usr/lib/wine/wine64" : "/usr/lib/wine/wine";
  if (!Exists(build->exe)) {
    *whyMissing = name + " build not found at " + build->exe + " (cross compiler missing?)";
    return false;
  }
  if (!Exists(build->launcher)) {
    *whyMissing = name + " needs Wine at " + build->launcher;
    return false;
  }
  return true;
}

}  // namespace kestrun::testing
