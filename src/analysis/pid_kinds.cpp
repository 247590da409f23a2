#include "analysis/pid_kinds.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "analysis/descriptors.h"
#include "ts/pid_roles.h"

namespace kestrun {
namespace {

struct NamedType {
  std::uint8_t streamType;
  PidKind kind;
  const char* name;
};

constexpr NamedType kStreamTypes[] = {
    {0x01, PidKind::Video, "MPEG-1 video"},   {0x02, PidKind::Video, "MPEG-2 video"},
    {0x03, PidKind::Audio, "MPEG-1 audio"},   {0x04, PidKind::Audio, "MPEG-2 audio"},
    {0x05, PidKind::Data, "Private sections"}, {0x06, PidKind::Data, "Private PES"},
    {0x0A, PidKind::Data, "DSM-CC"},          {0x0B, PidKind::Data, "DSM-CC"},
    {0x0C, PidKind::Data, "DSM-CC"},          {0x0D, PidKind::Data, "Data carousel"},
    {0x0F, PidKind::Audio, "AAC audio"},      {0x10, PidKind::Video, "MPEG-4 video"},
    {0x11, PidKind::Audio, "AAC LATM audio"}, {0x15, PidKind::Data, "Metadata"},
    {0x1B, PidKind::Video, "H.264 video"},    {0x1C, PidKind::Audio, "MPEG-4 audio"},
    {0x20, PidKind::Video, "MVC video"},      {0x24, PidKind::Video, "HEVC video"},
    {0x2D, PidKind::Audio, "MPEG-H audio"},   {0x33, PidKind::Video, "VVC video"},
    {0x42, PidKind::Video, "AVS video"},      {0x81, PidKind::Audio, "AC-3 audio"},
    {0x86, PidKind::Data, "SCTE 35 cues"},    {0x87, PidKind::Audio, "E-AC-3 audio"},
    {0xEA, PidKind::Video, "VC-1 video"},
};

// Blu-ray streams (registration "HDMV") use the user-private types their own way.
constexpr NamedType kHdmvStreamTypes[] = {
    {0x80, PidKind::Audio, "LPCM audio"},     {0x81, PidKind::Audio, "AC-3 audio"},
    {0x82, PidKind::Audio, "DTS audio"},      {0x83, PidKind::Audio, "TrueHD audio"},
    {0x84, PidKind::Audio, "E-AC-3 audio"},   {0x85, PidKind::Audio, "DTS-HD audio"},
    {0x86, PidKind::Audio, "DTS-HD MA audio"}, {0x90, PidKind::Captions, "PG subtitles"},
    {0x91, PidKind::Data, "IG menus"},        {0x92, PidKind::Captions, "Text subtitles"},
    {0xA1, PidKind::Audio, "E-AC-3 audio"},   {0xA2, PidKind::Audio, "DTS-HD audio"},
};

struct NamedPid {
  std::uint16_t pid;
  PidKind kind;
  const char* name;
};

// PIDs fixed for service information (DVB 0x10-0x1F, ARIB 0x20-0x29, ATSC
// base PID); a PID a table names otherwise is that first.
constexpr NamedPid kFixedPids[] = {
    {0x0000, PidKind::Psi, "PAT"},      {0x0001, PidKind::Psi, "CAT"},
    {0x0002, PidKind::Psi, "TSDT"},     {0x0010, PidKind::Si, "NIT"},
    {0x0011, PidKind::Si, "SDT/BAT"},   {0x0012, PidKind::Si, "EIT"},
    {0x0013, PidKind::Si, "RST"},       {0x0014, PidKind::Si, "TDT/TOT"},
    {0x0015, PidKind::Si, "Network synchronisation"}, {0x0016, PidKind::Si, "RNT"},
    {0x001C, PidKind::Si, "Inband signalling"}, {0x001D, PidKind::Si, "Measurement"},
    {0x001E, PidKind::Si, "DIT"},       {0x001F, PidKind::Si, "SIT"},
    {0x0020, PidKind::Si, "LIT"},       {0x0021, PidKind::Si, "ERT"},
    {0x0022, PidKind::Si, "PCAT"},      {0x0023, PidKind::Si, "SDTT"},
    {0x0024, PidKind::Si, "BIT"},       {0x0025, PidKind::Si, "NBIT/LDT"},
    {0x0026, PidKind::Si, "EIT"},       {0x0027, PidKind::Si, "EIT"},
    {0x0028, PidKind::Si, "SDTT"},      {0x0029, PidKind::Si, "CDT"},
    {0x1FFB, PidKind::Si, "PSIP"},
};

// Descriptor tags of the private PES streams.
constexpr std::uint8_t kRegistrationTag = 0x05;
constexpr std::uint8_t kStreamIdentifierTag = 0x52;  // component_tag
constexpr std::uint8_t kTeletextTag = 0x56;
constexpr std::uint8_t kSubtitlingTag = 0x59;
constexpr std::uint8_t kAc3Tag = 0x6A;
constexpr std::uint8_t kEnhancedAc3Tag = 0x7A;
constexpr std::uint8_t kDtsTag = 0x7B;
constexpr std::uint8_t kAacTag = 0x7C;
constexpr std::uint8_t kExtensionTag = 0x7F;
constexpr std::uint8_t kAc4ExtensionTag = 0x15;
constexpr std::uint8_t kDataComponentTag = 0xFD;  // ARIB data_component_descriptor
constexpr std::uint16_t kAribCaptionComponent = 0x0008;
// ARIB component_tag ranges of captions and superimposed text.
constexpr std::uint8_t kFirstCaptionTag = 0x30;
constexpr std::uint8_t kFirstSuperimposeTag = 0x38;
constexpr std::uint8_t kLastSuperimposeTag = 0x3F;

bool Registered(const std::vector<std::uint8_t>& descriptors, std::string_view format) {
  bool found = false;
  ForEachDescriptor(descriptors, [&](std::uint8_t tag, const std::uint8_t* body, std::size_t length) {
    if (tag == kRegistrationTag && length >= 4 &&
        std::string_view(reinterpret_cast<const char*>(body), 4) == format) {
      found = true;
    }
  });
  return found;
}

// A private PES stream is named by its descriptors; the first that tells wins.
PidKindName KindOfPrivatePes(const std::vector<std::uint8_t>& descriptors) {
  PidKindName found{PidKind::Data, "Private PES"};
  bool told = false;
  ForEachDescriptor(descriptors, [&](std::uint8_t tag, const std::uint8_t* body, std::size_t length) {
    if (told) return;
    told = true;
    if (tag == kStreamIdentifierTag && length >= 1 && body[0] >= kFirstCaptionTag &&
        body[0] <= kLastSuperimposeTag) {
      found = body[0] < kFirstSuperimposeTag ? PidKindName{PidKind::Captions, "Captions"}
                                             : PidKindName{PidKind::Superimpose, "Superimposed text"};
    } else if (tag == kDataComponentTag && length >= 2 && (body[0] << 8 | body[1]) == kAribCaptionComponent) {
      found = {PidKind::Captions, "Captions"};
    } else if (tag == kSubtitlingTag) {
      found = {PidKind::Captions, "DVB subtitles"};
    } else if (tag == kTeletextTag) {
      found = {PidKind::Captions, "Teletext"};
    } else if (tag == kAc3Tag) {
      found = {PidKind::Audio, "AC-3 audio"};
    } else if (tag == kEnhancedAc3Tag) {
      found = {PidKind::Audio, "E-AC-3 audio"};
    } else if (tag == kDtsTag) {
      found = {PidKind::Audio, "DTS audio"};
    } else if (tag == kAacTag) {
      found = {PidKind::Audio, "AAC audio"};
    } else if (tag == kExtensionTag && length >= 1 && body[0] == kAc4ExtensionTag) {
      found = {PidKind::Audio, "AC-4 audio"};
    } else {
      told = false;
    }
  });
  return found;
}

const NamedType* FindType(const NamedType* begin, const NamedType* end, std::uint8_t streamType) {
  const NamedType* found = std::find_if(begin, end, [&](const NamedType& t) { return t.streamType == streamType; });
  return found == end ? nullptr : found;
}

std::string StreamTypeName(std::uint8_t streamType) {
  char text[32];
  std::snprintf(text, sizeof text, "Stream type 0x%02X", static_cast<unsigned>(streamType));
  return text;
}

bool ListsEcm(const ProgramStreams& program, std::uint16_t pid) {
  if (NamesCaPid(program.descriptors, pid)) return true;
  return std::any_of(program.streams.begin(), program.streams.end(),
                     [&](const ElementaryStreamEntry& s) { return NamesCaPid(s.descriptors, pid); });
}

}  // namespace

PidKindName KindOfStream(const ProgramStreams& program, const ElementaryStreamEntry& stream) {
  if (stream.streamType == 0x06) {
    // The "AC-3" registration of ATSC-style private streams.
    if (Registered(stream.descriptors, "AC-3")) return {PidKind::Audio, "AC-3 audio"};
    return KindOfPrivatePes(stream.descriptors);
  }
  if (Registered(program.descriptors, "HDMV") || Registered(stream.descriptors, "HDMV")) {
    if (const NamedType* t = FindType(std::begin(kHdmvStreamTypes), std::end(kHdmvStreamTypes), stream.streamType)) {
      return {t->kind, t->name};
    }
  }
  if (const NamedType* t = FindType(std::begin(kStreamTypes), std::end(kStreamTypes), stream.streamType)) {
    return {t->kind, t->name};
  }
  return {PidKind::Other, StreamTypeName(stream.streamType)};
}

PidKindName KindOfPid(const TsContext& context, const std::vector<std::uint16_t>& emmPids,
                      std::uint16_t pid) {
  if (pid == kNullPid) return {PidKind::Null, "Null packets"};
  if (pid == kPatPid) return {PidKind::Psi, "PAT"};
  for (const ProgramEntry& entry : context.programList) {
    if (entry.pmtPid != pid) continue;
    return entry.programNumber == 0 ? PidKindName{PidKind::Si, "NIT"} : PidKindName{PidKind::Psi, "PMT"};
  }
  for (const ProgramStreams& program : context.pmtPrograms) {
    for (const ElementaryStreamEntry& stream : program.streams) {
      if (stream.pid == pid) return KindOfStream(program, stream);
    }
  }
  for (const ProgramStreams& program : context.pmtPrograms) {
    if (ListsEcm(program, pid)) return {PidKind::Ecm, "ECM"};
  }
  if (std::find(emmPids.begin(), emmPids.end(), pid) != emmPids.end()) return {PidKind::Emm, "EMM"};
  for (const ProgramStreams& program : context.pmtPrograms) {
    if (program.pcrPid == pid) return {PidKind::Other, "PCR"};
  }
  for (const NamedPid& fixed : kFixedPids) {
    if (fixed.pid == pid) return {fixed.kind, fixed.name};
  }
  return {PidKind::Other, "Unknown"};
}

}  // namespace kestrun
