#include "platform/posix/cp932_display.h"

#include <cerrno>
#include <iconv.h>

namespace kestrun::platform {
namespace {

class Cp932Converter {
 public:
  Cp932Converter() : descriptor_(::iconv_open("UTF-8", "CP932")) {}
  ~Cp932Converter() {
    if (ready()) ::iconv_close(descriptor_);
  }
  Cp932Converter(const Cp932Converter&) = delete;
  Cp932Converter& operator=(const Cp932Converter&) = delete;

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

}  // namespace

bool LocaleCharsetIsUtf8(const char* lcAll, const char* lcCtype, const char* lang) {
  for (const char* locale : {lcAll, lcCtype, lang}) {
    if (locale != nullptr && *locale != '\0') return HasUtf8Charset(locale);
  }
  return false;
}

std::string ConvertCp932ToUtf8(std::string_view bytes) {
  thread_local Cp932Converter converter;
  if (!converter.ready()) return std::string(bytes);
  ::iconv(converter.descriptor(), nullptr, nullptr, nullptr, nullptr);

  // A CP932 character of one or two bytes is at most three bytes of UTF-8.
  Output out;
  out.text.resize(bytes.size() * 3 + 16);
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
    // Not convertible (EILSEQ) or cut short at the end (EINVAL): the byte
    // passes through unchanged and conversion goes on behind it.
    if (out.room() == 0) out.Grow();
    out.text[out.used++] = *in++;
    --inLeft;
    ::iconv(converter.descriptor(), nullptr, nullptr, nullptr, nullptr);
  }
  out.text.resize(out.used);
  return out.text;
}

}  // namespace kestrun::platform
