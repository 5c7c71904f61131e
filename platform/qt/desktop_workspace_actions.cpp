#include "platform/qt/desktop_workspace_actions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextStream>

#include "platform/bundle.h"
#include "platform/linux/detached_process.h"

namespace {

bool ValidEntryId(const QString& id) {
  static const QRegularExpression kId(QStringLiteral("^[A-Za-z0-9._-]+$"));
  return !id.isEmpty() && !id.startsWith('.') && kId.match(id).hasMatch();
}

// The "Name" of the [Desktop Entry] group; "" when Hidden (a deleted entry) or unreadable.
QString EntryName(const QString& file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream in(&f);
  bool mainGroup = false;
  QString name;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith('[')) {
      mainGroup = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    if (!mainGroup) continue;
    if (line.startsWith(QStringLiteral("Name="))) name = line.mid(5).trimmed();
    if (line == QStringLiteral("Hidden=true")) return {};
  }
  return name;
}

}  // namespace

DesktopWorkspaceActions::DesktopWorkspaceActions(Starter starter) : fStarter(std::move(starter)) {
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
  if (!ValidEntryId(id)) return {};
  return QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                id + QStringLiteral(".desktop"));
}

QString DesktopWorkspaceActions::desktopEntryForName(const QString& name) {
  if (name.isEmpty()) return {};
  const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
  // Ids first, in folder order (the user's folder before the system's), then names.
  for (const QString& dir : dirs) {
    const QDir d(dir);
    for (const QString& f : d.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
      if (f.chopped(8).compare(name, Qt::CaseInsensitive) == 0 && !EntryName(d.filePath(f)).isEmpty())
        return d.filePath(f);
    }
  }
  for (const QString& dir : dirs) {
    const QDir d(dir);
    for (const QString& f : d.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
      if (EntryName(d.filePath(f)).compare(name, Qt::CaseInsensitive) == 0) return d.filePath(f);
    }
  }
  return {};
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
