// What each PID carries, as the report names it, in an ISDB-like and a
// DVB-like stream: the PAT, PMTs with their descriptors, the CAT, and PIDs
// only the standards name.
#include <gtest/gtest.h>

#include <map>

#include "analysis/analysis_run.h"

namespace kestrun::analysis_test {
namespace {

using ts_test::Bytes;

struct Es {
  std::uint8_t streamType;
  std::uint16_t pid;
  Bytes descriptors;
};

Bytes Pid13(std::uint16_t pid) { return {static_cast<std::uint8_t>(0xE0 | pid >> 8), static_cast<std::uint8_t>(pid)}; }

Bytes Loop(const Bytes& descriptors) {
  Bytes out{static_cast<std::uint8_t>(0xF0 | descriptors.size() >> 8), static_cast<std::uint8_t>(descriptors.size())};
  out.insert(out.end(), descriptors.begin(), descriptors.end());
  return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Pmt(std::uint16_t program, std::uint16_t pcrPid, const Bytes& info, const std::vector<Es>& streams) {
  Bytes body = Join({{static_cast<std::uint8_t>(program >> 8), static_cast<std::uint8_t>(program), 0xC1, 0x00, 0x00},
                     Pid13(pcrPid), Loop(info)});
  for (const Es& es : streams) body = Join({body, {es.streamType}, Pid13(es.pid), Loop(es.descriptors)});
  return ts_test::MakeSection(kPmtTableId, body);
}

Bytes Cat(const Bytes& descriptors) {
  return ts_test::MakeSection(0x01, Join({{0xFF, 0xFF, 0xC1, 0x00, 0x00}, descriptors}));
}

Bytes CaDescriptor(std::uint16_t system, std::uint16_t pid) {
  return Join({{0x09, 0x04, static_cast<std::uint8_t>(system >> 8), static_cast<std::uint8_t>(system)}, Pid13(pid)});
}

Bytes ComponentTag(std::uint8_t tag) { return {0x52, 0x01, tag}; }

// The tables, then one packet of every PID named in `kinds`.
std::map<std::uint16_t, std::pair<PidKind, std::string>> KindsIn(const std::vector<Packet>& tables,
                                                                  const std::vector<std::uint16_t>& pids) {
  std::vector<Packet> packets = tables;
  for (const std::uint16_t pid : pids) packets.push_back(ts_test::CcPacket(pid, 0));
  std::map<std::uint16_t, std::pair<PidKind, std::string>> kinds;
  for (const PidReport& pid : AnalyseStream(analysis_test::Join(packets)).report.pids) {
    kinds[pid.pid] = {pid.kind, pid.name};
  }
  return kinds;
}

std::vector<Packet> Sections(std::initializer_list<std::pair<std::uint16_t, Bytes>> sections) {
  std::vector<Packet> packets;
  for (const auto& [pid, section] : sections) {
    for (const Packet& p : ts_test::SectionPackets(pid, section)) packets.push_back(p);
  }
  return packets;
}

struct Case {
  const char* name;
  std::vector<Packet> tables;
  std::map<std::uint16_t, std::pair<PidKind, std::string>> kinds;
};

TEST(PidKinds, IsdbAndDvbStreams) {
  const std::vector<Packet> isdb = Sections({
      {0x0000, ts_test::PatSection({{0, 0x0010}, {0x0400, 0x01F0}})},
      {0x01F0, Pmt(0x0400, 0x01FF, CaDescriptor(0x0005, 0x0901),
                   {{0x02, 0x0111, ComponentTag(0x00)},
                    {0x0F, 0x0112, ComponentTag(0x10)},
                    {0x06, 0x0130, ComponentTag(0x30)},
                    {0x06, 0x0138, ComponentTag(0x38)},
                    {0x0D, 0x0140, ComponentTag(0x40)}})},
      {0x0001, Cat(CaDescriptor(0x0005, 0x0902))},
  });
  const std::vector<Packet> dvb = Sections({
      {0x0000, ts_test::PatSection({{1, 0x0100}})},
      {0x0100, Pmt(1, 0x0200, {},
                   {{0x1B, 0x0200, CaDescriptor(0x0100, 0x0300)},
                    {0x06, 0x0201, {0x6A, 0x01, 0x00}},
                    {0x06, 0x0202, {0x59, 0x08, 'e', 'n', 'g', 0x10, 0x00, 0x01, 0x00, 0x01}},
                    {0x06, 0x0203, {0x56, 0x05, 'e', 'n', 'g', 0x09, 0x00}},
                    {0x05, 0x0204, {}}})},
      {0x0001, Cat(CaDescriptor(0x0100, 0x0301))},
  });
  using K = PidKind;
  const Case cases[] = {
      {"ISDB",
       isdb,
       {{0x0000, {K::Psi, "PAT"}},        {0x0001, {K::Psi, "CAT"}},         {0x0010, {K::Si, "NIT"}},
        {0x0011, {K::Si, "SDT/BAT"}},     {0x0012, {K::Si, "EIT"}},          {0x0014, {K::Si, "TDT/TOT"}},
        {0x0023, {K::Si, "SDTT"}},        {0x0024, {K::Si, "BIT"}},          {0x0029, {K::Si, "CDT"}},
        {0x01F0, {K::Psi, "PMT"}},        {0x0111, {K::Video, "MPEG-2 video"}}, {0x0112, {K::Audio, "AAC audio"}},
        {0x0130, {K::Captions, "Captions"}}, {0x0138, {K::Superimpose, "Superimposed text"}},
        {0x0140, {K::Data, "Data carousel"}}, {0x0901, {K::Ecm, "ECM"}},     {0x0902, {K::Emm, "EMM"}},
        {0x01FF, {K::Other, "PCR"}},      {0x1FFF, {K::Null, "Null packets"}}, {0x0777, {K::Other, "Unknown"}}}},
      {"DVB",
       dvb,
       {{0x0000, {K::Psi, "PAT"}},        {0x0001, {K::Psi, "CAT"}},          {0x0100, {K::Psi, "PMT"}},
        {0x0011, {K::Si, "SDT/BAT"}},     {0x0012, {K::Si, "EIT"}},           {0x0200, {K::Video, "H.264 video"}},
        {0x0201, {K::Audio, "AC-3 audio"}}, {0x0202, {K::Captions, "DVB subtitles"}},
        {0x0203, {K::Captions, "Teletext"}}, {0x0204, {K::Data, "Private sections"}},
        {0x0300, {K::Ecm, "ECM"}},        {0x0301, {K::Emm, "EMM"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint16_t> pids;
    for (const auto& [pid, kind] : c.kinds) pids.push_back(pid);
    EXPECT_EQ(KindsIn(c.tables, pids), c.kinds);
  }
}

}  // namespace
}  // namespace kestrun::analysis_test
