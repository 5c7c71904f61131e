// The simulated driver's direct socket: clients call the driver over a Unix sequenced-packet
// socket (platform/dbus/driver_wire.h) instead of through the bus, as a user client calls a
// kernel driver, and receive its registry events and messages there. One packet per request,
// answered at once; events go to every connected client. What a client cannot take at once (it
// is busy and its socket is full) waits for it in order, up to a limit (8 MiB); a client that
// falls further behind, or sends something that is not a request, is disconnected. One that
// leaves gives back what it had open.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/world.h"

namespace sim {

class DriverSocketServer final : public QObject {
 public:
  static constexpr size_t kDefaultMaxPendingBytes = 8 * 1024 * 1024;

  explicit DriverSocketServer(World& world, QObject* parent = nullptr);
  ~DriverSocketServer() override;

  // Listens at a new socket in `folder`. False, with the reason, when it cannot.
  bool listen(const std::string& folder, std::string* error);
  const std::string& path() const { return path_; }

  void sendEvent(const std::vector<uint8_t>& packet);
  // How much may wait for one client before it is let go.
  void setMaxPendingBytes(size_t bytes) { maxPending_ = bytes; }
  size_t clientCount() const { return clients_.size(); }

 private:
  struct Client {
    int fd = -1;
    std::string id;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;  // enabled while packets wait
    std::deque<std::vector<uint8_t>> pending;
    size_t pendingBytes = 0;
    bool leaving = false;  // dropped once the current work is done
  };
  void accept();
  void readable(int fd);
  void writable(int fd);
  // Sends the packet, or keeps it for later behind those already waiting. False when the
  // client is gone or too far behind.
  bool deliver(Client& c, const std::vector<uint8_t>& packet);
  // Sends what waits, as far as the socket takes it. False when the client is gone.
  bool flush(Client& c);
  void drop(int fd, const std::string& id);
  // Drops the client once the work in progress is done.
  void dropLater(Client& c);
  std::vector<uint8_t> answer(const Client& c, const uint8_t* packet, size_t n, bool* valid);

  World& world_;
  int listenFd_ = -1;
  std::string path_;
  std::unique_ptr<QSocketNotifier> listenNotifier_;
  std::map<int, Client> clients_;
  std::vector<uint8_t> buffer_;
  uint64_t nextClient_ = 1;
  size_t maxPending_ = kDefaultMaxPendingBytes;
};

}  // namespace sim
