#include "support/json_writer.h"

#include <cstdio>

namespace kestrun {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the well-formed sequence at `at`, or 0. Overlong forms,
// surrogates and code points past U+10FFFF are not well-formed.
std::size_t SequenceLength(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  const auto second = static_cast<unsigned char>(bytes[at + 1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(bytes[at + i]))) return 0;
  }
  return length;
}

}  // namespace

std::string ToValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = SequenceLength(bytes, at);
    if (length == 0) {
      out += kReplacement;
      ++at;
    } else {
      out.append(bytes.substr(at, length));
      at += length;
    }
  }
  return out;
}

void JsonWriter::NewLine() {
  out_ += '\n';
  out_.append(2 * empty_.size(), ' ');
}

void JsonWriter::StreamTo(std::function<void(std::string_view)> sink, std::size_t pieceSize) {
  sink_ = std::move(sink);
  pieceSize_ = pieceSize;
  out_.reserve(pieceSize_ + pieceSize_ / 4);
}

void JsonWriter::Flush() {
  if (!sink_ || out_.empty()) return;
  sink_(out_);
  out_.clear();
}

void JsonWriter::BeforeValue() {
  if (sink_ && out_.size() >= pieceSize_) Flush();
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (empty_.empty()) return;
  if (!empty_.back()) out_ += ',';
  empty_.back() = false;
  NewLine();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  empty_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  const bool wasEmpty = empty_.back();
  empty_.pop_back();
  if (!wasEmpty) NewLine();
  out_ += bracket;
  if (empty_.empty()) out_ += '\n';
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  Quoted(name);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  Quoted(text);
}

void JsonWriter::Int(std::int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::Unsigned(std::uint64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
}

void JsonWriter::Number(std::string_view literal) {
  BeforeValue();
  out_ += literal;
}

void JsonWriter::NumberRow(std::initializer_list<std::string_view> literals) {
  BeforeValue();
  out_ += '[';
  const char* separator = "";
  for (const std::string_view literal : literals) {
    out_ += separator;
    out_ += literal;
    separator = ", ";
  }
  out_ += ']';
}

void JsonWriter::Quoted(std::string_view text) {
  out_ += '"';
  for (const char c : ToValidUtf8(text)) {
    switch (c) {
      case '"': out_ += "\\\""; break;
      case '\\': out_ += "\\\\"; break;
      case '\n': out_ += "\\n"; break;
      case '\r': out_ += "\\r"; break;
      case '\t': out_ += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
          out_ += escaped;
        } else {
          out_ += c;
        }
    }
  }
  out_ += '"';
}

}  // namespace kestrun
