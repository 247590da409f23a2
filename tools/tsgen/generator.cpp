#include "tsgen/generator.h"

#include <algorithm>
#include <cmath>

#include "tsgen/sections.h"

namespace kestrun::tsgen {
namespace {

constexpr std::uint64_t kHz27 = 27'000'000;
constexpr std::uint64_t kSlotBits = 188 * 8;
constexpr std::uint64_t kPresentationDelay = 45'000;  // 0.5 s from arrival to display
constexpr std::uint64_t kVideoFrameTicks = 3003;      // 29.97 frames per second
constexpr std::uint64_t kAudioFrameTicks = 1920;      // 1024 samples at 48 kHz
constexpr std::size_t kCarouselBlockBytes = 1024;
constexpr std::uint32_t kMaxPointerFiller = 150;

std::uint64_t Ms27(std::uint32_t ms) { return static_cast<std::uint64_t>(ms) * (kHz27 / 1000); }

}  // namespace

Generator::Generator(const Profile& profile, bool withManifest)
    : profile_(profile), plan_(profile.injections, profile.seed), pids_(8192) {
  if (withManifest) model_.emplace();
  end27_ = static_cast<std::uint64_t>(std::llround(std::max(profile.seconds, 0.0) * kHz27));
  std::uint8_t videoIds = 0;
  std::uint8_t audioIds = 0;
  for (const ProgramSpec& program : profile_.programs) {
    ProgramClock clock;
    clock.pcrPid = program.pcrPid;
    for (const ElementaryStream& es : program.streams) {
      Stream stream;
      stream.es = es;
      switch (es.kind) {
        case StreamKind::Video:
          stream.streamId = static_cast<std::uint8_t>(0xE0 | (videoIds++ & 0x0F));
          stream.unitTicks = kVideoFrameTicks;
          break;
        case StreamKind::Audio:
          stream.streamId = static_cast<std::uint8_t>(0xC0 | (audioIds++ & 0x1F));
          stream.unitTicks = kAudioFrameTicks;
          break;
        case StreamKind::Data: {
          const std::uint64_t sectionBits = (kCarouselBlockBytes + 28) * 8;
          stream.unitTicks = std::max<std::uint64_t>(1, sectionBits * kTicksPerSecond / es.bitRate);
          break;
        }
      }
      if (es.pid == program.pcrPid && es.kind != StreamKind::Data) {
        stream.carriesPcr = true;
        clock.stream = static_cast<int>(streams_.size());
      }
      streams_.push_back(std::move(stream));
    }
    clocks_.push_back(clock);
  }
}

bool Generator::Done() const {
  if (profile_.packetCount > 0) return written_ >= profile_.packetCount;
  return SlotTime(slot_) >= end27_;
}

// Slot n starts n * 1504 bits into the stream at the mux rate.
std::uint64_t Generator::SlotTime(std::uint64_t slot) const {
  const std::uint64_t bits = slot * kSlotBits;
  const std::uint64_t rate = profile_.muxRate;
  return bits / rate * kHz27 + bits % rate * kHz27 / rate;
}

std::uint64_t Generator::Pcr27(std::uint64_t t27) const {
  return (profile_.firstPcr * 300 + t27) % (kClockModulus * 300);
}

bool Generator::Next(std::vector<std::uint8_t>& out, std::size_t chunkBytes) {
  if (finished_) return false;
  const std::size_t start = out.size();
  while (out.size() - start < chunkBytes) {
    if (Done()) {
      finished_ = true;
      break;
    }
    Step(out);
  }
  if (model_) {
    model_->Feed(out.data() + start, out.size() - start);
    if (finished_) model_->Finish();
  }
  return out.size() > start || !finished_;
}

Manifest Generator::TakeManifest() {
  Manifest manifest;
  manifest.packetSize = profile_.packetSize;
  manifest.packets = written_;
  manifest.bytes = bytes_;
  manifest.injections = records_;
  for (const ProgramSpec& program : profile_.programs) {
    manifest.programs.push_back({program.programNumber, program.pmtPid, program.pcrPid});
    for (const ElementaryStream& es : program.streams) {
      manifest.streams.push_back({program.programNumber, es.pid, es.streamType});
    }
  }
  if (model_) model_->Report(manifest);
  return manifest;
}

void Generator::Step(std::vector<std::uint8_t>& out) {
  const std::uint64_t t27 = SlotTime(slot_++);
  Schedule(t27);
  if (!tables_.empty()) {
    TablePacket table = tables_.front();
    tables_.pop_front();
    --pids_[PidOf(table.bytes.data())].queued;
    Emit(table.bytes, t27, table.records, out);
    return;
  }
  for (ProgramClock& clock : clocks_) {
    if (clock.pending && clock.stream < 0) {
      clock.pending = false;
      PacketBytes packet;
      LayOutPacket(packet.data(), {clock.pcrPid, false, 0}, Pcr27(t27), nullptr, 0);
      Emit(packet, t27, {-1, -1}, out);
      return;
    }
  }
  const int stream = PickStream(t27);
  if (stream >= 0) {
    EmitStream(streams_[static_cast<std::size_t>(stream)], t27, out);
    return;
  }
  if (profile_.nullFill) {
    PacketBytes packet = NullPacket(0);
    Emit(packet, t27, {-1, -1}, out);
  }
}

void Generator::Schedule(std::uint64_t t27) {
  if (t27 >= psiDue27_) {
    psiDue27_ += Ms27(profile_.psiIntervalMs);
    QueueSection(kPatPid, BuildPat(profile_.transportStreamId, profile_.programs), false);
    for (const ProgramSpec& program : profile_.programs) {
      QueueSection(program.pmtPid, BuildPmt(program), true);
    }
  }
  if ((profile_.tdt || profile_.tot) && t27 >= timeDue27_) {
    timeDue27_ += static_cast<std::uint64_t>(profile_.timeIntervalSeconds) * kHz27;
    const DateTime now = AddSeconds(profile_.startTime, static_cast<std::int64_t>(t27 / kHz27));
    if (profile_.tdt) QueueSection(kTimePid, BuildTdt(now), false);
    if (profile_.tot) QueueSection(kTimePid, BuildTot(now, profile_.localOffsetMinutes), false);
  }
  for (ProgramClock& clock : clocks_) {
    if (clock.pcrPid == kNullPid || t27 < clock.due27) continue;
    clock.due27 += Ms27(profile_.pcrIntervalMs);
    if (clock.stream >= 0) {
      streams_[static_cast<std::size_t>(clock.stream)].pcrPending = true;
    } else {
      clock.pending = true;
    }
  }
  for (Stream& stream : streams_) {
    while (stream.unitIndex * stream.unitTicks * 300 <= t27) MakeUnit(stream);
  }
}

void Generator::QueueSection(std::uint16_t pid, const std::vector<std::uint8_t>& section, bool isPmt) {
  PidOut& out = pids_[pid];
  const std::uint64_t pidIndex = out.generated + out.queued;
  const std::uint64_t packetIndex = generated_ + tables_.size();
  std::uint32_t filler = 0;
  std::uint32_t amount = 0;
  RecordSlots records{-1, -1};
  if (plan_.Hit(InjectKind::PointerField, pid, pidIndex, packetIndex, amount)) {
    filler = std::min(amount, kMaxPointerFiller);
    records[0] = AddRecord(InjectKind::PointerField, pid, pidIndex, packetIndex, filler, -1);
  }
  const bool split = plan_.Hit(InjectKind::SplitSection, pid, pidIndex, packetIndex, amount, isPmt);
  if (split) records[1] = AddRecord(InjectKind::SplitSection, pid, pidIndex, packetIndex, 1, -1);
  bool first = true;
  for (const PacketBytes& packet : PacketizeSection(pid, section, filler, split)) {
    tables_.push_back({packet, first ? records : RecordSlots{-1, -1}});
    ++out.queued;
    first = false;
  }
}

void Generator::MakeUnit(Stream& stream) {
  const std::uint64_t k = stream.unitIndex++;
  Unit unit;
  unit.start27 = k * stream.unitTicks * 300;
  std::size_t packets = 1;
  if (stream.es.kind == StreamKind::Data) {
    unit.packets = PacketizeSection(
        stream.es.pid,
        BuildCarouselBlock(stream.es.pid, static_cast<std::uint32_t>(k), kCarouselBlockBytes), 0,
        false);
    packets = unit.packets.size();
  } else {
    const std::uint64_t perUnit = static_cast<std::uint64_t>(stream.es.bitRate) * stream.unitTicks;
    const std::uint64_t denominator = 8ULL * kTicksPerSecond;
    const std::size_t bytes =
        static_cast<std::size_t>((k + 1) * perUnit / denominator - k * perUnit / denominator);
    const std::uint64_t pts = (profile_.firstPcr + kPresentationDelay + k * stream.unitTicks) % kClockModulus;
    std::optional<std::uint64_t> dts;
    if (stream.es.kind == StreamKind::Video) {
      dts = (pts + kClockModulus - stream.unitTicks) % kClockModulus;
    }
    unit.pes = BuildPes(stream.streamId, bytes, pts, dts, k + stream.es.pid * 131ULL);
    packets = (unit.pes.size() + 183) / 184;
  }
  unit.step27 = stream.unitTicks * 300 / std::max<std::size_t>(packets, 1);
  stream.units.push_back(std::move(unit));
}

int Generator::PickStream(std::uint64_t t27) {
  int best = -1;
  std::uint64_t bestDue = 0;
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    Stream& stream = streams_[i];
    while (!stream.units.empty() && stream.units.front().Done()) stream.units.pop_front();
    if (stream.units.empty()) continue;
    const std::uint64_t due = stream.units.front().Due();
    if (due <= t27 && (best < 0 || due < bestDue)) {
      best = static_cast<int>(i);
      bestDue = due;
    }
  }
  return best;
}

