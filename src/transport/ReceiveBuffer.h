#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace parlane {

class ReplyParser;
class ReplySink;

// The bytes received and not yet parsed: 65,536 bytes allocated once, at most 65,535 valid.
// Not locked: the channel guards it.
class ReceiveBuffer {
 public:
  static constexpr std::size_t kCapacity = 65536;
  static constexpr std::size_t kMaxLength = kCapacity - 1;

  ReceiveBuffer() : data_(new char[kCapacity]) {}

  char* end() { return data_.get() + length_; }
  std::size_t room() const { return kMaxLength - length_; }
  std::size_t length() const { return length_; }
  std::string_view view() const { return {data_.get(), length_}; }
  // Bytes read into end().
  void grow(std::size_t count) { length_ += count; }
  void clear() { length_ = 0; }
  // Drops the incomplete line held, unless it is the beginning of an unsolicited result ("+..."):
  // a command written in its middle must not cut a notice in two.
  void clearExceptUnsolicited() {
    if (length_ == 0 || data_[0] != '+') length_ = 0;
  }

  // Hands the buffer to the parser. A buffer that is full without any line end holds no line a
  // modem would send: it is dropped (and the parser skips the rest of that line), so that the
  // lines behind it still arrive. Returns the number of bytes dropped.
  std::size_t parse(ReplyParser& parser, ReplySink& sink);
  // Appends as much of `bytes` as fits, parsing whenever the buffer fills.
  void appendAndParse(std::string_view bytes, ReplyParser& parser, ReplySink& sink);

 private:
  std::unique_ptr<char[]> data_;
  std::size_t length_ = 0;
};

}  // namespace parlane
