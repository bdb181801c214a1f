#pragma once
// Where the packet writers put their bytes, and the buffer they write through. Writers fill a
// large buffer with raw pointer writes and hand it to the sink in big pieces, so a file sink
// sees few system calls and nothing holds the whole packet unless the sink wants it.

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace kve {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes `n` bytes; raises IoError (naming its target) when they cannot be stored.
  virtual void Write(const char* data, size_t n) = 0;
};

// Collects everything in a string (packets in memory, tests).
class StringSink final : public ByteSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  void Write(const char* data, size_t n) override { out_.append(data, n); }

 private:
  std::string& out_;
};

class OutBuffer {
 public:
  explicit OutBuffer(ByteSink& sink, size_t capacity = size_t{1} << 20);
  OutBuffer(const OutBuffer&) = delete;
  OutBuffer& operator=(const OutBuffer&) = delete;

  // A cursor with at least `n` free bytes after it; give the moved cursor back with Commit.
  char* Reserve(size_t n) {
    if (ready_ - used_ < n) MakeRoom(n);
    return buf_.get() + used_;
  }
  void Commit(char* end) { used_ = static_cast<size_t>(end - buf_.get()); }

  void Append(const char* p, size_t n) {
    char* c = Reserve(n);
    std::memcpy(c, p, n);
    used_ += n;
  }
  void Append(std::string_view s) { Append(s.data(), s.size()); }
  void Flush();  // hands everything buffered to the sink

 private:
  void MakeRoom(size_t n);
  ByteSink& sink_;
  std::unique_ptr<char[]> buf_;
  size_t cap_;
  size_t used_ = 0;
  size_t ready_ = 0;  // bytes from the start made resident (PrefaultForWrite), ahead of used_
};

}  // namespace kve