void Generator::EmitStream(Stream& stream, std::uint64_t t27, std::vector<std::uint8_t>& out) {
  Unit& unit = stream.units.front();
  PacketBytes packet;
  if (!unit.packets.empty()) {
    packet = unit.packets[unit.next++];
  } else {
    std::optional<std::uint64_t> pcr;
    if (stream.carriesPcr && stream.pcrPending) {
      pcr = Pcr27(t27);
      stream.pcrPending = false;
    }
    unit.pos += LayOutPacket(packet.data(), {stream.es.pid, unit.pos == 0, 0}, pcr,
                             unit.pes.data() + unit.pos, unit.pes.size() - unit.pos);
  }
  ++unit.emitted;
  if (unit.Done()) stream.units.pop_front();
  Emit(packet, t27, {-1, -1}, out);
}

// Gives the packet its continuity counter and applies the packet faults.
// The counter advances only on packets with payload, so an adaptation-only
// packet repeats the counter of the packet before it.
void Generator::Emit(PacketBytes& packet, std::uint64_t t27, RecordSlots records,
                     std::vector<std::uint8_t>& out) {
  const std::uint16_t pid = PidOf(packet.data());
  PidOut& state = pids_[pid];
  const bool payload = HasPayload(packet.data());
  const std::uint8_t previousCc = static_cast<std::uint8_t>((state.cc - 1) & 0x0F);
  SetCc(packet.data(), payload ? state.cc : previousCc);
  if (payload) state.cc = static_cast<std::uint8_t>((state.cc + 1) & 0x0F);
  const std::uint64_t pidIndex = state.generated++;
  const std::uint64_t packetIndex = generated_++;
  std::uint32_t amount = 0;

  if (plan_.Hit(InjectKind::AdaptationOnly, pid, pidIndex, packetIndex, amount)) {
    PacketBytes extra;
    LayOutPacket(extra.data(), {pid, false, previousCc}, std::nullopt, nullptr, 0);
    AddRecord(InjectKind::AdaptationOnly, pid, pidIndex, packetIndex, 1, Write(extra, t27, false, out));
  }
  if (state.dropRun > 0) {
    --state.dropRun;
    return;
  }
  if (plan_.Hit(InjectKind::Drop, pid, pidIndex, packetIndex, amount)) {
    state.dropRun = std::max<std::uint32_t>(amount, 1) - 1;
    state.gapRecord = AddRecord(InjectKind::Drop, pid, pidIndex, packetIndex, state.dropRun + 1, -1);
    return;
  }
  int teiRecord = -1;
  if (plan_.Hit(InjectKind::TransportError, pid, pidIndex, packetIndex, amount)) {
    packet[1] |= 0x80;
    teiRecord = AddRecord(InjectKind::TransportError, pid, pidIndex, packetIndex, 1, -1);
  }
  int scrambleRecord = -1;
  if (plan_.Hit(InjectKind::Scrambled, pid, pidIndex, packetIndex, amount)) {
    packet[3] = static_cast<std::uint8_t>((packet[3] & 0x3F) | 0x80);
    scrambleRecord = AddRecord(InjectKind::Scrambled, pid, pidIndex, packetIndex, 1, -1);
  }
  const bool prefix47 = profile_.packetSize == 192 &&
                        plan_.Hit(InjectKind::Prefix47, pid, pidIndex, packetIndex, amount);
  const std::int64_t prefixAt = static_cast<std::int64_t>(bytes_);
  const std::int64_t at = Write(packet, t27, prefix47, out);
  if (prefix47) AddRecord(InjectKind::Prefix47, pid, pidIndex, packetIndex, 1, prefixAt);
  for (int index : {records[0], records[1], teiRecord, scrambleRecord, state.gapRecord}) {
    if (index >= 0) records_[static_cast<std::size_t>(index)].offset = at;
  }
  state.gapRecord = -1;
  if (plan_.Hit(InjectKind::Duplicate, pid, pidIndex, packetIndex, amount)) {
    AddRecord(InjectKind::Duplicate, pid, pidIndex, packetIndex, 1, Write(packet, t27, false, out));
  }
  if (plan_.Hit(InjectKind::Garbage, pid, pidIndex, packetIndex, amount)) {
    AddRecord(InjectKind::Garbage, pid, pidIndex, packetIndex, amount, static_cast<std::int64_t>(bytes_));
    WriteGarbage(amount, out);
  }
}

