#include "settings/device_info.h"

#include <algorithm>
#include <cstring>

DeviceInfo::Bytes DeviceInfo::encode() const {
  Bytes b{};
  putU16(&b[0], transport);
  putU16(&b[2], vendorID);
  putU16(&b[4], productID);
  putU16(&b[6], productVers);
  putU16(&b[8], interfaceNum);
  std::memcpy(&b[10], vendorName.data(), kNameSize);
  std::memcpy(&b[10 + kNameSize], productName.data(), kNameSize);
  return b;
}

DeviceInfo DeviceInfo::decode(const uint8_t* bytes, size_t n) {
  Bytes b{};
  if (bytes) std::memcpy(b.data(), bytes, std::min(n, kSize));
  DeviceInfo d;
  d.transport = getU16(&b[0]);
  d.vendorID = getU16(&b[2]);
  d.productID = getU16(&b[4]);
  d.productVers = getU16(&b[6]);
  d.interfaceNum = getU16(&b[8]);
  std::memcpy(d.vendorName.data(), &b[10], kNameSize);
  std::memcpy(d.productName.data(), &b[10 + kNameSize], kNameSize);
  return d;
}

static void setName(std::array<char, DeviceInfo::kNameSize>& dst, const std::string& s) {
  dst.fill(0);
  std::memcpy(dst.data(), s.data(), std::min(s.size(), DeviceInfo::kNameSize - 1));
}
static std::string getName(const std::array<char, DeviceInfo::kNameSize>& src) {
  const auto* end = std::find(src.begin(), src.end(), '\0');
  return std::string(src.begin(), end);
}

void DeviceInfo::setVendorName(const std::string& s) { setName(vendorName, s); }
void DeviceInfo::setProductName(const std::string& s) { setName(productName, s); }
std::string DeviceInfo::vendorNameString() const { return getName(vendorName); }
std::string DeviceInfo::productNameString() const { return getName(productName); }
