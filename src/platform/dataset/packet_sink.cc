#include "platform/dataset/packet_sink.h"

namespace kve {

OutBuffer::OutBuffer(ByteSink& sink, size_t capacity)
    : sink_(sink), buf_(new char[capacity]), cap_(capacity) {}

void OutBuffer::Flush() {
  if (used_ == 0) return;
  sink_.Write(buf_.get(), used_);
  used_ = 0;
}

void OutBuffer::MakeRoom(size_t n) {
  Flush();
  if (n > cap_) {
    buf_.reset(new char[n]);
    cap_ = n;
  }
}

}  // namespace kve
