// The metrics file's text: counters added up per source over its jobs,
// gauges of each source's latest job, label values escaped.
#include "report/metrics_report.h"

#include <gtest/gtest.h>

#include "report/metrics_exposition.h"

namespace kestrun {
namespace {

bool HasLine(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

// Two passes over one file and a tuner job still running: the file's
// counters are the sums of both passes, under the kind the PID was last
// known by (the first pass ended before its PMT came); its gauges are those
// of the second pass; the tuner's label is escaped, its level written, its
// job running.
TEST(MetricsReport, CountersAddUpPerSourceAndGaugesFollowTheLatestJob) {
  MetricsJob first{"a.ts", 100, false, {{0x0100, 10, 1, 2, 3, "other", 1}, {0x1FFF, 5, 0, 0, 0, "null", 0}},
                   1880, 0, 150, {}, {{"syncLoss", 1}, {"crcError", 0}}};
  MetricsJob second{"a.ts", 200, false, {{0x0100, 7, 2, 0, 1, "video", 4}}, 1316, 0, 0, {},
                    {{"syncLoss", 2}, {"crcError", 5}}};
  MetricsJob tuner{"\\\\.\\bondriver\\0\\13\\d\"rv.so", 300, true, {{0x0111, 4, 0, 0, 0, "", 0}}, 752, 94, 0, {}, {}};
  tuner.signalLevel = 21.5f;
  const std::string text = FormatMetrics({first, second, tuner});

  EXPECT_TRUE(HasLine(text, "kestrun_packets_total{source=\"a.ts\",pid=\"0x0100\",kind=\"video\"} 17"));
  EXPECT_TRUE(HasLine(text, "kestrun_drops_total{source=\"a.ts\",pid=\"0x0100\",kind=\"video\"} 3"));
  EXPECT_TRUE(HasLine(text, "kestrun_continuity_errors_total{source=\"a.ts\",pid=\"0x0100\",kind=\"video\"} 5"));
  EXPECT_TRUE(HasLine(text, "kestrun_transport_errors_total{source=\"a.ts\",pid=\"0x0100\",kind=\"video\"} 2"));
  EXPECT_TRUE(HasLine(text, "kestrun_scrambled_packets_total{source=\"a.ts\",pid=\"0x0100\",kind=\"video\"} 4"));
  EXPECT_TRUE(HasLine(text, "kestrun_packets_total{source=\"a.ts\",pid=\"0x1FFF\",kind=\"null\"} 5"));
  EXPECT_TRUE(HasLine(text, "kestrun_stream_errors_total{source=\"a.ts\",indicator=\"syncLoss\"} 3"));
  EXPECT_TRUE(HasLine(text, "kestrun_stream_errors_total{source=\"a.ts\",indicator=\"crcError\"} 5"));
  EXPECT_TRUE(HasLine(text, "kestrun_read_bytes_total{source=\"a.ts\"} 3196"));
  EXPECT_TRUE(HasLine(text, "kestrun_last_drop_timestamp_seconds{source=\"a.ts\"} 150"));
  EXPECT_TRUE(HasLine(text, "kestrun_job_start_timestamp_seconds{source=\"a.ts\"} 200"));
  EXPECT_TRUE(HasLine(text, "kestrun_job_running{source=\"a.ts\"} 0"));

  const std::string tunerLabel = "source=\"\\\\\\\\.\\\\bondriver\\\\0\\\\13\\\\d\\\"rv.so\"";
  EXPECT_TRUE(HasLine(text, "kestrun_discarded_bytes_total{" + tunerLabel + "} 94"));
  // A PID not known yet is "other".
  EXPECT_TRUE(HasLine(text, "kestrun_packets_total{" + tunerLabel + ",pid=\"0x0111\",kind=\"other\"} 4"));
  EXPECT_TRUE(HasLine(text, "kestrun_signal_level{" + tunerLabel + "} 21.5"));
  EXPECT_TRUE(HasLine(text, "kestrun_job_running{" + tunerLabel + "} 1"));
  // No level, no drop: no sample.
  EXPECT_EQ(text.find("kestrun_signal_level{source=\"a.ts\"}"), std::string::npos);
  EXPECT_EQ(text.find("kestrun_last_drop_timestamp_seconds{" + tunerLabel), std::string::npos);
  // Every family is announced once, before its samples.
  for (const char* family : {"kestrun_packets_total", "kestrun_continuity_errors_total", "kestrun_stream_errors_total",
                             "kestrun_job_running", "kestrun_signal_level"}) {
    const std::size_t type = text.find(std::string("# TYPE ") + family + " ");
    ASSERT_NE(type, std::string::npos) << family;
    EXPECT_LT(text.find(std::string("# HELP ") + family + " "), type) << family;
    EXPECT_EQ(text.find(std::string(family) + "{"), text.find(std::string(family) + "{", type));
  }
}

TEST(MetricsExposition, LabelValuesAreEscapedAndValidUtf8) {
  EXPECT_EQ(EscapeLabelValue("C:\\TV\\a \"b\"\nc"), "C:\\\\TV\\\\a \\\"b\\\"\\nc");
  EXPECT_EQ(EscapeLabelValue("\xE9t\xC3\xA9"), "\xEF\xBF\xBDt\xC3\xA9");
  EXPECT_EQ(PidLabel(0x1F0), "0x01F0");
}

}  // namespace
}  // namespace kestrun
