// A small growable text on the process heap, for a driver without a C++
// library: just what reading the configuration and writing the call log need.
#pragma once

#include "win32_api.h"

class Text {
 public:
  Text() = default;
  Text(const Text& other) { Append(other.data_, other.size_); }
  Text& operator=(const Text& other) {
    if (this != &other) Assign(other);
    return *this;
  }
  ~Text() { operator delete(data_); }

  const char* c_str() const { return data_ != nullptr ? data_ : ""; }
  DWORD size() const { return size_; }
  bool empty() const { return size_ == 0; }

  void Assign(const Text& other) {
    size_ = 0;
    Append(other.data_, other.size_);
  }

  void Append(const char* bytes, DWORD count) {
    if (size_ + count + 1 > capacity_) Grow(size_ + count + 1);
    for (DWORD i = 0; i < count; ++i) data_[size_ + i] = bytes[i];
    size_ += count;
    if (data_ != nullptr) data_[size_] = '\0';
  }
  void Append(const char* text) {
    DWORD count = 0;
    while (text[count] != '\0') ++count;
    Append(text, count);
  }
  void AppendNumber(uint32_t value) {
    char digits[10];
    DWORD count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) Append(&digits[--count], 1);
  }

  bool Is(const char* text) const {
    DWORD i = 0;
    for (; i < size_; ++i) {
      if (text[i] != data_[i]) return false;
    }
    return text[i] == '\0';
  }
  // The leading decimal digits (0 without any).
  DWORD Number() const {
    DWORD value = 0;
    for (DWORD i = 0; i < size_ && data_[i] >= '0' && data_[i] <= '9'; ++i) {
      value = value * 10 + static_cast<DWORD>(data_[i] - '0');
    }
    return value;
  }

  // The piece [from, to) without the blanks at either end.
  Text Trimmed(DWORD from, DWORD to) const {
    while (from < to && IsBlank(data_[from])) ++from;
    while (to > from && IsBlank(data_[to - 1])) --to;
    Text piece;
    piece.Append(data_ + from, to - from);
    return piece;
  }
  char At(DWORD index) const { return data_[index]; }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  void Grow(DWORD needed) {
    DWORD capacity = capacity_ == 0 ? 64 : capacity_;
    while (capacity < needed) capacity *= 2;
    char* data = static_cast<char*>(operator new(capacity));
    for (DWORD i = 0; i < size_; ++i) data[i] = data_[i];
    operator delete(data_);
    data_ = data;
    capacity_ = capacity;
  }

  char* data_ = nullptr;
  DWORD size_ = 0;
  DWORD capacity_ = 0;
};

// Calls visit(key, value) for each "key=value" line of the text; lines
// without '=' and lines starting with '#' are passed over.
template <class Visit>
void ForEachLine(const Text& text, Visit visit) {
  DWORD start = 0;
  while (start < text.size()) {
    DWORD end = start;
    DWORD equals = 0;
    while (end < text.size() && text.At(end) != '\n') {
      if (equals == 0 && text.At(end) == '=') equals = end;
      ++end;
    }
    if (equals > start && text.At(start) != '#') {
      visit(text.Trimmed(start, equals), text.Trimmed(equals + 1, end));
    }
    start = end + 1;
  }
}
