// Table sections the generator repeats: PAT, PMT, TDT, TOT and the data
// carousel's download data blocks. Each builder returns the whole section,
// CRC_32 included where the table has one.
#pragma once

#include <cstdint>
#include <vector>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {

std::vector<std::uint8_t> BuildPat(std::uint16_t transportStreamId,
                                   const std::vector<ProgramSpec>& programs);
std::vector<std::uint8_t> BuildPmt(const ProgramSpec& program);
std::vector<std::uint8_t> BuildTdt(const DateTime& time);
std::vector<std::uint8_t> BuildTot(const DateTime& time, int localOffsetMinutes);
// One DSM-CC DownloadDataBlock section carrying `dataBytes` bytes of module
// content.
std::vector<std::uint8_t> BuildCarouselBlock(std::uint16_t moduleId,
                                             std::uint32_t blockNumber,
                                             std::size_t dataBytes);

}  // namespace kestrun::tsgen
