#include "platform/qt/desktop_workspace_actions.h"

#include <QFileInfo>
#include <QStandardPaths>

#include "platform/bundle.h"
#include "platform/linux/detached_process.h"

DesktopWorkspaceActions::DesktopWorkspaceActions(Starter starter, sys::xdg::ApplicationIndex* applications)
    : fStarter(std::move(starter)),
      fOwnApplications(applications ? nullptr : std::make_unique<sys::xdg::ApplicationIndex>()),
      fApplications(applications ? applications : fOwnApplications.get()) {
  if (!fStarter) {
    fStarter = [](const QString& program, const QStringList& arguments) {
      const QString path = program.contains('/') ? program : QStandardPaths::findExecutable(program);
      if (path.isEmpty()) return false;
      std::vector<std::string> args;
      for (const QString& a : arguments) args.push_back(a.toStdString());
      return sys::startDetachedProcess(path.toStdString(), args);
    };
  }
}

bool DesktopWorkspaceActions::openFile(const std::string& path) {
  if (path.empty()) return false;
  return fStarter(QStringLiteral("xdg-open"), {QString::fromStdString(path)});
}

bool DesktopWorkspaceActions::openURL(const std::string& url) {
  if (url.empty()) return false;
  return fStarter(QStringLiteral("xdg-open"), {QString::fromStdString(url)});
}

bool DesktopWorkspaceActions::launchAppWithBundleIdentifier(const std::string& bundleID,
                                                            uint32_t /*options: always async*/) {
  const QString file = desktopEntryForIdentifier(QString::fromStdString(bundleID));
  return !file.isEmpty() && launchDesktopEntry(file);
}

bool DesktopWorkspaceActions::launchApplication(const std::string& nameOrPath) {
  QString text = QString::fromStdString(nameOrPath);
  if (text.isEmpty()) return false;
  if (text.contains('/')) {
    while (text.size() > 1 && text.endsWith('/')) text.chop(1);
    const QFileInfo info(text);
    if (!info.exists()) return false;
    if (info.isDir() && text.endsWith(QStringLiteral(".app"), Qt::CaseInsensitive)) return launchBundle(text);
    if (info.isFile() && text.endsWith(QStringLiteral(".desktop"))) return launchDesktopEntry(text);
    if (info.isFile() && info.isExecutable()) return fStarter(info.absoluteFilePath(), {});
    return false;
  }
  if (text.endsWith(QStringLiteral(".app"), Qt::CaseInsensitive)) text.chop(4);
  if (text.isEmpty()) return false;
  const QString entry = desktopEntryForName(text);
  if (!entry.isEmpty()) return launchDesktopEntry(entry);
  const QString exe = QStandardPaths::findExecutable(text);
  if (!exe.isEmpty()) return fStarter(exe, {});
  return false;
}

QString DesktopWorkspaceActions::desktopEntryForIdentifier(const QString& id) {
  const sys::xdg::Application* app = id.isEmpty() ? nullptr : fApplications->byId(id.toStdString());
  return app ? QString::fromStdString(app->path) : QString();
}

QString DesktopWorkspaceActions::desktopEntryForName(const QString& name) {
  const sys::xdg::Application* app = fApplications->byName(name.toStdString());
  return app ? QString::fromStdString(app->path) : QString();
}

bool DesktopWorkspaceActions::launchBundle(const QString& folder) {
  const std::string path = folder.toStdString();
  std::string program;
  if (const auto bundle = platform::Bundle::withBundlePath(path)) program = bundle->executablePath();
  if (program.empty()) {
    // No information dictionary, or one that names no program: the program named like the bundle.
    const QString name = QFileInfo(folder).completeBaseName();
    program = path + "/Contents/MacOS/" + name.toStdString();
  }
  const QFileInfo exe(QString::fromStdString(program));
  if (!exe.isFile() || !exe.isExecutable()) return false;
  return fStarter(exe.absoluteFilePath(), {});
}

bool DesktopWorkspaceActions::launchDesktopEntry(const QString& file) {
  return fStarter(QStringLiteral("gio"), {QStringLiteral("launch"), file});
}
