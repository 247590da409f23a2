#include "support/ts_probe.h"

#include <array>
#include <cstddef>

#include "platform/platform.h"

namespace kestrun {
namespace {

constexpr std::size_t kProbeSize = 384;
constexpr std::uint8_t kSyncByte = 0x47;
constexpr std::size_t kPlainPacket = 188;
constexpr std::size_t kPrefixedPacket = 192;

using ProbeBlock = std::array<std::uint8_t, kProbeSize>;

// Reads until the block is full or the file ends; false when a read fails.
bool ReadHead(platform::FileHandle file, ProbeBlock& block, std::size_t& count) {
  count = 0;
  while (count < block.size()) {
    const platform::ReadResult result = platform::ReadFile(
        file, block.data() + count, static_cast<std::uint32_t>(block.size() - count));
    if (!result.ok) return false;
    if (result.count == 0) break;
    count += result.count;
  }
  return true;
}

// The first sync byte confirmed one packet further on decides; at one
// position the plain packet size is tried first.
std::uint8_t PacketSizeOf(const ProbeBlock& block, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (block[i] != kSyncByte) continue;
    if (i + kPlainPacket < count && block[i + kPlainPacket] == kSyncByte) return kPlainPacket;
    if (i + kPrefixedPacket < count && block[i + kPrefixedPacket] == kSyncByte) {
      return kPrefixedPacket;
    }
  }
  return 0;
}

std::uint8_t ProbeOpenFile(platform::FileHandle file) {
  if (platform::FileSizeOf(file) <= static_cast<std::int64_t>(kProbeSize)) return 0;
  ProbeBlock block{};
  std::size_t count = 0;
  if (!ReadHead(file, block, count)) return 0;
  return PacketSizeOf(block, count);
}

}  // namespace

std::uint8_t ProbeTsFile(const std::string& path) {
  if (path.empty() || !platform::PathExists(path)) return 0;
  if (platform::IsDirectory(path) || platform::IsFifoPath(path)) return 0;
  platform::FileHandle file = platform::OpenFileForRead(path);
  if (!file.valid()) return 0;
  const std::uint8_t packetSize = ProbeOpenFile(file);
  platform::CloseFile(file);
  return packetSize;
}

}  // namespace kestrun
