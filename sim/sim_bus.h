// The simulator on the session bus: three objects (driver, system, control) that call into the
// World, and the signals that tell clients what happened in it.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/driver_socket.h"
#include "sim/world.h"

namespace sim {

class SimBus;

class DriverObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.halvorn.vantrel.Simulator.Driver")

 public:
  explicit DriverObject(SimBus& bus) : bus_(bus) {}

 public Q_SLOTS:
  // The driver's direct socket (sim/driver_socket.h): the same calls and events without the bus
  // in between. Empty when there is none.
  QString SocketPath();
  qulonglong Snapshot(QList<qulonglong>& services, QStringList& classes);
  int Open(qulonglong service, uint type, uint& connection);
  int Close(uint connection);
  int Call(uint connection, uint selector, const QList<qulonglong>& input, const QByteArray& inputStruct,
           uint outputCount, qulonglong outputStructCapacity, QList<qulonglong>& output,
           QByteArray& outputStruct);
  int UsbIdentity(qulonglong service, ushort& vendor, ushort& product);
  int UsbOpen(qulonglong service);
  int UsbClose(qulonglong service);
  int UsbReset(qulonglong service);
  int UsbReEnumerate(qulonglong service, uint options);

 private:
  std::string client();
  SimBus& bus_;
};

class SystemObject : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.halvorn.vantrel.Simulator.System")

 public:
  explicit SystemObject(SimBus& bus) : bus_(bus) {}

 public Q_SLOTS:
  bool ConsoleSession(bool& hasOnConsoleKey, bool& onConsole);
  uint KeyModifiers();
  uint MouseButtons();
  bool Accessibility();
  int FocusedWindow(bool& enabled, double& x, double& y, double& width, double& height, qlonglong& children);
  // The console, keys, buttons, accessibility and focused window in one (sim/system_state.h),
  // and its sequence number; "SystemStateChanged" carries the same whenever it changes.
  qulonglong SystemState(QByteArray& state);
  double Pointer(double& y);
  int WarpPointer(double x, double y);
  uint Processes(QList<uint>& psnHigh, QList<uint>& psnLow, QList<uint>& signatures, QStringList& names);
  int OpenApplicationWithCreator(uint creator);
  int SendAppleEvent(uint addressType, uint psnHigh, uint psnLow, uint eventClass, uint eventID, int returnID,
                     int transactionID, int sendMode, int timeout);
  int RunScript(const QString& source);
  bool OpenFile(const QString& path);
  bool LaunchApplication(const QString& nameOrPath);
  bool LaunchBundle(const QString& bundleID, uint options);
  bool OpenURL(const QString& url);
  QStringList PasteboardTypes();
  bool PasteboardData(const QString& type, QByteArray& data);
  void PasteboardDeclare(const QStringList& types);
  bool PasteboardSetData(const QByteArray& data, const QString& type);
  int PopUpSnippetsMenu(const QStringList& titles);
  QString FrontApplication();
  // The installed applications (a JSON array of objects: bundle_id, name, executable,
  // signature, bundle_path), for application choosers.
  QString Applications();
  QString HidDevices();

 private:
  SimBus& bus_;
};

class ControlObject : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.halvorn.vantrel.Simulator.Control")

 public:
  explicit ControlObject(SimBus& bus) : bus_(bus) {}

 public Q_SLOTS:
  QString Catalogue();
  QString Attach(const QString& key, const QString& optionsJson);
  bool Detach(qulonglong device);
  QString Devices();
  QString Press(qulonglong device, ushort button, bool raw);
  QString Report(qulonglong device, const QByteArray& bytes, bool force);
  // Both answer with the sequence number and time of their log entry, for timing what follows.
  QString Activate(const QString& applicationJson);
  void SetConsole(bool dictionary, bool hasOnConsoleKey, bool onConsole);
  void SetModifiers(uint classic);
  void SetMouseButtons(uint buttons);
  void SetAccessibility(bool enabled);
  void SetFocusedWindow(const QString& windowJson);
  void SetPointer(double x, double y);
  void AddProcess(const QString& processJson);
  bool RemoveProcess(uint signature);
  void SetMenuChoice(int item);
  QString State();
  QString Log(qulonglong since);
  qulonglong LastLogSeq();
  void ClearLog();
  // Answers once `count` entries of this kind ("" for any) follow `since`, or when the time is
  // up, with the matching entries (a JSON array).
  QString WaitForLog(qulonglong since, const QString& kind, uint count, uint timeoutMs);
  void Quit();

 private:
  SimBus& bus_;
};

class SimBus : public QObject, private World::Observer {
  Q_OBJECT

 public:
  SimBus(World& world, const QDBusConnection& connection);
  ~SimBus() override;

  // Registers the objects and takes the service name. False (with the reason) when the name is
  // taken or the bus is missing.
  bool start(std::string* error);
  // Before start(): whether to offer the direct driver socket (clients then use the bus alone).
  void setDirectSocket(bool offer) { offerSocket_ = offer; }
  // Before start(): whether to stand in for the operating system too (kSystemService), or only
  // for the driver and its devices, next to a real desktop.
  void setStandsInForSystem(bool system) { standsInForSystem_ = system; }
  // Before start(): how much may wait on the socket for a client that does not read.
  void setDriverSocketLimit(size_t bytes) { socketLimit_ = bytes; }

  World& world() { return world_; }
  QDBusConnection& connection() { return connection_; }
  void watchClient(const std::string& client);
  QString socketPath() const;

  struct Waiter {
    QDBusMessage request;
    uint64_t since = 0;
    std::string kind;
    uint32_t count = 0;
    qint64 deadlineMs = 0;
  };
  void addWaiter(Waiter w);

 Q_SIGNALS:
  void quitRequested();

 private:
  // World::Observer
  void servicePublished(uint64_t seq, ServiceId service, const std::string& className) override;
  void serviceTerminated(uint64_t seq, ServiceId service, const std::string& className) override;
  void messagePosted(uint64_t seq, ServiceId service, uint32_t type, const std::vector<uint8_t>& argument) override;
  void applicationActivated(const Application& app) override;
  void hidDeviceChanged(bool added, const HidDevice& device) override;
  void logged(const LogEntry& entry) override;
  void systemStateChanged(uint64_t seq) override;

  void checkWaiters(bool timeUp);
  bool answerWaiter(Waiter& w, bool timeUp);
  void sendDriverEvent(const QDBusMessage& signal, const std::vector<uint8_t>& packet);

  World& world_;
  QDBusConnection connection_;
  DriverObject driver_;
  SystemObject system_;
  ControlObject control_;
  QDBusServiceWatcher clients_;
  std::set<std::string> watched_;
  std::vector<Waiter> waiters_;
  QTimer* waiterTimer_ = nullptr;
  std::unique_ptr<DriverSocketServer> socket_;
  bool offerSocket_ = true;
  bool standsInForSystem_ = true;
  size_t socketLimit_ = DriverSocketServer::kDefaultMaxPendingBytes;
};

// JSON forms of the world's records (shared by the control object and tests).
QString logToJson(const std::vector<LogEntry>& entries);
QString catalogueToJson(const Catalogue& c);

}  // namespace sim
