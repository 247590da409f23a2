// Reading an HTML page as the report tests need it: the elements that carry
// a given attribute, with their attributes, and the sums of the timeline's
// data-* counts. A scan of start tags, enough for the program's own pages
// and for a browser's dump of them.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kestrun::testing {

struct HtmlElement {
  std::string name;
  std::map<std::string, std::string> attributes;
};

// Every start tag carrying `attribute`, in page order.
std::vector<HtmlElement> ElementsWith(const std::string& page, const std::string& attribute);

// What the timelines of a page add up to.
struct PageMarks {
  std::uint64_t packets = 0;  // data-count over the drop and loss marks (1 where absent)
  std::set<std::pair<std::uint16_t, std::uint64_t>> places;  // (data-pid, data-offset)
  bool aggregated = false;    // a mark stands for several packets
  std::uint64_t transportErrors = 0;  // data-tei
  std::uint64_t scrambled = 0;        // data-scrambled
  std::uint64_t streamErrors = 0;     // data-errors
  std::uint64_t incidentCrossings = 0;  // data-incidents
  std::uint64_t offsetsElsewhere = 0;  // data-offset on anything but a mark
};
PageMarks ReadMarks(const std::string& page);

// Why the page could reach outside itself (a URL in src, href, CSS or
// anywhere), or empty.
std::string OutsideReference(const std::string& page);

}  // namespace kestrun::testing
