#include "platform/posix/cp932_display.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace kestrun::platform {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor_(::iconv_open(to, from)) {}
  ~Converter() {
    if (ready()) ::iconv_close(descriptor_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ready() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t descriptor() const { return descriptor_; }

 private:
  iconv_t descriptor_;
};

bool HasUtf8Charset(const char* locale) {
  std::string lowered;
  for (const char* c = locale; *c != '\0'; ++c) {
    if (*c == '-') continue;
    lowered += (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c;
  }
  return lowered.find("utf8") != std::string::npos;
}

// The output cursor of one conversion, growing its string on demand.
struct Output {
  std::string text;
  std::size_t used = 0;

  char* cursor() { return text.data() + used; }
  std::size_t room() const { return text.size() - used; }
  void Grow() { text.resize(text.size() * 2 + 16); }
};

// Runs the whole text through the converter, starting with room for
// `growth` output bytes per input byte. Where a character cannot be
// converted, `stuck` writes what stands in its place and returns how many
// input bytes that covers; conversion goes on behind them.
template <typename Stuck>
std::string Convert(Converter& converter, std::string_view bytes, std::size_t growth, Stuck stuck) {
  if (!converter.ready()) return std::string(bytes);
  ::iconv(converter.descriptor(), nullptr, nullptr, nullptr, nullptr);
  Output out;
  out.text.resize(bytes.size() * growth + 16);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* cursor = out.cursor();
    std::size_t room = out.room();
    const std::size_t result = ::iconv(converter.descriptor(), &in, &inLeft, &cursor, &room);
    out.used = out.text.size() - room;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.Grow();
      continue;
    }
    if (out.room() == 0) out.Grow();
    const std::size_t skipped = std::min(stuck(*in, out.text[out.used++]), inLeft);
    in += skipped;
    inLeft -= skipped;
    ::iconv(converter.descriptor(), nullptr, nullptr, nullptr, nullptr);
  }
  out.text.resize(out.used);
  return out.text;
}

// The length of the UTF-8 sequence that starts with `lead` (1 for a byte
// that cannot start one).
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// One well-formed sequence at the start of `bytes`: its length, or 0.
std::size_t ValidSequence(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return 1;
  if (lead < 0xC2 || lead > 0xF4) return 0;  // continuation, overlong pair, past U+10FFFF
  const std::size_t length = SequenceLength(lead);
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(bytes[i]))) return 0;
  }
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (lead == 0xE0 && second < 0xA0) return 0;   // overlong
  if (lead == 0xED && second >= 0xA0) return 0;  // surrogate
  if (lead == 0xF0 && second < 0x90) return 0;   // overlong
  if (lead == 0xF4 && second >= 0x90) return 0;  // past U+10FFFF
  return length;
}

}  // namespace

bool LocaleCharsetIsUtf8(const char* lcAll, const char* lcCtype, const char* lang) {
  for (const char* locale : {lcAll, lcCtype, lang}) {
    if (locale != nullptr && *locale != '\0') return HasUtf8Charset(locale);
  }
  return false;
}

std::string ConvertCp932ToUtf8(std::string_view bytes) {
  thread_local Converter converter("UTF-8", "CP932");
  // A CP932 character of one or two bytes is at most three bytes of UTF-8.
  // Not convertible (EILSEQ) or cut short at the end (EINVAL): the byte
  // passes through unchanged.
  return Convert(converter, bytes, 3, [](char byte, char& shown) {
    shown = byte;
    return std::size_t{1};
  });
}

bool IsValidUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t length = ValidSequence(bytes);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

std::string ConvertUtf8ToCp932(std::string_view utf8) {
  thread_local Converter converter("CP932", "UTF-8");
  // No character grows: CP932 takes one or two bytes where UTF-8 takes one
  // to four.
  return Convert(converter, utf8, 1, [](char lead, char& shown) {
    shown = '?';
    return SequenceLength(static_cast<unsigned char>(lead));
  });
}

}  // namespace kestrun::platform
