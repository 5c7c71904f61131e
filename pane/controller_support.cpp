// Factory settings, the support information file and the links.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QSysInfo>
#include <QUrl>

#include "pane/interface_loader.h"
#include "pane/profile_rules.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "platform/files.h"
#include "platform/workspace_actions.h"

namespace {

// The operating system's version text, as a support person reads it.
std::string systemVersionText() {
  return (QSysInfo::prettyProductName() + QStringLiteral(" (kernel ") + QSysInfo::kernelVersion() +
          QStringLiteral(")"))
      .toStdString();
}

// Shows the file in the desktop's file manager; without one, opens its folder.
void revealInFileViewer(const std::string& path, sys::WorkspaceActions* workspace, QObject* context) {
  const std::string folder = path.substr(0, path.rfind('/'));
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    if (workspace) workspace->openFile(folder);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(QString::fromStdString(path)).toString()} << QString();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [watcher, workspace, folder](QDBusPendingCallWatcher*) {
                     if (watcher->isError() && workspace) workspace->openFile(folder);
                     watcher->deleteLater();
                   });
}

}  // namespace

void VantrelController::actButtonRestoreDefaults(QObject*) {
  if (!fCurSettingsDict) return;
  const pl::DictRef factory = pl::readDictFile(fServices.files.factoryPath);
  const pl::ArrayRef factoryProfiles = factory ? factory->getArray("devices") : nullptr;
  if (!factoryProfiles) return;
  int32_t index = vtlFindSettingsIndex(fCurSettingsDict, factoryProfiles, true);
  if (index < 0) index = vtlFindSettingsIndex(fCurSettingsDict, factoryProfiles, false);
  if (index < 0) return;
  if (!profiles::restoreFactorySettings(fCurSettingsDict, factoryProfiles->dictAt(static_cast<size_t>(index)))) return;
  vtlSavePrefsToFile(fPrefsDict);
  vtlGetSettingsFromPrefs();
  vtlGetUIFromSettings();
}

void VantrelController::actButtonSaveInformation(QObject*) {
  profiles::SystemDescription system;
  system.date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t")).toStdString();
  system.bundleVersion = gVantrelBundle ? gVantrelBundle->infoString("CFBundleVersion") : std::string();
  system.systemVersion = systemVersionText();
  const pl::DictRef support = profiles::supportDictionary(system, fDeviceList);
  const std::string home = files::homeDirectory();
  const std::string path = files::join(profiles::desktopFolder(home, qEnvironmentVariable("XDG_CONFIG_HOME").toStdString()),
                                       profiles::kSupportFileName);
  // A failed write is silent; the file manager is asked all the same.
  profiles::writeSupportFile(fPrefsDict, support, path);
  revealInFileViewer(path, fServices.workspace, this);
}

void VantrelController::actButtonOpenLink(QObject* sender) {
  const profiles::Link link = profiles::linkForTag(paneui::tagOf(sender));
  if (fServices.workspace == nullptr) return;
  switch (link.kind) {
    case profiles::LinkKind::URL: fServices.workspace->openURL(link.target); break;
    case profiles::LinkKind::File: fServices.workspace->openFile(link.target); break;
    case profiles::LinkKind::None: break;
  }
}
