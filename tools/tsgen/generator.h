// The packet scheduler behind Generate and StreamWriter.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "tsgen/injection_plan.h"
#include "tsgen/packet_layout.h"
#include "tsgen/receiver_model.h"
#include "tsgen/tsgen.h"

namespace kestrun::tsgen {

class Generator {
 public:
  Generator(const Profile& profile, bool withManifest);
  bool Next(std::vector<std::uint8_t>& out, std::size_t chunkBytes);
  Manifest TakeManifest();

 private:
  // One frame's PES packet, or one carousel section already cut into packets,
  // whose packets are spread evenly from start27 on.
  struct Unit {
    std::vector<std::uint8_t> pes;
    std::size_t pos = 0;
    std::vector<PacketBytes> packets;
    std::size_t next = 0;
    std::uint64_t start27 = 0;
    std::uint64_t step27 = 0;
    std::uint64_t emitted = 0;
    std::uint64_t Due() const { return start27 + emitted * step27; }
    bool Done() const { return packets.empty() ? pos >= pes.size() : next >= packets.size(); }
  };
  struct Stream {
    ElementaryStream es;
    std::uint8_t streamId = 0;
    bool carriesPcr = false;
    bool pcrPending = false;
    std::uint64_t unitTicks = 0;  // 90 kHz duration of one frame or section
    std::uint64_t unitIndex = 0;
    std::deque<Unit> units;
  };
  struct ProgramClock {
    std::uint16_t pcrPid = kNullPid;
    int stream = -1;  // index in streams_ when the PCR rides on a stream
    bool pending = false;
    std::uint64_t due27 = 0;
  };
  struct PidOut {
    std::uint8_t cc = 0;  // for the next packet with payload
    std::uint64_t generated = 0;
    std::uint32_t queued = 0;
    std::uint32_t dropRun = 0;
    int gapRecord = -1;
  };
  // Injection records whose offset is the packet's own, -1 when unused.
  using RecordSlots = std::array<int, 2>;
  struct TablePacket {
    PacketBytes bytes;
    RecordSlots records{-1, -1};
  };

  bool Done() const;
  std::uint64_t SlotTime(std::uint64_t slot) const;
  std::uint64_t Pcr27(std::uint64_t t27) const;
  void Step(std::vector<std::uint8_t>& out);
  void Schedule(std::uint64_t t27);
  void QueueSection(std::uint16_t pid, const std::vector<std::uint8_t>& section, bool isPmt);
  void MakeUnit(Stream& stream);
  int PickStream(std::uint64_t t27);
  void EmitStream(Stream& stream, std::uint64_t t27, std::vector<std::uint8_t>& out);
  void Emit(PacketBytes& packet, std::uint64_t t27, RecordSlots records, std::vector<std::uint8_t>& out);
  std::int64_t Write(const PacketBytes& packet, std::uint64_t t27, bool prefix47,
                     std::vector<std::uint8_t>& out);
  void WriteGarbage(std::uint32_t count, std::vector<std::uint8_t>& out);
  int AddRecord(InjectKind kind, std::uint16_t pid, std::uint64_t pidIndex,
                std::uint64_t packetIndex, std::uint32_t amount, std::int64_t offset);

  Profile profile_;
  InjectionPlan plan_;
  std::optional<ReceiverModel> model_;
  std::vector<Stream> streams_;
  std::vector<ProgramClock> clocks_;
  std::vector<PidOut> pids_;
  std::deque<TablePacket> tables_;
  std::vector<InjectionRecord> records_;
  std::uint64_t end27_ = 0;
  std::uint64_t psiDue27_ = 0;
  std::uint64_t timeDue27_ = 0;
  std::uint64_t slot_ = 0;
  std::uint64_t generated_ = 0;  // packets generated, omitted ones included
  std::uint64_t written_ = 0;    // 188-byte packets written
  std::uint64_t bytes_ = 0;
  std::uint64_t garbageSeed_ = 0x5DEECE66DULL;
  bool finished_ = false;
};

}  // namespace kestrun::tsgen
