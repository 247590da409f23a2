#include "support/system_time.h"
#include "ts/civil_date.h"
#include "ts/ts_context.h"

namespace kestrun {
namespace {

constexpr std::size_t kUtcTimeOffset = 3;  // after table_id and section_length
constexpr std::size_t kUtcTimeSize = 5;
constexpr std::int64_t kMjdOf1970 = 40587;
// The 16-bit MJD counter ran out on 2038-04-22 (MJD 65535). Values below
// the first day that EN 300 468 Annex C covers (1900-03-01) are taken as
// having wrapped past that date.
constexpr std::uint32_t kFirstAnnexCMjd = 15079;
constexpr std::uint32_t kMjdCycle = 0x10000;

std::uint16_t FromBcd(std::uint8_t value) {
  return static_cast<std::uint16_t>((value >> 4) * 10 + (value & 0x0F) % 10);
}

bool IsValidTimeOfDay(const SystemTime& time) {
  return time.hour <= 23 && time.minute <= 59 && time.second <= 59;
}

}  // namespace

bool MjdBcdToLocalTime(const std::uint8_t* bytes, SystemTime& out) {
  // All-ones hour, minute and second mark an undefined time. MJD 0xFFFF
  // alone is a real day (2038-04-22) that broadcasts do carry.
  if (bytes[2] == 0xFF && bytes[3] == 0xFF && bytes[4] == 0xFF) return false;
  std::uint32_t mjd = static_cast<std::uint32_t>(bytes[0] << 8 | bytes[1]);
  if (mjd < kFirstAnnexCMjd) mjd += kMjdCycle;
  const CivilDate date = CivilFromDays(static_cast<std::int64_t>(mjd) - kMjdOf1970);
  out = SystemTime{};
  out.year = static_cast<std::uint16_t>(date.year);
  out.month = static_cast<std::uint16_t>(date.month);
  out.day = static_cast<std::uint16_t>(date.day);
  out.hour = FromBcd(bytes[2]);
  out.minute = FromBcd(bytes[3]);
  out.second = FromBcd(bytes[4]);
  return true;
}

// The time is read from whichever packet of PID 0x14 carries a TDT or TOT
// table_id at its section start; the section is neither collected nor
// CRC-checked, and no local_time_offset is applied: the broadcast time is
// taken as the machine's local time.
bool ProcessTot(const std::uint8_t* packet, TsContext& context, PidState& state) {
  const PacketView view(packet);
  const std::size_t start = state.headerLength;
  const std::uint8_t tableId = view.Byte(start);
  if (tableId != kTotTableId && tableId != kTdtTableId) return false;
  if (!PacketView::Fits(start + kUtcTimeOffset, kUtcTimeSize)) return false;

  SystemTime local;
  if (!MjdBcdToLocalTime(packet + start + kUtcTimeOffset, local)) return false;
  if (!IsValidTimeOfDay(local)) return false;
  std::int64_t seconds = 0;
  if (context.localTime.toEpoch == nullptr || !context.localTime.toEpoch(local, &seconds)) {
    return false;
  }
  context.totLocalTime = local;
  context.totSeconds = seconds;
  if (context.totSeconds < 1) return false;
  PredictWrapAround(context);
  return true;
}

}  // namespace kestrun
