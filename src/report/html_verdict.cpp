#include "report/html_verdict.h"

#include <algorithm>
#include <array>

#include "report/html_marks.h"
#include "report/html_text.h"

namespace kestrun::html {
namespace {

constexpr std::size_t kDropKindCount = 6;

// What the drops of the default rule that lost nothing were, by kind.
constexpr std::array<std::string_view, kDropKindCount> kHarmlessDrops = {
    "gaps the systems rule does not count", "duplicate packets", "repeated counters the systems rule does not count",
    "packets without payload", "at a discontinuity_indicator", "on the null PID"};

struct EventTally {
  std::array<std::uint64_t, kDropKindCount> dropsWithoutLoss{};
  std::uint64_t lossesWithoutDrop = 0;
};

EventTally TallyEvents(const JobReport& job) {
  EventTally tally;
  ForEachPacketEvent(job, [&](const PacketEvent& event) {
    if (event.drop && !event.loss) ++tally.dropsWithoutLoss[static_cast<std::size_t>(event.dropKind) % kDropKindCount];
    if (event.loss && !event.drop) ++tally.lossesWithoutDrop;
  });
  return tally;
}

std::string RefusalText(SourceRefusal refusal) {
  switch (refusal) {
    case SourceRefusal::FileMissing: return "Not checked: the file is missing.";
    case SourceRefusal::NotTransportStream: return "Not checked: the file is not a transport stream.";
    case SourceRefusal::TunerSpaceMissing: return "Not checked: the tuner source names no tuning space.";
    case SourceRefusal::TunerChannelMissing: return "Not checked: the tuner source names no channel.";
    case SourceRefusal::TunerDriverMissing: return "Not checked: the tuner driver is missing.";
    case SourceRefusal::None: break;
  }
  return {};
}

std::string EndText(const JobReport& job) {
  switch (job.outcome.end) {
    case JobEnd::Stop: return "The run was stopped before the end of the source.";
    case JobEnd::Window: return "Read up to the end of the last play-time window.";
    case JobEnd::NotOpened: return "The source could not be opened.";
    case JobEnd::ReadBufferFailed: return "The read buffer could not be allocated.";
    case JobEnd::NotStarted: return "The check could not be started.";
    case JobEnd::EndOfInput: break;
  }
  return {};
}

// The components the listed incidents hit, in kind order.
std::vector<std::string> ComponentsHit(const JobReport& job) {
  std::array<bool, kPidKindCount> hit{};
  for (const LossIncident& incident : job.incidents.items) {
    for (const PidKind kind : incident.components) hit[static_cast<std::size_t>(kind) % kPidKindCount] = true;
  }
  std::vector<std::string> names;
  for (std::size_t kind = 0; kind < kPidKindCount; ++kind) {
    if (hit[kind]) names.emplace_back(ComponentName(static_cast<PidKind>(kind)));
  }
  return names;
}

std::string LossText(const JobReport& job) {
  std::string text = Counted(job.continuityErrorTotal, "loss", "losses") + " in " +
                     Counted(job.incidents.Total(), "incident", "incidents");
  const std::vector<std::string> components = ComponentsHit(job);
  if (!components.empty()) text += " hitting " + Listed(components);
  return text + ", about " + Counted(job.lostPacketsEstimate, "packet", "packets") + " lost.";
}

std::string HarmlessDropText(const JobReport& job, const EventTally& tally) {
  std::uint64_t total = 0;
  std::vector<std::string> kinds;
  for (std::size_t kind = 0; kind < kDropKindCount; ++kind) {
    if (tally.dropsWithoutLoss[kind] == 0) continue;
    total += tally.dropsWithoutLoss[kind];
    kinds.push_back(Grouped(tally.dropsWithoutLoss[kind]) + " " + std::string(kHarmlessDrops[kind]));
  }
  if (total == 0) return {};
  std::string text = Counted(total, "drop", "drops") + " by the default rule " + (total == 1 ? "is" : "are") +
                     " not a loss: " + Listed(kinds);
  if (job.drops.omitted > 0) text += " (among the first " + Grouped(job.drops.items.size()) + " drops listed)";
  return text + ".";
}

std::string DamageText(const JobReport& job) {
  std::vector<std::string> parts;
  if (job.transportErrorTotal > 0) {
    parts.push_back(Counted(job.transportErrorTotal, "packet", "packets") + " with transport errors");
  }
  if (job.scrambledTotal > 0) parts.push_back(Counted(job.scrambledTotal, "scrambled packet", "scrambled packets"));
  return parts.empty() ? std::string() : Listed(parts);
}

std::string StreamErrorText(const JobReport& job, std::uint64_t* total) {
  std::vector<std::string> parts;
  *total = 0;
  for (std::size_t kind = 0; kind < kStreamErrorKindCount; ++kind) {
    const std::uint64_t count = job.streamErrors[kind].count;
    if (count == 0) continue;
    *total += count;
    parts.push_back(Grouped(count) + " " + StreamErrorName(static_cast<StreamErrorKind>(kind), count != 1));
  }
  return parts.empty() ? std::string() : "Stream errors: " + Listed(parts) + ".";
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

void AddDetail(Verdict& verdict, std::string text) {
  if (!text.empty()) verdict.details.push_back(std::move(text));
}

}  // namespace

std::string StreamErrorName(StreamErrorKind kind, bool plural) {
  struct Name {
    std::string_view one;
    std::string_view many;
  };
  constexpr std::array<Name, kStreamErrorKindCount> kNames = {{
      {"sync loss", "sync losses"},
      {"PAT error", "PAT errors"},
      {"PMT error", "PMT errors"},
      {"CRC error", "CRC errors"},
      {"PCR repetition error", "PCR repetition errors"},
      {"PCR discontinuity", "PCR discontinuities"},
      {"PTS repetition error", "PTS repetition errors"},
      {"PID error", "PID errors"},
  }};
  const Name& name = kNames[static_cast<std::size_t>(kind) % kStreamErrorKindCount];
  return std::string(plural ? name.many : name.one);
}

std::string_view ComponentName(PidKind kind) {
  constexpr std::array<std::string_view, kPidKindCount> kNames = {
      "video", "audio", "captions", "superimposed text", "data", "PSI", "SI", "ECM", "EMM", "null packets", "other"};
  return kNames[static_cast<std::size_t>(kind) % kPidKindCount];
}

Verdict JudgeJob(const JobReport& job) {
  Verdict verdict;
  if (job.refusal != SourceRefusal::None) {
    verdict.level = VerdictLevel::NotChecked;
    verdict.headline = RefusalText(job.refusal);
    return verdict;
  }
  if (job.outcome.packetsBySize[0] + job.outcome.packetsBySize[1] == 0) {
    verdict.level = VerdictLevel::NotChecked;
    verdict.headline = "No packets were read.";
    AddDetail(verdict, EndText(job));
    return verdict;
  }
  const EventTally tally = TallyEvents(job);
  const std::string harmless = HarmlessDropText(job, tally);
  const std::string damage = DamageText(job);
  std::uint64_t streamErrors = 0;
  const std::string errors = StreamErrorText(job, &streamErrors);
  if (job.continuityErrorTotal > 0) {
    verdict.level = VerdictLevel::Losses;
    verdict.headline = LossText(job);
  } else if (harmless.empty() && damage.empty() && streamErrors == 0) {
    verdict.headline = "Clean: nothing lost, no drops, no damaged or scrambled packets, no stream errors.";
  } else {
    verdict.level = VerdictLevel::Notes;
    verdict.headline = "Nothing lost.";
  }
  AddDetail(verdict, harmless);
  if (tally.lossesWithoutDrop > 0) {
    AddDetail(verdict, Counted(tally.lossesWithoutDrop, "loss is", "losses are") +
                           " not counted as drops by the default rule.");
  }
  const auto consoleDrops = static_cast<std::uint64_t>(std::max(0, job.dropTotal));
  AddDetail(verdict,
            "Drops counted on the console: " + Grouped(consoleDrops) + " (this source's share of the exit code).");
  if (!damage.empty()) AddDetail(verdict, Capitalised(damage) + ".");
  AddDetail(verdict, errors);
  AddDetail(verdict, EndText(job));
  return verdict;
}

}  // namespace kestrun::html
