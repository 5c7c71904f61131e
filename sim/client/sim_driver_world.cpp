#include "sim/client/sim_driver_world.h"

#include <QDBusArgument>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/sim_names.h"
#include "platform/iokit.h"

namespace simbus {

using driverwire::EventType;
using driverwire::Kind;
using driverwire::Method;
using driverwire::Reader;
using driverwire::Writer;
using iokit::IOReturn;

namespace {
// What a call answers when the simulator is gone or does not answer.
constexpr IOReturn kGone = iokit::kIOReturnNotResponding;
constexpr int kReplyTimeoutMs = 5000;
}  // namespace

SimDriverWorld::SimDriverWorld(SimLink& link, SimSystemMirror* system, QObject* parent)
    : QObject(parent), link_(link), system_(system) {
  if (!link_.connected()) return;
  link_.onPresenceChanged([this](bool present) {
    if (present) resync();
    else dropAll();
  });
  resync();
}

SimDriverWorld::~SimDriverWorld() { disconnectSocket(); }

// ---- connecting -------------------------------------------------------------------------------

void SimDriverWorld::subscribeBus(bool on) {
  if (on == busSubscribed_) return;
  busSubscribed_ = on;
  auto& bus = link_.bus();
  if (on) {
    bus.connect(kService, kDriverPath, kDriverInterface, "ServicePublished", this,
                SLOT(onPublished(qulonglong, qulonglong, QString)));
    bus.connect(kService, kDriverPath, kDriverInterface, "ServiceTerminated", this,
                SLOT(onTerminated(qulonglong, qulonglong, QString)));
    bus.connect(kService, kDriverPath, kDriverInterface, "MessagePosted", this,
                SLOT(onMessage(qulonglong, qulonglong, uint, QByteArray)));
  } else {
    bus.disconnect(kService, kDriverPath, kDriverInterface, "ServicePublished", this,
                   SLOT(onPublished(qulonglong, qulonglong, QString)));
    bus.disconnect(kService, kDriverPath, kDriverInterface, "ServiceTerminated", this,
                   SLOT(onTerminated(qulonglong, qulonglong, QString)));
    bus.disconnect(kService, kDriverPath, kDriverInterface, "MessagePosted", this,
                   SLOT(onMessage(qulonglong, qulonglong, uint, QByteArray)));
  }
}

bool SimDriverWorld::connectSocket() {
  const auto r = callBus("SocketPath");
  if (!r || r->isEmpty()) return false;
  const std::string path = (*r)[0].toString().toStdString();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return false;
  }
  sock_ = fd;
  // A child of the world: a notifier handed to deleteLater() when the event loop no longer runs
  // (the helper quitting) goes with the world instead of being lost.
  notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read, this);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { socketReadable(); });
  return true;
}

void SimDriverWorld::disconnectSocket() {
  if (sock_ < 0) return;
  notifier_->setEnabled(false);
  notifier_.release()->deleteLater();
  ::close(sock_);
  sock_ = -1;
  events_.clear();
  if (system_) system_->setFedInStep(false);
}

void SimDriverWorld::resync() {
  // Listen first: whatever happens after the snapshot then arrives as an event with a higher
  // sequence number, whatever happened before is in the snapshot.
  resyncing_ = true;
  disconnectSocket();
  subscribeBus(false);
  uint64_t seq = 0;
  std::vector<std::pair<iokit::ServiceId, std::string>> snapshot;
  bool got = false;
  if (connectSocket()) {
    if (const auto reply = request(Method::Snapshot, Writer()); reply && reply->status == 0) {
      Reader r = reply->results();
      seq = r.u64();
      const uint32_t n = r.u32();
      for (uint32_t i = 0; i < n && r.ok(); ++i) {
        const uint64_t id = r.u64();
        snapshot.emplace_back(id, r.str());
      }
      got = r.ok();
    }
    // The system state as it is now; from here on its changes come in line with the events.
    if (got && system_) {
      const auto reply = request(Method::SystemState, Writer());
      Reader r = reply ? reply->results() : Reader(nullptr, 0);
      const uint64_t systemSeq = r.u64();
      const auto bytes = r.blob();
      const auto state = r.ok() ? decodeSystemState(bytes.data(), bytes.size()) : std::nullopt;
      got = state.has_value();
      if (got) {
        system_->apply(systemSeq, *state);
        system_->setFedInStep(true);
      }
    }
    if (!got) {
      disconnectSocket();
      snapshot.clear();
    }
  }
  if (!got) {
    subscribeBus(true);
    if (const auto r = callBus("Snapshot"); r && r->size() >= 3) {
      seq = (*r)[0].toULongLong();
      const auto ids = qdbus_cast<QList<qulonglong>>((*r)[1]);
      const auto classes = (*r)[2].toStringList();
      for (qsizetype i = 0; i < ids.size() && i < classes.size(); ++i)
        snapshot.emplace_back(ids[i], classes[i].toStdString());
      got = true;
    }
  }
  resyncing_ = false;
  if (!got) return;
  seq_ = std::max<qulonglong>(seq_, seq);
  for (const auto& [id, cls] : snapshot) {
    if (!className(id).empty()) continue;
    services_.emplace_back(id, cls);
    if (observer_) observer_->servicePublished(id, services_.back().second);
  }
}

