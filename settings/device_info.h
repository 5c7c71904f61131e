// The device-information record the driver reports for each device (266 bytes, little-endian,
// no padding), also carried in the helper's device list for the panel.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct DeviceInfo {
  static constexpr size_t kSize = 266;
  static constexpr size_t kNameSize = 128;

  uint16_t transport = 0;
  uint16_t vendorID = 0;
  uint16_t productID = 0;
  uint16_t productVers = 0;  // major in the high byte, minor in the low byte
  uint16_t interfaceNum = 0;
  std::array<char, kNameSize> vendorName{};   // NUL-terminated when shorter than 128
  std::array<char, kNameSize> productName{};

  using Bytes = std::array<uint8_t, kSize>;

  // Field by field, little-endian whatever the host.
  Bytes encode() const;
  // Reads the first min(n, 266) bytes; the rest of the record stays zero.
  static DeviceInfo decode(const uint8_t* bytes, size_t n);

  void setVendorName(const std::string& s);
  void setProductName(const std::string& s);
  // The name up to its first NUL (at most 128 characters).
  std::string vendorNameString() const;
  std::string productNameString() const;

  bool operator==(const DeviceInfo&) const = default;
};

// Little-endian helpers for the driver's records.
inline void putU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t getU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t getU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
