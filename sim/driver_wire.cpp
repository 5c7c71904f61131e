#include "sim/driver_wire.h"

#include <cstring>

namespace driverwire {

Writer& Writer::u8(uint8_t v) {
  b_.push_back(v);
  return *this;
}
Writer& Writer::u16(uint16_t v) {
  for (int i = 0; i < 2; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}
Writer& Writer::u32(uint32_t v) {
  for (int i = 0; i < 4; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}
Writer& Writer::u64(uint64_t v) {
  for (int i = 0; i < 8; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}
Writer& Writer::f64(double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  return u64(bits);
}
Writer& Writer::blob(const void* data, size_t n) {
  u32(static_cast<uint32_t>(n));
  const auto* p = static_cast<const uint8_t*>(data);
  if (n) b_.insert(b_.end(), p, p + n);
  return *this;
}

bool Reader::take(size_t k) {
  if (!ok_ || n_ - pos_ < k) {
    ok_ = false;
    return false;
  }
  return true;
}

uint8_t Reader::u8() { return take(1) ? p_[pos_++] : 0; }
uint16_t Reader::u16() {
  if (!take(2)) return 0;
  const auto v = static_cast<uint16_t>(p_[pos_] | (p_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}
uint32_t Reader::u32() {
  if (!take(4)) return 0;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p_[pos_ + static_cast<size_t>(i)];
  pos_ += 4;
  return v;
}
uint64_t Reader::u64() {
  if (!take(8)) return 0;
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p_[pos_ + static_cast<size_t>(i)];
  pos_ += 8;
  return v;
}
double Reader::f64() {
  const uint64_t bits = u64();
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}
std::vector<uint8_t> Reader::blob() {
  const uint32_t n = u32();
  if (!take(n)) return {};
  std::vector<uint8_t> out(p_ + pos_, p_ + pos_ + n);
  pos_ += n;
  return out;
}
std::string Reader::str() {
  const auto b = blob();
  return std::string(b.begin(), b.end());
}

}  // namespace driverwire
