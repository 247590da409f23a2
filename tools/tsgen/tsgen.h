// Sample transport stream generator: writes MPEG-2 transport streams with
// the tables, clocks and faults the checker's tests, the demo and the
// benchmarks need, and a manifest of what a checker should find in them.
//
// Stream model. Packets are laid out at a constant mux rate (counted in
// 188-byte packets): packet slot n lies at stream time n * 1504 / muxRate
// seconds. Each slot carries, in this order of precedence, a pending PSI/SI
// packet (PAT, PMTs, TDT, TOT), a due PCR-only packet, the most overdue
// elementary-stream or data-carousel packet, or else a null packet
// (or nothing when null filling is off). Frames and carousel sections are
// spread evenly over their own duration, so every PID flows smoothly.
//
// Positions of injections. A packet's PID index is its 0-based position
// among the packets generated for that PID; its packet index is its
// 0-based position among all generated packets, null packets included.
// Both count packets as generated: omitted ones are counted, injected
// copies and inserted packets are not. An Injection names its place in one
// of three ways:
//   pid >= 0, rate == 0   the packet with PID index `index` of that PID;
//   pid <  0, rate == 0   the packet with packet index `index`;
//   rate > 0              each candidate packet with that probability, drawn
//                         from a generator seeded by Profile::seed (only
//                         packets of `pid` when pid >= 0).
// Section faults (PointerField, SplitSection) hit the first PAT, PMT, TDT or
// TOT section that starts at or after the place (with a rate: each such
// section); without a PID, SplitSection only hits PMT sections. Prefix47
// needs 192-byte packets and is ignored otherwise.
//
// Manifest text format (version 1). One record per line; the first word
// names the record, the other words are key=value pairs in the order below.
// Numbers are decimal unless written with 0x. Lines starting with '#' are
// comments.
//   tsgen-manifest 1
//   stream packet-size=188 packets=N bytes=N drops=N
//       packets: 188-byte packets written; drops: the drop total a checker
//       returns (drops on PIDs that are not PCR PIDs).
//   inject kind=K pid=0xPPPP index=N packet=N amount=N offset=0xO|none
//       one line per injection that took effect, in the order applied.
//       K: drop, duplicate, tei, garbage, pointer, split, adaptation-only,
//       prefix47, scramble. index/packet: the PID index and packet index (above).
//       amount: packets omitted (drop), bytes (garbage, pointer), else 1.
//       offset: byte offset in the stream of the packet after the gap
//       (drop; none when no packet of the PID follows), of the inserted
//       copy or packet (duplicate, adaptation-only), of the first inserted
//       byte (garbage, prefix47), else of the packet concerned.
//   pid pid=0xPPPP checked=N drops=N pcr=0|1 last-cc=0xC tei=N scrambled=N
//       one line per PID in order of first appearance: packets that went
//       through the continuity check, drops counted, whether a PMT named the
//       PID as PCR_PID (its checking stopped there), last CC, packets framed
//       with transport_error_indicator set, undamaged packets framed with
//       transport_scrambling_control not 0. A packet with
//       transport_error_indicator set is not counted, and the next packet of
//       its PID is counted without a check (no drop can be found on it).
//   damaged pid=0xPPPP tei=N
//       a PID all of whose framed packets carried transport_error_indicator.
//   program number=N pmt=0xPPPP pcr=0xPPPP
//   es program=N pid=0xPPPP type=0xTT
//       the programs and their elementary streams as the PAT and PMTs carry
//       them.
//   drop pid=0xPPPP n=N offset=0xO time=H:MM:SS.mmm ticks=N line=0|1
//        tot-date=YYYY/MM/DD|- tot-time=HH:MM:SS|-
//       one line per drop a checker counts (on one line in the file): the
//       PID's drop number, the byte offset of the packet's sync byte, the
//       play time of the clock a checker reports (and its 90 kHz ticks),
//       whether a drop line is printed (a PCR PID is known by then), and
//       the last TDT/TOT time received before the packet.
//   end
// The checker's view is reproduced faithfully: packets are framed as its
// reader finds them (sync byte confirmed 188 or 192 bytes further on, so
// garbage after a packet costs that packet), PAT and PMT sections are
// collected with their CRC before a PCR PID is exempted, and the play time
// follows the PCR clock (PTS and DTS as fall-backs) across the 33-bit wrap.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::tsgen {

