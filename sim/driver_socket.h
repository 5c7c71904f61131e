// The simulated driver's direct socket: clients call the driver over a Unix sequenced-packet
// socket (platform/dbus/driver_wire.h) instead of through the bus, as a user client calls a
// kernel driver, and receive its registry events and messages there. One packet per request,
// answered at once; events go to every connected client. A client that sends something that is
// not a request is disconnected; one that leaves gives back what it had open.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/world.h"

namespace sim {

class DriverSocketServer final : public QObject {
 public:
  explicit DriverSocketServer(World& world, QObject* parent = nullptr);
  ~DriverSocketServer() override;

  // Listens at a new socket in `folder`. False, with the reason, when it cannot.
  bool listen(const std::string& folder, std::string* error);
  const std::string& path() const { return path_; }

  void sendEvent(const std::vector<uint8_t>& packet);
  size_t clientCount() const { return clients_.size(); }

 private:
  struct Client {
    int fd = -1;
    std::string id;
    std::unique_ptr<QSocketNotifier> notifier;
  };
  void accept();
  void readable(int fd);
  void drop(int fd);
  std::vector<uint8_t> answer(const Client& c, const uint8_t* packet, size_t n, bool* valid);

  World& world_;
  int listenFd_ = -1;
  std::string path_;
  std::unique_ptr<QSocketNotifier> listenNotifier_;
  std::map<int, Client> clients_;
  std::vector<uint8_t> buffer_;
  uint64_t nextClient_ = 1;
};

}  // namespace sim
