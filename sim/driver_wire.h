// The wire format of the simulator's direct driver socket: what a user-client call to a kernel
// driver is on a real machine (a blocking request and its answer), and the driver's registry
// events and messages, each one packet of a Unix sequenced-packet socket, little-endian.
//
//   request  u8 1, u32 id, u8 method, arguments
//   reply    u8 2, u32 id, i32 status, results
//   event    u8 3, u64 sequence, u8 event type, u64 service, then
//            published / terminated: str class; message: u32 type, blob argument;
//            system state: blob state (sim/system_state.h); its sequence and service (0) are
//            the system state's own, apart from the registry's
//   str and blob: u32 length, then the bytes; f64: the IEEE 754 bits as a u64
//
// Methods and their arguments -> results:
//   Snapshot  -                                   -> u64 sequence, u32 n, n x (u64 service, str class)
//   Open      u64 service, u32 type               -> u32 connection
//   Close     u32 connection                      -> -
//   Call      u32 connection, u32 selector, u32 n, n x u64, blob structure, u32 outputs,
//             u64 structure capacity              -> u32 n, n x u64, blob structure
//   UsbIdentity u64 service                       -> u16 vendor, u16 product
//   UsbOpen / UsbClose / UsbReset u64 service     -> -
//   UsbReEnumerate u64 service, u32 options       -> -
//   SystemState -                                 -> u64 sequence, blob state (sim/system_state.h)
// Readers never read past a packet: a short packet reads as zeros and marks the reader failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace driverwire {

inline constexpr size_t kMaxPacket = 64 * 1024;

enum class Kind : uint8_t { Request = 1, Reply = 2, Event = 3 };
enum class Method : uint8_t {
  Snapshot = 1, Open, Close, Call, UsbIdentity, UsbOpen, UsbClose, UsbReset, UsbReEnumerate, SystemState
};
enum class EventType : uint8_t { Published = 1, Terminated = 2, Message = 3, SystemState = 4 };

class Writer {
 public:
  Writer& u8(uint8_t v);
  Writer& u16(uint16_t v);
  Writer& u32(uint32_t v);
  Writer& u64(uint64_t v);
  Writer& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  Writer& f64(double v);
  Writer& blob(const void* data, size_t n);
  Writer& str(const std::string& s) { return blob(s.data(), s.size()); }
  const std::vector<uint8_t>& bytes() const { return b_; }

 private:
  std::vector<uint8_t> b_;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t n) : p_(data), n_(n) {}
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  uint64_t u64();
  int32_t i32() { return static_cast<int32_t>(u32()); }
  double f64();
  std::vector<uint8_t> blob();
  std::string str();
  bool ok() const { return ok_; }
  bool atEnd() const { return pos_ == n_; }

 private:
  bool take(size_t k);
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace driverwire