void SimDriverWorld::dropAll() {
  disconnectSocket();
  auto gone = std::move(services_);
  services_.clear();
  seq_ = 0;
  for (const auto& [id, cls] : gone)
    if (observer_) observer_->serviceTerminated(id, cls);
}

void SimDriverWorld::socketLost() {
  disconnectSocket();
  if (resyncing_) return;  // resync() turns to the bus itself
  dropAll();
  if (link_.present()) resync();
}

// ---- the direct socket ------------------------------------------------------------------------

std::optional<SimDriverWorld::Reply> SimDriverWorld::request(Method method, const Writer& arguments) {
  if (sock_ < 0) return std::nullopt;
  const uint32_t id = nextRequest_++;
  Writer w;
  w.u8(static_cast<uint8_t>(Kind::Request)).u32(id).u8(static_cast<uint8_t>(method));
  std::vector<uint8_t> packet = w.bytes();
  packet.insert(packet.end(), arguments.bytes().begin(), arguments.bytes().end());
  if (::send(sock_, packet.data(), packet.size(), MSG_NOSIGNAL) < 0) {
    pollfd p{sock_, POLLOUT, 0};
    if (errno != EAGAIN || ::poll(&p, 1, kReplyTimeoutMs) <= 0 ||
        ::send(sock_, packet.data(), packet.size(), MSG_NOSIGNAL) < 0) {
      socketLost();
      return std::nullopt;
    }
  }
  // Wait for the answer; events that come first wait for the event loop.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
  std::vector<uint8_t>& buf = buffer_;
  for (;;) {
    const ssize_t n = ::recv(sock_, buf.data(), buf.size(), 0);
    if (n > 0) {
      Reader r(buf.data(), static_cast<size_t>(n));
      const auto kind = static_cast<Kind>(r.u8());
      if (kind == Kind::Event) {
        events_.emplace_back(buf.begin(), buf.begin() + n);
        if (!dispatchQueued_) {
          dispatchQueued_ = true;
          QMetaObject::invokeMethod(this, [this] { dispatchEvents(); }, Qt::QueuedConnection);
        }
        continue;
      }
      const uint32_t replyId = r.u32();
      const int32_t status = r.i32();
      if (kind != Kind::Reply || !r.ok() || replyId != id) continue;  // a stale answer
      return Reply{status, std::vector<uint8_t>(buf.begin(), buf.begin() + n), 9};
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{sock_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
  }
  socketLost();
  return std::nullopt;
}

void SimDriverWorld::socketReadable() {
  std::vector<uint8_t>& buf = buffer_;
  bool lost = false;
  for (;;) {
    const ssize_t n = ::recv(sock_, buf.data(), buf.size(), 0);
    if (n > 0) {
      if (buf[0] == static_cast<uint8_t>(Kind::Event)) events_.emplace_back(buf.begin(), buf.begin() + n);
      continue;
    }
    lost = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    break;
  }
  dispatchEvents();
  if (lost) socketLost();
}

void SimDriverWorld::dispatchEvents() {
  dispatchQueued_ = false;
  while (!events_.empty()) {
    const auto packet = std::move(events_.front());
    events_.pop_front();
    applyEvent(packet);
  }
}

void SimDriverWorld::applyEvent(const std::vector<uint8_t>& packet) {
  Reader r(packet.data(), packet.size());
  r.u8();  // kind
  const uint64_t seq = r.u64();
  const auto type = static_cast<EventType>(r.u8());
  const uint64_t service = r.u64();
  if (!r.ok()) return;
  switch (type) {
    case EventType::Published: {
      const std::string cls = r.str();
      if (r.ok()) published(seq, service, cls);
      break;
    }
    case EventType::Terminated:
      terminated(seq, service);
      break;
    case EventType::Message: {
      const uint32_t messageType = r.u32();
      const auto argument = r.blob();
      if (r.ok()) message(seq, service, messageType, argument.empty() ? nullptr : argument.data(), argument.size());
      break;
    }
    case EventType::SystemState: {
      const auto bytes = r.blob();
      if (!r.ok() || !system_) break;
      if (const auto state = decodeSystemState(bytes.data(), bytes.size())) system_->apply(seq, *state);
      break;
    }
  }
}

// ---- events, from either path -----------------------------------------------------------------

bool SimDriverWorld::fresh(qulonglong seq) {
  if (seq <= seq_) return false;
  seq_ = seq;
  return true;
}

void SimDriverWorld::published(qulonglong seq, iokit::ServiceId service, const std::string& cls) {
  if (!fresh(seq) || !className(service).empty()) return;
  services_.emplace_back(service, cls);
  if (observer_) observer_->servicePublished(service, services_.back().second);
}

void SimDriverWorld::terminated(qulonglong seq, iokit::ServiceId service) {
  if (!fresh(seq)) return;
  auto it = std::find_if(services_.begin(), services_.end(), [&](const auto& s) { return s.first == service; });
  if (it == services_.end()) return;
  const std::string cls = it->second;
  services_.erase(it);
  if (observer_) observer_->serviceTerminated(service, cls);
}

void SimDriverWorld::message(qulonglong seq, iokit::ServiceId service, uint32_t type, const uint8_t* argument,
                             size_t size) {
  if (!fresh(seq) || className(service).empty() || !observer_) return;
  observer_->messagePosted(service, type, argument, size);
}

void SimDriverWorld::onPublished(qulonglong seq, qulonglong service, const QString& cls) {
  published(seq, service, cls.toStdString());
}

void SimDriverWorld::onTerminated(qulonglong seq, qulonglong service, const QString&) { terminated(seq, service); }

void SimDriverWorld::onMessage(qulonglong seq, qulonglong service, uint type, const QByteArray& argument) {
  message(seq, service, type, argument.isEmpty() ? nullptr : reinterpret_cast<const uint8_t*>(argument.constData()),
          static_cast<size_t>(argument.size()));
}

// ---- the registry and the calls ---------------------------------------------------------------

std::vector<iokit::ServiceId> SimDriverWorld::services(std::string_view cls) const {
  std::vector<iokit::ServiceId> out;
  for (const auto& [id, c] : services_)
    if (c == cls) out.push_back(id);
  return out;
}

std::string_view SimDriverWorld::className(iokit::ServiceId service) const {
  for (const auto& [id, c] : services_)
    if (id == service) return c;
  return {};
}

std::optional<QList<QVariant>> SimDriverWorld::callBus(const char* method, const QList<QVariant>& args) {
  return link_.callDriver(method, args);
}

IOReturn SimDriverWorld::open(iokit::ServiceId service, uint32_t type, iokit::io_connect_t* connection) {
  if (className(service).empty()) return iokit::kIOReturnNoDevice;
  if (direct()) {
    const auto reply = request(Method::Open, Writer().u64(service).u32(type));
    if (!reply) return kGone;
    const uint32_t handle = reply->results().u32();
    if (reply->status == 0 && connection) *connection = handle;
    return reply->status;
  }
  const auto r = callBus("Open", {QVariant::fromValue(static_cast<qulonglong>(service)), type});
  if (!r || r->size() < 2) return kGone;
  const IOReturn status = (*r)[0].toInt();
  if (status == 0 && connection) *connection = (*r)[1].toUInt();
  return status;
}

IOReturn SimDriverWorld::close(iokit::io_connect_t connection) {
  if (direct()) {
    const auto reply = request(Method::Close, Writer().u32(connection));
    return reply ? reply->status : kGone;
  }
  const auto r = callBus("Close", {connection});
  return r && !r->isEmpty() ? (*r)[0].toInt() : kGone;
}

IOReturn SimDriverWorld::call(iokit::io_connect_t connection, uint32_t selector, const uint64_t* input,
                              uint32_t inputCnt, const void* inputStruct, size_t inputStructCnt,
                              uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                              size_t* outputStructCnt) {
  const uint32_t outCapacity = outputCnt ? *outputCnt : 0;
  const uint64_t structCapacity = outputStructCnt ? *outputStructCnt : 0;
  IOReturn status = kGone;
  std::vector<uint64_t> out;
  std::vector<uint8_t> outStruct;
  if (direct()) {
    Writer args;
    args.u32(connection).u32(selector).u32(inputCnt);
    for (uint32_t i = 0; i < inputCnt; ++i) args.u64(input[i]);
    args.blob(inputStruct, inputStruct ? inputStructCnt : 0).u32(outCapacity).u64(structCapacity);
    const auto reply = request(Method::Call, args);
    if (!reply) return kGone;
    Reader r = reply->results();
    const uint32_t n = r.u32();
    for (uint32_t i = 0; i < n && i < 16 && r.ok(); ++i) out.push_back(r.u64());
    outStruct = r.blob();
    if (!r.ok()) return kGone;
    status = reply->status;
  } else {
    QList<qulonglong> in;
    for (uint32_t i = 0; i < inputCnt; ++i) in.append(input[i]);
    const QByteArray inStruct = inputStruct ? QByteArray(static_cast<const char*>(inputStruct),
                                                         static_cast<qsizetype>(inputStructCnt))
                                            : QByteArray();
    const auto r = callBus("Call", {connection, selector, QVariant::fromValue(in), inStruct, outCapacity,
                                    QVariant::fromValue(static_cast<qulonglong>(structCapacity))});
    if (!r || r->size() < 3) return kGone;
    status = (*r)[0].toInt();
    for (qulonglong v : qdbus_cast<QList<qulonglong>>((*r)[1])) out.push_back(v);
    const QByteArray b = (*r)[2].toByteArray();
    outStruct.assign(b.begin(), b.end());
  }
  if (outputCnt) {
    const uint32_t n = std::min<uint32_t>(outCapacity, static_cast<uint32_t>(out.size()));
    for (uint32_t i = 0; i < n; ++i) output[i] = out[i];
    *outputCnt = n;
  }
  if (outputStructCnt) {
    const size_t n = std::min<size_t>(static_cast<size_t>(structCapacity), outStruct.size());
    if (n && outputStruct) std::memcpy(outputStruct, outStruct.data(), n);
    *outputStructCnt = outputStruct ? n : 0;
  }
  return status;
}

IOReturn SimDriverWorld::usbIdentity(iokit::ServiceId service, uint16_t* vendor, uint16_t* product) {
  uint16_t v = 0, p = 0;
  IOReturn status = kGone;
  if (direct()) {
    const auto reply = request(Method::UsbIdentity, Writer().u64(service));
    if (!reply) return kGone;
    Reader r = reply->results();
    v = r.u16();
    p = r.u16();
    status = reply->status;
  } else {
    const auto r = callBus("UsbIdentity", {QVariant::fromValue(static_cast<qulonglong>(service))});
    if (!r || r->size() < 3) return kGone;
    status = (*r)[0].toInt();
    v = static_cast<uint16_t>((*r)[1].toUInt());
    p = static_cast<uint16_t>((*r)[2].toUInt());
  }
  if (status == 0) {
    if (vendor) *vendor = v;
    if (product) *product = p;
  }
  return status;
}

IOReturn SimDriverWorld::usbRequest(Method method, const char* busMethod, iokit::ServiceId service,
                                    std::optional<uint32_t> options) {
  if (direct()) {
    Writer args;
    args.u64(service);
    if (options) args.u32(*options);
    const auto reply = request(method, args);
    return reply ? reply->status : kGone;
  }
  QList<QVariant> args{QVariant::fromValue(static_cast<qulonglong>(service))};
  if (options) args.append(*options);
  const auto r = callBus(busMethod, args);
  return r && !r->isEmpty() ? (*r)[0].toInt() : kGone;
}

IOReturn SimDriverWorld::usbOpen(iokit::ServiceId s) { return usbRequest(Method::UsbOpen, "UsbOpen", s); }
IOReturn SimDriverWorld::usbClose(iokit::ServiceId s) { return usbRequest(Method::UsbClose, "UsbClose", s); }
IOReturn SimDriverWorld::usbReset(iokit::ServiceId s) { return usbRequest(Method::UsbReset, "UsbReset", s); }
IOReturn SimDriverWorld::usbReEnumerate(iokit::ServiceId s, uint32_t options) {
  return usbRequest(Method::UsbReEnumerate, "UsbReEnumerate", s, options);
}

}  // namespace simbus
