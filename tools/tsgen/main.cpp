// tsgen: writes a sample transport stream (and its manifest) to a file or
// to standard output.
#include <cstdio>
#include <string>
#include <vector>

#include "tsgen/options.h"
#include "tsgen/tsgen.h"

namespace {

constexpr std::size_t kChunkBytes = std::size_t{8} << 20;

int Fail(const std::string& message) {
  std::fprintf(stderr, "tsgen: %s\n", message.c_str());
  return 2;
}

bool WriteAll(std::FILE* file, const std::vector<std::uint8_t>& bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrun::tsgen;
  std::string error;
  const std::optional<CommandLine> line =
      ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!line) return Fail(error + " (--help lists the options)");
  if (line->help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (line->output.empty()) return Fail("no output given (-o FILE, or -o - for standard output)");

  StreamWriter writer(line->profile, !line->manifestPath.empty());
  if (!writer.error().empty()) return Fail(writer.error());
  const bool toStdout = line->output == "-";
  std::FILE* file = toStdout ? stdout : std::fopen(line->output.c_str(), "wb");
  if (file == nullptr) return Fail("cannot create " + line->output);

  std::vector<std::uint8_t> chunk;
  chunk.reserve(kChunkBytes + 4096);
  bool ok = true;
  while (ok) {
    chunk.clear();
    if (!writer.Next(chunk, kChunkBytes)) break;
    ok = WriteAll(file, chunk);
  }
  ok = (toStdout ? std::fflush(file) : std::fclose(file)) == 0 && ok;
  if (!ok) return Fail("cannot write " + line->output);

  const Manifest manifest = writer.TakeManifest();
  if (!line->manifestPath.empty()) {
    std::FILE* out = std::fopen(line->manifestPath.c_str(), "wb");
    const std::string text = FormatManifest(manifest);
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0) {
      return Fail("cannot write " + line->manifestPath);
    }
  }
  if (!line->quiet) {
    std::fprintf(stderr, "tsgen: %llu packets, %llu bytes%s%s\n",
                 static_cast<unsigned long long>(manifest.packets),
                 static_cast<unsigned long long>(manifest.bytes), toStdout ? "" : " to ",
                 toStdout ? "" : line->output.c_str());
  }
  return 0;
}
