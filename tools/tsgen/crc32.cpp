// CRC-32/MPEG-2 as carried at the end of PSI sections: polynomial
// 0x04C11DB7, register preset to all ones, most significant bit first,
// no reflection and no final inversion.
#include <array>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {
namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t reg = i << 24;
    for (int bit = 0; bit < 8; ++bit) {
      reg = (reg & 0x80000000u) != 0 ? (reg << 1) ^ 0x04C11DB7u : reg << 1;
    }
    table[i] = reg;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t Crc32Mpeg2(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t reg = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) {
    reg = (reg << 8) ^ kTable[((reg >> 24) ^ bytes[i]) & 0xFF];
  }
  return reg;
}

}  // namespace kestrun::tsgen
