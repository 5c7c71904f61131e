#include "platform/dbus/sim_driver_world.h"

#include <QDBusArgument>
#include <QDBusMetaType>

#include <algorithm>
#include <cstring>

#include "platform/dbus/sim_names.h"
#include "platform/iokit.h"

namespace simbus {

using iokit::IOReturn;

namespace {
// What a call answers when the simulator is gone or does not answer.
constexpr IOReturn kGone = iokit::kIOReturnNotResponding;
}  // namespace

SimDriverWorld::SimDriverWorld(SimLink& link, QObject* parent) : QObject(parent), link_(link) {
  if (!link_.connected()) return;
  link_.onPresenceChanged([this](bool present) {
    if (present) resync();
    else dropAll();
  });
  resync();
}

SimDriverWorld::~SimDriverWorld() { disconnectPeer(); }

void SimDriverWorld::subscribe(QDBusConnection& c, const QString& service) {
  c.connect(service, kDriverPath, kDriverInterface, "ServicePublished", this,
            SLOT(onPublished(qulonglong, qulonglong, QString)));
  c.connect(service, kDriverPath, kDriverInterface, "ServiceTerminated", this,
            SLOT(onTerminated(qulonglong, qulonglong, QString)));
  c.connect(service, kDriverPath, kDriverInterface, "MessagePosted", this,
            SLOT(onMessage(qulonglong, qulonglong, uint, QByteArray)));
}

void SimDriverWorld::unsubscribe(QDBusConnection& c, const QString& service) {
  c.disconnect(service, kDriverPath, kDriverInterface, "ServicePublished", this,
               SLOT(onPublished(qulonglong, qulonglong, QString)));
  c.disconnect(service, kDriverPath, kDriverInterface, "ServiceTerminated", this,
               SLOT(onTerminated(qulonglong, qulonglong, QString)));
  c.disconnect(service, kDriverPath, kDriverInterface, "MessagePosted", this,
               SLOT(onMessage(qulonglong, qulonglong, uint, QByteArray)));
}

bool SimDriverWorld::connectPeer() {
  const auto r = link_.callDriver("PeerAddress");
  if (!r || r->isEmpty() || (*r)[0].toString().isEmpty()) return false;
  static int serial = 0;
  const QString name = QStringLiteral("vantrel-sim-peer-%1").arg(++serial);
  QDBusConnection c = QDBusConnection::connectToPeer((*r)[0].toString(), name);
  if (!c.isConnected()) {
    QDBusConnection::disconnectFromPeer(name);
    return false;
  }
  peer_ = c;
  subscribe(*peer_, QString());
  return true;
}

void SimDriverWorld::disconnectPeer() {
  if (!peer_) return;
  const QString name = peer_->name();
  unsubscribe(*peer_, QString());
  peer_.reset();
  QDBusConnection::disconnectFromPeer(name);
}

std::optional<QList<QVariant>> SimDriverWorld::callDriver(const char* method, const QList<QVariant>& args) {
  if (!peer_) return link_.callDriver(method, args);
  if (!link_.present()) return std::nullopt;
  auto m = QDBusMessage::createMethodCall(QString(), kDriverPath, kDriverInterface, method);
  m.setArguments(args);
  const QDBusMessage reply = peer_->call(m, QDBus::Block, 5000);
  if (reply.type() != QDBusMessage::ReplyMessage) return std::nullopt;
  return reply.arguments();
}

void SimDriverWorld::resync() {
  // Subscribe first: whatever happens after the snapshot then arrives as a signal with a higher
  // sequence number, whatever happened before is in the snapshot.
  disconnectPeer();
  if (busSubscribed_) {
    unsubscribe(link_.bus(), kService);
    busSubscribed_ = false;
  }
  if (!connectPeer()) {
    subscribe(link_.bus(), kService);
    busSubscribed_ = true;
  }
  const auto r = callDriver("Snapshot");
  if (!r || r->size() < 3) return;
  seq_ = (*r)[0].toULongLong();
  const auto ids = qdbus_cast<QList<qulonglong>>((*r)[1]);
  const auto classes = (*r)[2].toStringList();
  for (qsizetype i = 0; i < ids.size() && i < classes.size(); ++i) {
    if (className(ids[i]).empty()) {
      services_.emplace_back(ids[i], classes[i].toStdString());
      if (observer_) observer_->servicePublished(ids[i], services_.back().second);
    }
  }
}

void SimDriverWorld::dropAll() {
  disconnectPeer();
  auto gone = std::move(services_);
  services_.clear();
  seq_ = 0;
  for (const auto& [id, cls] : gone)
    if (observer_) observer_->serviceTerminated(id, cls);
}

bool SimDriverWorld::fresh(qulonglong seq) {
  if (seq <= seq_) return false;
  seq_ = seq;
  return true;
}

void SimDriverWorld::onPublished(qulonglong seq, qulonglong service, const QString& cls) {
  if (!fresh(seq) || !className(service).empty()) return;
  services_.emplace_back(service, cls.toStdString());
  if (observer_) observer_->servicePublished(service, services_.back().second);
}

void SimDriverWorld::onTerminated(qulonglong seq, qulonglong service, const QString&) {
  if (!fresh(seq)) return;
  auto it = std::find_if(services_.begin(), services_.end(), [&](const auto& s) { return s.first == service; });
  if (it == services_.end()) return;
  const std::string cls = it->second;
  services_.erase(it);
  if (observer_) observer_->serviceTerminated(service, cls);
}

void SimDriverWorld::onMessage(qulonglong seq, qulonglong service, uint type, const QByteArray& argument) {
  if (!fresh(seq) || className(service).empty()) return;
  if (!observer_) return;
  const auto* bytes = reinterpret_cast<const uint8_t*>(argument.constData());
  observer_->messagePosted(service, type, argument.isEmpty() ? nullptr : bytes, static_cast<size_t>(argument.size()));
}

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

IOReturn SimDriverWorld::open(iokit::ServiceId service, uint32_t type, iokit::io_connect_t* connection) {
  if (className(service).empty()) return iokit::kIOReturnNoDevice;
  const auto r = callDriver("Open", {QVariant::fromValue(static_cast<qulonglong>(service)), type});
  if (!r || r->size() < 2) return kGone;
  const IOReturn status = (*r)[0].toInt();
  if (status == 0 && connection) *connection = (*r)[1].toUInt();
  return status;
}

IOReturn SimDriverWorld::close(iokit::io_connect_t connection) {
  const auto r = callDriver("Close", {connection});
  return r && !r->isEmpty() ? (*r)[0].toInt() : kGone;
}

IOReturn SimDriverWorld::call(iokit::io_connect_t connection, uint32_t selector, const uint64_t* input,
                              uint32_t inputCnt, const void* inputStruct, size_t inputStructCnt,
                              uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                              size_t* outputStructCnt) {
  QList<qulonglong> in;
  for (uint32_t i = 0; i < inputCnt; ++i) in.append(input[i]);
  const QByteArray inStruct = inputStruct ? QByteArray(static_cast<const char*>(inputStruct),
                                                       static_cast<qsizetype>(inputStructCnt))
                                          : QByteArray();
  const uint outCapacity = outputCnt ? *outputCnt : 0;
  const qulonglong structCapacity = outputStructCnt ? *outputStructCnt : 0;
  const auto r = callDriver("Call", {connection, selector, QVariant::fromValue(in), inStruct, outCapacity,
                                           QVariant::fromValue(structCapacity)});
  if (!r || r->size() < 3) return kGone;
  const IOReturn status = (*r)[0].toInt();
  const auto out = qdbus_cast<QList<qulonglong>>((*r)[1]);
  const QByteArray outStruct = (*r)[2].toByteArray();
  if (outputCnt) {
    const uint32_t n = std::min<uint32_t>(outCapacity, static_cast<uint32_t>(out.size()));
    for (uint32_t i = 0; i < n; ++i) output[i] = out[static_cast<qsizetype>(i)];
    *outputCnt = n;
  }
  if (outputStructCnt) {
    const size_t n = std::min<size_t>(static_cast<size_t>(structCapacity), static_cast<size_t>(outStruct.size()));
    if (n && outputStruct) std::memcpy(outputStruct, outStruct.constData(), n);
    *outputStructCnt = outputStruct ? n : 0;
  }
  return status;
}

IOReturn SimDriverWorld::usbIdentity(iokit::ServiceId service, uint16_t* vendor, uint16_t* product) {
  const auto r = callDriver("UsbIdentity", {QVariant::fromValue(static_cast<qulonglong>(service))});
  if (!r || r->size() < 3) return kGone;
  const IOReturn status = (*r)[0].toInt();
  if (status == 0) {
    if (vendor) *vendor = static_cast<uint16_t>((*r)[1].toUInt());
    if (product) *product = static_cast<uint16_t>((*r)[2].toUInt());
  }
  return status;
}

IOReturn SimDriverWorld::usbCall(const char* method, iokit::ServiceId service, const QList<QVariant>& extra) {
  QList<QVariant> args{QVariant::fromValue(static_cast<qulonglong>(service))};
  args.append(extra);
  const auto r = callDriver(method, args);
  return r && !r->isEmpty() ? (*r)[0].toInt() : kGone;
}

IOReturn SimDriverWorld::usbOpen(iokit::ServiceId service) { return usbCall("UsbOpen", service); }
IOReturn SimDriverWorld::usbClose(iokit::ServiceId service) { return usbCall("UsbClose", service); }
IOReturn SimDriverWorld::usbReset(iokit::ServiceId service) { return usbCall("UsbReset", service); }
IOReturn SimDriverWorld::usbReEnumerate(iokit::ServiceId service, uint32_t options) {
  return usbCall("UsbReEnumerate", service, {options});
}

}  // namespace simbus