// Returns the offset of the packet's sync byte. A 192-byte packet is
// preceded by its arrival time: 2 copy-permission bits (0) and the 30 low
// bits of the 27 MHz slot time.
std::int64_t Generator::Write(const PacketBytes& packet, std::uint64_t t27, bool prefix47,
                              std::vector<std::uint8_t>& out) {
  if (profile_.packetSize == 192) {
    const std::uint32_t arrival = static_cast<std::uint32_t>(t27 & 0x3FFFFFFF);
    out.push_back(prefix47 ? 0x47 : static_cast<std::uint8_t>(arrival >> 24));
    out.push_back(static_cast<std::uint8_t>(arrival >> 16));
    out.push_back(static_cast<std::uint8_t>(arrival >> 8));
    out.push_back(static_cast<std::uint8_t>(arrival));
    bytes_ += 4;
  }
  const std::int64_t at = static_cast<std::int64_t>(bytes_);
  out.insert(out.end(), packet.begin(), packet.end());
  bytes_ += packet.size();
  ++written_;
  return at;
}

void Generator::WriteGarbage(std::uint32_t count, std::vector<std::uint8_t>& out) {
  for (std::uint32_t i = 0; i < count; ++i) {
    garbageSeed_ = garbageSeed_ * 6364136223846793005ULL + 1442695040888963407ULL;
    const std::uint8_t b = static_cast<std::uint8_t>(garbageSeed_ >> 56);
    out.push_back(b == 0x47 ? 0x00 : b);
  }
  bytes_ += count;
}

