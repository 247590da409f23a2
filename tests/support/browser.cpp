#include "support/browser.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace kestrun::testing {
namespace {

constexpr int kWidth = 1300;
constexpr int kHeight = 1000;

std::uint32_t BigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

std::string FindBrowser(std::string* whyMissing) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "";
  while (!folders.empty()) {
    const std::size_t end = folders.find(':');
    const std::filesystem::path candidate = std::filesystem::path(folders.substr(0, end)) / "chromium";
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
    folders = end == std::string_view::npos ? std::string_view() : folders.substr(end + 1);
  }
  *whyMissing = "no chromium on PATH (Debian package chromium; .ci/run installs it)";
  return {};
}

BrowserView LoadInBrowser(const std::string& browser, const std::string& page, const TempDir& dir) {
  static int loads = 0;
  const std::string tag = std::to_string(++loads);
  const std::string profile = dir.File("browser-profile-" + tag);
  const std::string shot = dir.File("screenshot-" + tag + ".png");
  ProcessOptions options;
  options.timeout = std::chrono::milliseconds(120000);
  options.env.emplace_back("HOME", dir.path());
  BrowserView view;
  view.run = RunProcess({browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--user-data-dir=" + profile,
                         "--window-size=" + std::to_string(kWidth) + "," + std::to_string(kHeight),
                         "--screenshot=" + shot, "--dump-dom", "file://" + page},
                        options);
  view.dom = view.run.out;
  if (FileExists(shot)) view.screenshot = ReadFileBytes(shot);
  return view;
}

bool ShowsSomething(const std::string& png, const std::string& blank, std::string* why) {
  static const std::string kSignature = "\x89PNG\r\n\x1a\n";
  if (png.size() < 24 || png.compare(0, kSignature.size(), kSignature) != 0 || png.compare(12, 4, "IHDR") != 0) {
    *why = "not a PNG picture (" + std::to_string(png.size()) + " bytes)";
    return false;
  }
  if (BigEndian(png, 16) != kWidth || BigEndian(png, 20) != kHeight) {
    *why = "picture of " + std::to_string(BigEndian(png, 16)) + " x " + std::to_string(BigEndian(png, 20));
    return false;
  }
  if (png.size() < 3 * blank.size()) {
    *why = "as small as a blank page: " + std::to_string(png.size()) + " bytes, blank " +
           std::to_string(blank.size());
    return false;
  }
  return true;
}

}  // namespace kestrun::testing