inline constexpr std::size_t kTsPacketSize = 188;
inline constexpr std::uint16_t kPatPid = 0x0000;
inline constexpr std::uint16_t kTimePid = 0x0014;
inline constexpr std::uint16_t kNullPid = 0x1FFF;
inline constexpr std::uint64_t kClockModulus = 1ULL << 33;  // 90 kHz counter
inline constexpr std::uint32_t kTicksPerSecond = 90000;

enum class StreamKind : std::uint8_t { Video, Audio, Data };

struct ElementaryStream {
  std::uint16_t pid = 0x0111;
  std::uint8_t streamType = 0x02;
  StreamKind kind = StreamKind::Video;
  std::uint32_t bitRate = 5'000'000;  // payload bits per second
};

struct ProgramSpec {
  std::uint16_t programNumber = 1;
  std::uint16_t pmtPid = 0x01F0;
  // A PID of one of the video or audio streams (PCR in its adaptation
  // fields), a PID of its own (adaptation-only PCR packets), or 0x1FFF for
  // a program without PCR.
  std::uint16_t pcrPid = 0x01FF;
  std::vector<ElementaryStream> streams;
};

// A calendar date and time as carried in UTC_time.
struct DateTime {
  int year = 2025;
  int month = 4;
  int day = 1;
  int hour = 12;
  int minute = 0;
  int second = 0;
  bool operator==(const DateTime&) const = default;
};

enum class InjectKind : std::uint8_t {
  Drop,            // packet omitted: the receiver sees a CC gap
  Duplicate,       // packet written twice in a row
  TransportError,  // transport_error_indicator set
  Garbage,         // bytes (never 0x47) inserted after the packet
  PointerField,    // section preceded by pointer_field N and N filler bytes
  SplitSection,    // one-packet section spread over two packets
  AdaptationOnly,  // adaptation-only packet (CC not advanced) before it
  Prefix47,        // first byte of the 192-byte prefix forced to 0x47
  Scrambled,       // transport_scrambling_control set to '10'
};

struct Injection {
  InjectKind kind = InjectKind::Drop;
  int pid = -1;             // < 0: index counts all packets
  std::uint64_t index = 0;  // PID index or packet index, see above
  double rate = 0.0;        // > 0: random, probability per candidate
  std::uint32_t amount = 1; // drop: packets in a row; garbage, pointer: bytes
};

struct Profile {
  std::vector<ProgramSpec> programs;
  std::uint16_t transportStreamId = 1;
  std::uint32_t muxRate = 8'000'000;  // bits per second
  double seconds = 10.0;              // stream time to write
  std::uint64_t packetCount = 0;      // > 0: stop after this many packets
  std::uint64_t firstPcr = 900'000;   // PCR base at stream time 0 (90 kHz)
  std::uint32_t psiIntervalMs = 100;  // PAT and PMT repetition
  std::uint32_t pcrIntervalMs = 40;
  bool tdt = true;
  bool tot = true;
  std::uint32_t timeIntervalSeconds = 5;  // TDT/TOT repetition
  DateTime startTime;                     // UTC_time of the first TDT/TOT
  int localOffsetMinutes = 540;           // TOT local_time_offset_descriptor
  bool nullFill = true;                   // null packets keep the rate
  std::uint32_t packetSize = 188;         // 188, or 192 with a 4-byte prefix
  std::vector<Injection> injections;
  std::uint64_t seed = 1;
};

// One program: MPEG-2 video 0x0111, AAC audio 0x0112, PCR on its own PID
// 0x01FF, PMT 0x01F0; 8 Mbit/s for 10 s.
Profile DefaultProfile();
// The default stream cut to about 3 s with TDT/TOT every second and two
// drops on the video PID after the first PMT.
Profile DemoProfile();
// 30 PIDs (H.264 video, four audio, PCR on its own PID, 20 data-carousel
// PIDs), 32 Mbit/s for 60 s, PAT/PMT every 100 ms, TOT (no TDT) every 5 s,
// 0.01 % random packet loss on all PIDs.
Profile BenchmarkProfile();

