#include "platform/dbus/testing/private_bus.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testing_support {

namespace {

// In a child between fork and exec: die with the parent, also when it is already gone.
void dieWithParent(pid_t parent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) _exit(127);
}

}  // namespace

void ensureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "vantrel-test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}

PrivateBus::PrivateBus() {
  ensureApplication();
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  const pid_t self = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    dieWithParent(self);
    dup2(out[1], STDOUT_FILENO);
    const int devnull = open("/dev/null", O_WRONLY);  // its complaints about fd limits are noise
    if (devnull >= 0) dup2(devnull, STDERR_FILENO);
    execlp("dbus-daemon", "dbus-daemon", "--config-file=" VANTREL_PRIVATE_BUS_CONFIG, "--nofork", "--nosyslog",
           "--print-address=1", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  if (pid_ < 0) {
    close(out[0]);
    return;
  }
  // The daemon prints its address, then a newline, once it listens.
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0) {
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const auto nl = line.find('\n');
  if (nl != std::string::npos) address_ = line.substr(0, nl);
}

PrivateBus::~PrivateBus() {
  for (const auto& name : connectionNames_)
    QDBusConnection::disconnectFromBus(QString::fromStdString(name));
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

QDBusConnection PrivateBus::connect(const std::string& connectionName) {
  static int serial = 0;
  const std::string unique = connectionName + "-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
  connectionNames_.push_back(unique);
  return QDBusConnection::connectToBus(QString::fromStdString(address_), QString::fromStdString(unique));
}

QProcessEnvironment PrivateBus::environment() const {
  auto env = QProcessEnvironment::systemEnvironment();
  env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(address_));
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  // Nor this machine's logind: power commands and session queries find no system bus.
  env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
  return env;
}

void startAsChild(QProcess& process, const QString& program, const QStringList& arguments) {
  const pid_t self = getpid();
  process.setChildProcessModifier([self] { dieWithParent(self); });
  process.start(program, arguments);
}

std::optional<int> stopChild(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return 0;
  process.terminate();
  if (!process.waitForFinished(5000)) {
    process.kill();
    process.waitForFinished(2000);
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit) return std::nullopt;
  return process.exitCode();
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() >= timeout.count()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
    usleep(500);
  }
  return true;
}

void spin(std::chrono::milliseconds duration) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < duration.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    usleep(500);
  }
}

}  // namespace testing_support
