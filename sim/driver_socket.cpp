#include "sim/driver_socket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/driver_wire.h"

namespace sim {

using driverwire::Kind;
using driverwire::Method;
using driverwire::Reader;
using driverwire::Writer;

DriverSocketServer::DriverSocketServer(World& world, QObject* parent) : QObject(parent), world_(world) {}

DriverSocketServer::~DriverSocketServer() {
  for (auto& [fd, c] : clients_) ::close(fd);
  clients_.clear();
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    ::unlink(path_.c_str());
  }
}

bool DriverSocketServer::listen(const std::string& folder, std::string* error) {
  static int serial = 0;
  path_ = folder + "/vantrel-sim-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".sock";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path_.size() >= sizeof addr.sun_path) {
    *error = "the socket path is too long: " + path_;
    return false;
  }
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  listenFd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  ::unlink(path_.c_str());
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 16) != 0) {
    *error = std::string("cannot listen at ") + path_ + ": " + std::strerror(errno);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  ::chmod(path_.c_str(), 0600);
  listenNotifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
  connect(listenNotifier_.get(), &QSocketNotifier::activated, this, [this] { accept(); });
  return true;
}

void DriverSocketServer::accept() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    Client c;
    c.fd = fd;
    c.id = "socket:" + std::to_string(nextClient_++);
    c.reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(c.reader.get(), &QSocketNotifier::activated, this, [this, fd] { readable(fd); });
    c.writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    c.writer->setEnabled(false);
    connect(c.writer.get(), &QSocketNotifier::activated, this, [this, fd] { writable(fd); });
    clients_[fd] = std::move(c);
    world_.note("client", "a program connected to the driver");
  }
}

void DriverSocketServer::drop(int fd, const std::string& id) {
  auto it = clients_.find(fd);
  if (it == clients_.end() || it->second.id != id) return;
  // The notifiers may be the ones whose signal is running: they go once it has returned.
  for (auto* n : {&it->second.reader, &it->second.writer}) {
    (*n)->setEnabled(false);
    n->release()->deleteLater();
  }
  ::close(fd);
  // `id` may be the client's own string: keep a copy past the erase.
  const std::string gone = id;
  clients_.erase(it);
  world_.clientGone(gone);
}

void DriverSocketServer::dropLater(Client& c) {
  c.leaving = true;
  c.reader->setEnabled(false);
  c.writer->setEnabled(false);
  QMetaObject::invokeMethod(this, [this, fd = c.fd, id = c.id] { drop(fd, id); }, Qt::QueuedConnection);
}