int Generator::AddRecord(InjectKind kind, std::uint16_t pid, std::uint64_t pidIndex,
                         std::uint64_t packetIndex, std::uint32_t amount, std::int64_t offset) {
  records_.push_back({kind, pid, pidIndex, packetIndex, amount, offset});
  return static_cast<int>(records_.size()) - 1;
}

StreamWriter::StreamWriter(const Profile& profile, bool withManifest)
    : error_(CheckProfile(profile)) {
  if (error_.empty()) generator_ = std::make_unique<Generator>(profile, withManifest);
}

StreamWriter::~StreamWriter() = default;

bool StreamWriter::Next(std::vector<std::uint8_t>& out, std::size_t chunkBytes) {
  return generator_ != nullptr && generator_->Next(out, chunkBytes);
}

Manifest StreamWriter::TakeManifest() {
  return generator_ != nullptr ? generator_->TakeManifest() : Manifest{};
}

std::vector<std::uint8_t> Generate(const Profile& profile, Manifest* manifest) {
  StreamWriter writer(profile, manifest != nullptr);
  std::vector<std::uint8_t> stream;
  while (writer.Next(stream, std::size_t{1} << 24)) {
  }
  if (manifest != nullptr) *manifest = writer.TakeManifest();
  return stream;
}

}  // namespace kestrun::tsgen
