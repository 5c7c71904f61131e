// vantrel-settings: the settings program, a host for the Vantrel preference pane.
//
//   vantrel-settings [BUNDLE]
//
// Without BUNDLE it loads VantrelPrefPane.prefPane from next to itself (the build tree) or from
// ../lib/vantrel (an installation); see pane/host/pane_loader.h and settings_host.h.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include "pane/host/pane_loader.h"
#include "pane/host/settings_host.h"
#include "pane/host/sim_front_app.h"
#include "platform/qt/termination_signals.h"

namespace {

using settingshost::LoadFailure;

bool hasDisplay() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int reportFailure(const LoadFailure& failure, const std::vector<std::string>& searched = {}) {
  const settingshost::FailureText text = settingshost::describeFailure(failure, searched);
  std::fprintf(stderr, "vantrel-settings: %s\n%s\n", text.headline.c_str(), text.reason.c_str());
  if (hasDisplay()) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(settingshost::kWindowTitle),
                    QString::fromStdString(text.headline), QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(text.reason));
    box.exec();
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Without any display Qt could only abort.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr) {
    std::fprintf(stderr, "vantrel-settings: no display to show the settings window on "
                         "(neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
    return 1;
  }

  QApplication app(argc, argv);
  // The window class, the desktop entry and the icon all go by this name.
  QApplication::setApplicationName(QStringLiteral("vantrel-settings"));
  QApplication::setApplicationVersion(QStringLiteral(VANTREL_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("vantrel-settings"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/vantrel-settings.svg")));
  QApplication::setQuitOnLastWindowClosed(false);  // the host quits when its window closes
  sys::quitOnTerminationSignals(app);

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Vantrel Settings: buttons, pointer and scrolling of Vantrel trackballs."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("bundle"),
                               QStringLiteral("The settings panel to open (a .prefPane folder); by default "
                                              "VantrelPrefPane.prefPane next to this program or in ../lib/vantrel."),
                               QStringLiteral("[bundle]"));
  parser.process(app);
  const QStringList positional = parser.positionalArguments();
  if (positional.size() > 1) {
    std::fprintf(stderr, "vantrel-settings: one settings panel at a time\n");
    return 2;
  }

  // The shared object is opened by its full path, and the pane sees its bundle by it.
  auto canonical = [](const QString& path) {
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return (resolved.isEmpty() ? QFileInfo(path).absoluteFilePath() : resolved).toStdString();
  };
  std::string bundlePath;
  if (positional.isEmpty()) {
    std::vector<std::string> searched =
        settingshost::defaultPaneLocations(QCoreApplication::applicationDirPath().toStdString());
    for (auto& path : searched) path = QDir::cleanPath(QString::fromStdString(path)).toStdString();
    const std::string found = settingshost::firstExistingFolder(searched);
    if (found.empty()) return reportFailure({LoadFailure::Kind::NoBundle, "", ""}, searched);
    bundlePath = canonical(QString::fromStdString(found));
  } else {
    bundlePath = canonical(positional.first());
  }

  LoadFailure failure{};
  std::unique_ptr<settingshost::LoadedPane> pane = settingshost::LoadedPane::load(bundlePath, &failure);
  if (!pane) return reportFailure(failure);

  settingshost::SimFrontApplication simulated;
  settingshost::SettingsHost host(std::move(pane));
  QObject::connect(&host, &settingshost::SettingsHost::activeChanged, &simulated,
                   &settingshost::SimFrontApplication::setHostActive);
  if (!host.open(&failure)) {
    host.shutdown();
    return reportFailure(failure);
  }
  const int status = QApplication::exec();
  host.shutdown();
  simulated.hostQuits();
  return status;
}
