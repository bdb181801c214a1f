#include "platform/dataset/packet_sink.h"

#include <algorithm>

#include "platform/common/prefault.h"

namespace kve {

namespace {
// The buffer is made resident this much at a time as it fills: a small packet leaves most of
// it untouched, and a large one faults none of its pages one by one.
constexpr size_t kOutResidentStep = size_t{128} << 10;
}  // namespace

OutBuffer::OutBuffer(ByteSink& sink, size_t capacity)
    : sink_(sink), buf_(new char[capacity]), cap_(capacity) {}

void OutBuffer::Flush() {
  if (used_ == 0) return;
  sink_.Write(buf_.get(), used_);
  used_ = 0;
}

void OutBuffer::MakeRoom(size_t n) {
  if (cap_ - used_ < n) {
    Flush();
    if (n > cap_) {
      buf_.reset(new char[n]);
      cap_ = n;
      ready_ = 0;
    }
  }
  if (ready_ - used_ < n) {
    const size_t to = std::min(cap_, std::max(used_ + n, ready_ + kOutResidentStep));
    PrefaultForWrite(buf_.get() + ready_, to - ready_);
    ready_ = to;
  }
}

}  // namespace kve
