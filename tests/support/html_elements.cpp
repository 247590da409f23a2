#include "support/html_elements.h"

#include <cctype>
#include <cstdlib>

namespace kestrun::testing {
namespace {

bool NameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == ':' || c == '_'; }

// The start tag at `at` (just past '<'); `at` ends past its '>'.
HtmlElement ReadTag(const std::string& page, std::size_t& at) {
  HtmlElement element;
  while (at < page.size() && NameChar(page[at])) element.name += page[at++];
  while (at < page.size() && page[at] != '>') {
    if (!NameChar(page[at])) {
      ++at;
      continue;
    }
    std::string name;
    while (at < page.size() && NameChar(page[at])) name += page[at++];
    std::string value;
    if (at < page.size() && page[at] == '=') {
      const char quote = page[++at];
      if (quote == '"' || quote == '\'') {
        const std::size_t end = page.find(quote, at + 1);
        value = page.substr(at + 1, end - at - 1);
        at = end == std::string::npos ? page.size() : end + 1;
      } else {
        while (at < page.size() && page[at] != '>' && std::isspace(static_cast<unsigned char>(page[at])) == 0) {
          value += page[at++];
        }
      }
    }
    element.attributes[name] = value;
  }
  ++at;
  return element;
}

std::uint64_t Number(const HtmlElement& element, const std::string& name, std::uint64_t absent = 0) {
  const auto it = element.attributes.find(name);
  return it == element.attributes.end() ? absent : std::strtoull(it->second.c_str(), nullptr, 10);
}

}  // namespace

std::vector<HtmlElement> ElementsWith(const std::string& page, const std::string& attribute) {
  std::vector<HtmlElement> elements;
  for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at)) {
    ++at;
    if (at >= page.size() || std::isalpha(static_cast<unsigned char>(page[at])) == 0) continue;
    HtmlElement element = ReadTag(page, at);
    if (element.attributes.count(attribute) != 0) elements.push_back(std::move(element));
  }
  return elements;
}

PageMarks ReadMarks(const std::string& page) {
  PageMarks marks;
  for (const HtmlElement& mark : ElementsWith(page, "data-offset")) {
    if (mark.attributes.count("data-pid") == 0) {
      ++marks.offsetsElsewhere;
      continue;
    }
    const std::uint64_t count = Number(mark, "data-count", 1);
    marks.packets += count;
    marks.aggregated = marks.aggregated || count > 1;
    marks.places.emplace(static_cast<std::uint16_t>(Number(mark, "data-pid")), Number(mark, "data-offset"));
  }
  const auto add = [&page](const char* attribute, std::uint64_t& sum) {
    for (const HtmlElement& element : ElementsWith(page, attribute)) sum += Number(element, attribute);
  };
  add("data-tei", marks.transportErrors);
  add("data-scrambled", marks.scrambled);
  add("data-errors", marks.streamErrors);
  add("data-incidents", marks.incidentCrossings);
  return marks;
}

std::string OutsideReference(const std::string& page) {
  for (const char* attribute : {"src", "href", "xlink:href", "action", "srcset"}) {
    for (const HtmlElement& element : ElementsWith(page, attribute)) {
      const std::string& value = element.attributes.at(attribute);
      if (!value.empty() && value[0] != '#') return "<" + element.name + " " + attribute + "=\"" + value + "\">";
    }
  }
  for (const char* text : {"http:", "https:", "url(", "@import", "//"}) {
    const std::size_t at = page.find(text);
    if (at != std::string::npos) return std::string("\"") + text + "\" at byte " + std::to_string(at);
  }
  return {};
}

}  // namespace kestrun::testing