// Adds data-carousel PIDs to the first program until the stream carries
// `pidCount` PIDs (PAT, TDT/TOT and null PIDs included). Returns false
// when no free PID was left.
bool AddCarouselPids(Profile& profile, int pidCount);
// The distinct PIDs the profile's stream carries, in ascending order.
std::vector<std::uint16_t> ProfilePids(const Profile& profile);

// Empty when the profile can be generated; otherwise what is wrong.
std::string CheckProfile(const Profile& profile);

struct InjectionRecord {
  InjectKind kind = InjectKind::Drop;
  std::uint16_t pid = 0;
  std::uint64_t pidIndex = 0;
  std::uint64_t packetIndex = 0;
  std::uint32_t amount = 1;
  std::int64_t offset = -1;  // -1: none
  bool operator==(const InjectionRecord&) const = default;
};

struct PidExpectation {
  std::uint16_t pid = 0;
  std::uint64_t checked = 0;
  std::uint64_t drops = 0;
  bool pcr = false;
  std::uint8_t lastCc = 0;
  std::uint64_t tei = 0;
  std::uint64_t scrambled = 0;
  bool operator==(const PidExpectation&) const = default;
};

struct DamagedExpectation {
  std::uint16_t pid = 0;
  std::uint64_t tei = 0;
  bool operator==(const DamagedExpectation&) const = default;
};

struct ProgramExpectation {
  std::uint16_t number = 0;
  std::uint16_t pmtPid = 0;
  std::uint16_t pcrPid = 0;
  bool operator==(const ProgramExpectation&) const = default;
};

struct StreamExpectation {
  std::uint16_t program = 0;
  std::uint16_t pid = 0;
  std::uint8_t streamType = 0;
  bool operator==(const StreamExpectation&) const = default;
};

struct DropExpectation {
  std::uint16_t pid = 0;
  std::uint64_t number = 0;  // the PID's drop count including this one
  std::uint64_t offset = 0;  // sync byte of the packet after the gap
  std::uint64_t ticks = 0;   // elapsed 90 kHz ticks of the reported clock
  std::string time;          // "H:MM:SS.mmm"
  bool line = false;         // a drop line is printed for it
  std::optional<DateTime> tot;
  bool operator==(const DropExpectation&) const = default;
};

struct Manifest {
  std::uint32_t packetSize = 188;
  std::uint64_t packets = 0;
  std::uint64_t bytes = 0;
  std::uint64_t totalDrops = 0;
  std::vector<InjectionRecord> injections;
  std::vector<PidExpectation> pids;
  std::vector<DamagedExpectation> damaged;
  std::vector<ProgramExpectation> programs;
  std::vector<StreamExpectation> streams;
  std::vector<DropExpectation> drops;
  bool operator==(const Manifest&) const = default;
};

std::string FormatManifest(const Manifest& manifest);
std::optional<Manifest> ParseManifest(std::string_view text);
std::string_view InjectKindName(InjectKind kind);
std::optional<InjectKind> InjectKindFromName(std::string_view name);

// The whole stream in memory; empty when CheckProfile finds a fault. The
// manifest is filled when given.
std::vector<std::uint8_t> Generate(const Profile& profile, Manifest* manifest);

class Generator;

// Writes a stream of any size piece by piece.
class StreamWriter {
 public:
  // `withManifest` false skips the checker model (faster for huge output).
  explicit StreamWriter(const Profile& profile, bool withManifest = true);
  ~StreamWriter();
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  // Empty when the profile is usable.
  const std::string& error() const { return error_; }
  // Appends at least `chunkBytes` bytes of stream to `out` (less at the
  // end); false once the stream is complete and nothing was appended.
  bool Next(std::vector<std::uint8_t>& out, std::size_t chunkBytes);
  // The manifest; complete once Next has returned false.
  Manifest TakeManifest();

 private:
  std::string error_;
  std::unique_ptr<Generator> generator_;
};

// Building blocks, also used by the tests.
std::uint32_t Crc32Mpeg2(const std::uint8_t* bytes, std::size_t count);
// MJD (16 bits) followed by hour, minute, second in BCD.
std::array<std::uint8_t, 5> EncodeUtcTime(const DateTime& time);
std::optional<DateTime> DecodeUtcTime(const std::uint8_t* bytes);
DateTime AddSeconds(const DateTime& time, std::int64_t seconds);

}  // namespace kestrun::tsgen
