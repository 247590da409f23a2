#include "support/kestrun_builds.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace kestrun::testing {
namespace {

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// The 32-bit Wine loader; KESTRUN_WINE32_LOADER names another one.
std::string Wine32Loader() {
  const char* configured = std::getenv("KESTRUN_WINE32_LOADER");
  if (configured != nullptr && *configured != '\0') return configured;
  return "/usr/lib/wine/wine";
}

// Starts `launcher --version` with its output discarded. Only a failure of
// the start itself counts: a loader that starts and then fails is a fault
// the tests are there to show.
bool ProbeLauncher(const std::string& launcher, std::string* why) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string version = "--version";
  char* argv[] = {const_cast<char*>(launcher.c_str()), version.data(), nullptr};
  pid_t child = 0;
  const int error = posix_spawn(&child, launcher.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    *why = "this machine cannot start " + launcher + ": " + std::strerror(error) +
           " (a kernel without 32-bit support)";
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

bool LauncherStarts(const std::string& launcher, std::string* why) {
  static std::mutex guard;
  static std::map<std::string, std::pair<bool, std::string>> probed;
  std::lock_guard lock(guard);
  auto found = probed.find(launcher);
  if (found == probed.end()) {
    std::string reason;
    const bool starts = ProbeLauncher(launcher, &reason);
    found = probed.emplace(launcher, std::make_pair(starts, reason)).first;
  }
  if (!found->second.first) *why = found->second.second;
  return found->second.first;
}

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

std::string KestrunBuild::MsvcTestDriver() const {
  if (!windows) return {};
  const std::string driver = std::filesystem::path(exe).parent_path().string() +
                             "/tools/msvc_bondriver/msvc_bondriver.dll";
  return Exists(driver) ? driver : std::string();
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
  // The native program shows the CP932 bytes as they are unless a test
  // asks for a locale of its own.
  const bool localeGiven = std::any_of(options.env.begin(), options.env.end(), [](const auto& entry) {
    return entry.first == "LC_ALL" || entry.first == "LC_CTYPE" || entry.first == "LANG";
  });
  if (!windows && !localeGiven) options.env.emplace_back("LC_ALL", "C");
  argv.push_back(exe);
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, options);
}

bool FindBuild(const std::string& name, KestrunBuild* build, std::string* whyMissing,
               bool* cannotRunHere) {
  build->name = name;
  if (name == "native") {
    build->exe = KESTRUN_BIN;
    return true;
  }
  build->windows = true;
  build->launcher = name == "win64" ? "/usr/lib/wine/wine64" : Wine32Loader();
  // Asked first: where the kernel cannot run the build, nothing else about
  // it matters.
  if (name == "win32" && Exists(build->launcher) && !LauncherStarts(build->launcher, whyMissing)) {
    if (cannotRunHere != nullptr) *cannotRunHere = true;
    return false;
  }
  if (kSanitizerBuild) {
    *whyMissing = name + " is tested by the plain build, not by a sanitizer build";
    return false;
  }
  build->exe = std::string(name == "win64" ? KESTRUN_WIN64_DIR : KESTRUN_WIN32_DIR) + "/Kestrun.exe";
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
