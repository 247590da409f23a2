// The page holds everything it shows: styles and the script are inline,
// nothing is fetched (no URL anywhere), and it is the same bytes for the
// same run on every build but for the program's name.
#include "report/run_report_html.h"

#include "platform/platform.h"
#include "report/html_job.h"
#include "report/html_text.h"

#ifndef KESTRUN_VERSION
#define KESTRUN_VERSION "0.0.0"
#endif

namespace kestrun {
namespace {

constexpr std::string_view kStyle = R"(<style>
body{font:14px/1.4 system-ui,sans-serif;margin:16px;color:#222;background:#fff}
h1{font-size:20px;margin:0 0 4px}
h2{font-size:16px;margin:28px 0 6px;overflow-wrap:anywhere}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:1px 12px;margin:0 0 8px}
dl.facts dt{color:#666}
dl.facts dd{margin:0;overflow-wrap:anywhere}
.verdict{padding:6px 10px;border-left:6px solid #2a7;background:#eef8f1;margin:8px 0}
.verdict.notes{border-color:#d90;background:#fdf6e3}
.verdict.losses{border-color:#c22;background:#fbeaea}
.verdict.notchecked{border-color:#888;background:#f2f2f2}
.verdict p{margin:2px 0}
.verdict .headline{font-weight:600}
.note{color:#555;font-size:13px;margin:4px 0}
.tools{margin:8px 0 4px;font-size:12px}
.tools button{font:inherit;margin-right:4px}
.legend>span{display:inline-block;margin-left:14px}
.legend i{display:inline-block;width:12px;height:10px;margin-right:4px;vertical-align:-1px}
.kl{background:#d11}.kd{background:#999}.ki{background:#f4a0a0}
.kt{background:#e08000}.ks{background:#2050b0}.ke{background:#8030a0}
.scroll{overflow-x:auto;border:1px solid #ddd}
svg.timeline{display:block;font:11px sans-serif}
svg .h{fill:#555;font-weight:600}
svg .p{fill:#222;white-space:pre}
svg .a{fill:#333}
svg .b{fill:#777}
.r{fill:#f4f4f4}
.g{stroke:#ccc;stroke-width:1;vector-effect:non-scaling-stroke}
.l{fill:#d11}
.d{fill:#999}
.i{fill:#f4a0a0;fill-opacity:.45}
.t1{fill:#e08000;fill-opacity:.3}.t2{fill:#e08000;fill-opacity:.6}.t3{fill:#e08000}
.s1{fill:#2050b0;fill-opacity:.3}.s2{fill:#2050b0;fill-opacity:.6}.s3{fill:#2050b0}
.e{fill:#8030a0}
.sig{fill:none;stroke:#208040;stroke-width:1.5;vector-effect:non-scaling-stroke}
table{border-collapse:collapse;margin:10px 0;font-size:13px}
caption{text-align:left;font-weight:600;padding:4px 0}
th,td{border:1px solid #ddd;padding:2px 8px;text-align:left}
td.n{text-align:right;font-variant-numeric:tabular-nums}
footer{margin-top:28px;color:#777;font-size:12px}
@media print{.tools button{display:none}.scroll{overflow:visible;border:0}svg.timeline{max-width:100%;height:auto}}
</style>
)";

// Zoom for the timelines; it marks the page when it has run (and when any
// script on the page failed), so a check in a browser can tell.
constexpr std::string_view kScript = R"(<script>
(function () {
  var root = document.documentElement;
  window.onerror = function (message) { root.setAttribute('data-script-error', String(message)); };
  var factors = {'in': 2, 'out': 0.5, 'fit': 1 / 64};
  function zoom(svg, factor) {
    var label = +svg.getAttribute('data-label-width'), plot = +svg.getAttribute('data-plot-width');
    var scale = Math.min(64, Math.max(1, (+svg.getAttribute('data-zoom') || 1) * factor));
    var width = label + plot * scale + 16;
    svg.setAttribute('data-zoom', String(scale));
    svg.setAttribute('width', String(width));
    svg.setAttribute('viewBox', '0 0 ' + width + ' ' + svg.getAttribute('height'));
    svg.querySelector('svg.plot').setAttribute('width', String(plot * scale));
    var labels = svg.querySelectorAll('text[data-col]');
    for (var i = 0; i < labels.length; i++) {
      labels[i].setAttribute('x', String(label + +labels[i].getAttribute('data-col') * scale + 3));
    }
  }
  var buttons = document.querySelectorAll('button[data-zoom]');
  for (var i = 0; i < buttons.length; i++) {
    buttons[i].addEventListener('click', function (event) {
      var button = event.currentTarget;
      zoom(document.getElementById(button.getAttribute('data-target')), factors[button.getAttribute('data-zoom')]);
    });
  }
  root.setAttribute('data-script', 'ready');
})();
</script>
)";

std::string RuleText(CountingRule rule) {
  return rule == CountingRule::Iso ? "the MPEG-2 systems rule (option isocc)" : "the default rule";
}

std::string Head(const RunReport& report, const std::string& program) {
  std::string title = "Losses, errors and scrambling";
  if (report.jobs.size() == 1) title += ": " + platform::TextToUtf8(report.jobs.front().source);
  std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta name=\"generator\" content=\"" + html::Escape(program) + " " KESTRUN_VERSION "\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "<title>" + html::Escape(title) + "</title>\n";
  out += kStyle;
  out += "</head>\n<body>\n<header><h1>Losses, errors and scrambling</h1>\n<p>";
  out += html::Escape(html::Counted(report.jobs.size(), "source", "sources") + " checked; " +
                      html::Counted(static_cast<std::uint64_t>(report.dropTotal < 0 ? 0 : report.dropTotal), "drop",
                                    "drops") +
                      " counted by " + RuleText(report.countingRule) + ".");
  out += "</p></header>\n";
  return out;
}

std::string Tail(const std::string& program) {
  std::string out = "<footer>Written by " + html::Escape(program) + " " KESTRUN_VERSION ".</footer>\n";
  out += kScript;
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace

void WriteRunReportHtml(const RunReport& report, const std::string& programName,
                        const std::function<void(std::string_view)>& sink) {
  const std::string program = platform::TextToUtf8(programName);
  sink(Head(report, program));
  for (std::size_t i = 0; i < report.jobs.size(); ++i) {
    std::string section;
    html::WriteJobSection(section, report.jobs[i], i + 1);
    sink(section);
  }
  sink(Tail(program));
}

std::string FormatRunReportHtml(const RunReport& report, const std::string& programName) {
  std::string page;
  WriteRunReportHtml(report, programName, [&page](std::string_view piece) { page += piece; });
  return page;
}

}  // namespace kestrun
