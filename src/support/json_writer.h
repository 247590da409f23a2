// A small writer of JSON documents: objects, arrays, strings, numbers,
// booleans and null, two-space indented, one member or element a line.
// Strings are written as valid UTF-8 whatever bytes they are given.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // The name of the next member of the object being written.
  void Key(std::string_view name);

  void String(std::string_view text);
  void Int(std::int64_t value);
  void Unsigned(std::uint64_t value);
  void Bool(bool value);
  void Null();
  // A number already written in JSON's form.
  void Number(std::string_view literal);
  // A short array of numbers in JSON's form, on one line.
  void NumberRow(std::initializer_list<std::string_view> literals);

  // A member in one call: the name and its value.
  void Member(std::string_view name, std::string_view text) { Key(name); String(text); }
  void Member(std::string_view name, const char* text) { Key(name); String(text); }
  void Member(std::string_view name, bool value) { Key(name); Bool(value); }
  void Member(std::string_view name, std::signed_integral auto value) { Key(name); Int(value); }
  void Member(std::string_view name, std::unsigned_integral auto value) { Key(name); Unsigned(value); }

  // Room for a document of about this many bytes, so that a large one is
  // not grown (and copied) step by step.
  void Reserve(std::size_t bytes) { out_.reserve(bytes); }

  // The document so far; complete once every object and array is closed.
  const std::string& Text() const { return out_; }

  // From now on the text goes to `sink` in pieces of about `pieceSize`
  // bytes as it is written, so a long document never lies whole in memory;
  // Flush hands over what is left. Text() then holds only the unsent rest.
  void StreamTo(std::function<void(std::string_view)> sink, std::size_t pieceSize);
  void Flush();

 private:
  void Open(char bracket);
  void Close(char bracket);
  void BeforeValue();
  void NewLine();
  void Quoted(std::string_view text);

  std::string out_;
  std::vector<bool> empty_;  // per open object or array: nothing in it yet
  bool afterKey_ = false;
  std::function<void(std::string_view)> sink_;
  std::size_t pieceSize_ = 0;
};

// The bytes as UTF-8: well-formed sequences are kept, every byte that does
// not belong to one becomes U+FFFD.
std::string ToValidUtf8(std::string_view bytes);

}  // namespace kestrun