bool DriverSocketServer::flush(Client& c) {
  while (!c.pending.empty()) {
    const auto& packet = c.pending.front();
    if (::send(c.fd, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      break;
    }
    c.pendingBytes -= packet.size();
    c.pending.pop_front();
  }
  c.writer->setEnabled(!c.pending.empty());
  return true;
}

bool DriverSocketServer::deliver(Client& c, const std::vector<uint8_t>& packet) {
  if (c.pendingBytes + packet.size() > maxPending_) return false;
  c.pending.push_back(packet);
  c.pendingBytes += packet.size();
  return flush(c);
}

void DriverSocketServer::writable(int fd) {
  auto it = clients_.find(fd);
  if (it == clients_.end()) return;
  if (!flush(it->second)) drop(fd, it->second.id);
}

void DriverSocketServer::readable(int fd) {
  std::vector<uint8_t>& buf = buffer_;
  buf.resize(driverwire::kMaxPacket);
  for (;;) {
    auto it = clients_.find(fd);
    if (it == clients_.end()) return;
    Client& c = it->second;
    const ssize_t n = ::recv(fd, buf.data(), buf.size(), MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // Gone, or a packet larger than any request.
    if (n <= 0 || static_cast<size_t>(n) > buf.size()) return drop(fd, c.id);
    bool valid = false;
    const auto reply = answer(c, buf.data(), static_cast<size_t>(n), &valid);
    // The answer goes behind the events the client has not taken yet.
    if (!valid || !deliver(c, reply)) return drop(fd, c.id);
  }
}

std::vector<uint8_t> DriverSocketServer::answer(const Client& c, const uint8_t* packet, size_t n, bool* valid) {
  Reader r(packet, n);
  const auto kind = static_cast<Kind>(r.u8());
  const uint32_t id = r.u32();
  const auto method = static_cast<Method>(r.u8());
  Writer out;
  out.u8(static_cast<uint8_t>(Kind::Reply)).u32(id);
  *valid = false;
  if (!r.ok() || kind != Kind::Request) return {};
  switch (method) {
    case Method::Snapshot: {
      const auto services = world_.services();
      out.i32(iokit::kIOReturnSuccess).u64(world_.registrySeq()).u32(static_cast<uint32_t>(services.size()));
      for (const auto& [service, cls] : services) out.u64(service).str(cls);
      break;
    }
    case Method::Open: {
      const uint64_t service = r.u64();
      const uint32_t type = r.u32();
      if (!r.ok()) return {};
      uint32_t connection = 0;
      out.i32(world_.open(service, type, c.id, &connection)).u32(connection);
      break;
    }
    case Method::Close: {
      const uint32_t connection = r.u32();
      if (!r.ok()) return {};
      out.i32(world_.close(connection));
      break;
    }
    case Method::Call: {
      const uint32_t connection = r.u32();
      const uint32_t selector = r.u32();
      const uint32_t count = r.u32();
      if (!r.ok() || count > 16) return {};
      std::vector<uint64_t> input(count);
      for (auto& v : input) v = r.u64();
      const auto inStruct = r.blob();
      const uint32_t outputs = r.u32();
      const uint64_t capacity = r.u64();
      if (!r.ok()) return {};
      std::vector<uint64_t> output;
      std::vector<uint8_t> outStruct;
      const Status s = world_.call(connection, selector, input, inStruct, outputs,
                                   std::min<uint64_t>(capacity, driverwire::kMaxPacket / 2), &output, &outStruct);
      out.i32(s).u32(static_cast<uint32_t>(output.size()));
      for (uint64_t v : output) out.u64(v);
      out.blob(outStruct.data(), outStruct.size());
      break;
    }
    case Method::UsbIdentity: {
      const uint64_t service = r.u64();
      if (!r.ok()) return {};
      uint16_t vendor = 0, product = 0;
      out.i32(world_.usbIdentity(service, &vendor, &product)).u16(vendor).u16(product);
      break;
    }
    case Method::UsbOpen:
    case Method::UsbClose:
    case Method::UsbReset:
    case Method::UsbReEnumerate: {
      const uint64_t service = r.u64();
      const uint32_t options = method == Method::UsbReEnumerate ? r.u32() : 0;
      if (!r.ok()) return {};
      Status s = iokit::kIOReturnBadArgument;
      if (method == Method::UsbOpen) s = world_.usbOpen(service, c.id);
      else if (method == Method::UsbClose) s = world_.usbClose(service, c.id);
      else if (method == Method::UsbReset) s = world_.usbReset(service, c.id);
      else s = world_.usbReEnumerate(service, options, c.id);
      out.i32(s);
      break;
    }
    case Method::SystemState: {
      const auto state = simbus::encodeSystemState(world_.systemState());
      out.i32(iokit::kIOReturnSuccess).u64(world_.systemStateSeq()).blob(state.data(), state.size());
      break;
    }
    default:
      return {};
  }
  *valid = true;
  return out.bytes();
}

void DriverSocketServer::sendEvent(const std::vector<uint8_t>& packet) {
  // A client that is gone or too far behind is let go once the world has finished what it is
  // doing (this runs in the middle of it).
  for (auto& [fd, c] : clients_)
    if (!c.leaving && !deliver(c, packet)) dropLater(c);
}

}  // namespace sim
