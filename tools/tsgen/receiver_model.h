// What a checker finds in a stream: it frames the bytes the way the
// checker's reader does, follows every PID's continuity counter, collects
// PAT and PMT sections to learn the PCR PIDs it must leave unchecked, reads
// TDT/TOT times and keeps the PCR, PTS and DTS play-time clocks. Fed with
// the stream's bytes in order, in pieces of any size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tsgen/tsgen.h"

namespace kestrun::tsgen {

class ReceiverModel {
 public:
  ReceiverModel();
  void Feed(const std::uint8_t* bytes, std::size_t count);
  // The stream has ended: the last packet counts without a sync byte after it.
  void Finish();
  // Fills pids, drops and totalDrops.
  void Report(Manifest& manifest) const;

 private:
  struct PidRecord {
    std::uint16_t pid = 0;
    bool first = true;
    bool dropFlag = false;
    std::uint8_t lastCc = 0;
    std::uint64_t checked = 0;
    std::uint64_t drops = 0;
    std::uint64_t tei = 0;
    std::uint64_t scrambled = 0;
    // Last PES header decoded on this PID (kept across continuation packets).
    bool hasPes = false;
    bool pesUsable = false;
    std::uint8_t ptsDtsFlags = 0;
    std::uint64_t pts = 0;
    std::uint64_t dts = 0;
    std::vector<std::uint8_t> section;
    std::size_t sectionRemaining = 0;
  };
  struct Clock {
    std::uint64_t base = 0;
    std::uint64_t elapsed = 0;
    void Feed(std::uint64_t value);
  };
  struct Header {
    std::uint8_t cc = 0;
    bool unitStart = false;
    std::uint8_t control = 0;
    std::size_t headerLength = 0;
  };
  enum class Collect { Complete, Incomplete, Rejected };

  void Scan(bool atEnd);
  void OnPacket(const std::uint8_t* packet, std::uint64_t offset);
  PidRecord& RecordFor(std::uint16_t pid);
  void RestartRecord(std::uint16_t pid);
  Header Decode(const std::uint8_t* packet, PidRecord& record, std::optional<std::uint64_t>& pcr);
  bool CheckContinuity(PidRecord& record, const Header& header);
  Collect AppendSection(const std::uint8_t* packet, PidRecord& record, const Header& header,
                        std::uint8_t tableId);
  bool ProcessPat(const std::uint8_t* packet, PidRecord& record, const Header& header);
  void ProcessPmt(const std::uint8_t* packet, PidRecord& record, const Header& header);
  bool ProcessTot(const std::uint8_t* packet, const Header& header);
  bool IsPcrPid(std::uint16_t pid) const;
  void AddPcrPid(std::uint16_t pid);
  const Clock& SelectClock() const;

  // Framing: bytes not yet consumed, starting at stream offset heldOffset_.
  std::vector<std::uint8_t> held_;
  std::uint64_t heldOffset_ = 0;
  std::size_t cursor_ = 0;  // just behind the last packet taken
  std::size_t scan_ = 0;    // next byte to examine

  std::vector<PidRecord> records_;          // in order of first appearance
  std::array<std::int32_t, 8192> index_{};  // PID -> position in records_ + 1
  // Damaged packets of PIDs without a record yet, in order of first appearance.
  std::vector<DamagedExpectation> damaged_;
  std::vector<std::uint16_t> pcrPids_;      // at most eight
  std::vector<std::pair<std::uint16_t, std::uint16_t>> programs_;  // number, PMT PID
  std::optional<DateTime> tot_;
  Clock pcrClock_, ptsClock_, dtsClock_;
  std::vector<DropExpectation> drops_;
};

}  // namespace kestrun::tsgen
