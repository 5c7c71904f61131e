#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/qt/desktop_workspace_actions.h"
#include "platform/qt/qt_event_sleeper.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/qt_snippets_menu.h"
#include "platform/qt/shell_script_runner.h"

namespace {

void App() { ASSERT_NE(QApplication::instance(), nullptr); }

std::vector<uint8_t> Bytes(const char* s) { return {s, s + strlen(s)}; }

}  // namespace

TEST(QtPasteboard, KeepsTypesInOrderAndRestoresThem) {
  App();
  auto* foreign = new QMimeData;
  foreign->setData("text/html", "<b>x</b>");
  foreign->setData("text/plain", "x");
  foreign->setData("application/x-vantrel-test", QByteArray("\0\1\2", 3));
  QGuiApplication::clipboard()->setMimeData(foreign);

  QtPasteboard pb;
  const auto types = pb.types();
  ASSERT_EQ(types, (std::vector<std::string>{"text/html", "text/plain", "application/x-vantrel-test"}));
  std::vector<std::optional<std::vector<uint8_t>>> saved;
  for (const auto& t : types) saved.push_back(pb.dataForType(t));
  EXPECT_FALSE(pb.dataForType("image/png"));

  pb.declareTypes({sys::kStringPasteboardType});
  EXPECT_TRUE(pb.setString("snippet", sys::kStringPasteboardType));
  EXPECT_FALSE(pb.setString("nope", "text/html"));  // not declared
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "snippet");
  EXPECT_EQ(pb.types(), std::vector<std::string>{"text/plain"});

  pb.declareTypes(types);
  for (size_t i = 0; i < types.size(); ++i) ASSERT_TRUE(pb.setData(*saved[i], types[i]));
  EXPECT_EQ(pb.types(), types);
  EXPECT_EQ(pb.dataForType("text/html"), Bytes("<b>x</b>"));
  EXPECT_EQ(pb.dataForType("application/x-vantrel-test"), (std::vector<uint8_t>{0, 1, 2}));

  // Another program took the clipboard after our declaration: our data does not overwrite it.
  pb.declareTypes({"text/plain"});
  QGuiApplication::clipboard()->setText("theirs");
  EXPECT_FALSE(pb.setString("ours", "text/plain"));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "theirs");
  // An empty list empties the clipboard.
  pb.declareTypes({});
  EXPECT_TRUE(pb.types().empty());
}

TEST(QtSnippetsMenu, TitlesAndChoice) {
  App();
  QtSnippetsMenu menu;
  EXPECT_EQ(menu.itemTitle(0), "Snippet 1");
  EXPECT_EQ(menu.itemTitle(9), "Snippet 10");
  EXPECT_EQ(menu.itemTitle(10), "");
  menu.setItemTitle(2, "Fish & Chips");
  menu.setItemTitle(10, "ignored");
  EXPECT_EQ(menu.itemTitle(2), "Fish & Chips");
  EXPECT_EQ(menu.menu()->actions()[2]->text().toStdString(), "Fish && Chips");

  auto keys = [&](std::vector<int> sequence) {
    QTimer::singleShot(50, [sequence] {
      QWidget* popup = QApplication::activePopupWidget();
      ASSERT_NE(popup, nullptr);
      for (int key : sequence) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(popup, &press);
      }
    });
  };
  keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
  EXPECT_EQ(menu.popUpAtMouseLocation(), 2);
  keys({Qt::Key_Escape});
  EXPECT_EQ(menu.popUpAtMouseLocation(), std::nullopt);
}

TEST(DesktopWorkspaceActions, FindsDesktopEntriesAndNeverStartsInTests) {
  App();
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const QString user = tmp.filePath("user"), system = tmp.filePath("system");
  QDir().mkpath(user + "/applications");
  QDir().mkpath(system + "/applications");
  auto write = [](const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  };
  write(system + "/applications/org.example.Calc.desktop",
        "[Desktop Entry]\nType=Application\nName=Calculator\nExec=calc\n");
  write(system + "/applications/org.example.Gone.desktop",
        "[Desktop Entry]\nName=Gone\nHidden=true\n");
  write(user + "/applications/org.example.Calc.desktop",
        "[Desktop Entry]\nType=Application\nName=My Calculator\n[Other]\nName=Calculator\n");
  qputenv("XDG_DATA_HOME", user.toUtf8());
  qputenv("XDG_DATA_DIRS", system.toUtf8());

  std::vector<QStringList> started;
  bool succeed = true;
  DesktopWorkspaceActions ws([&](const QString& program, const QStringList& args) {
    started.push_back(QStringList{program} + args);
    return succeed;
  });
  const QString userCalc = user + "/applications/org.example.Calc.desktop";
  const QString systemCalc = system + "/applications/org.example.Calc.desktop";

  // Identifiers: the user's entry wins; nothing outside the applications folders.
  EXPECT_TRUE(ws.launchAppWithBundleIdentifier("org.example.Calc", sys::kWorkspaceLaunchAsync));
  EXPECT_FALSE(ws.launchAppWithBundleIdentifier("org.example.Missing", 0));
  EXPECT_FALSE(ws.launchAppWithBundleIdentifier("../applications/org.example.Calc", 0));
  EXPECT_FALSE(ws.launchAppWithBundleIdentifier("", 0));
  // Names: by id (letter case ignored, ".app" dropped), by Name of the main group, else $PATH.
  EXPECT_TRUE(ws.launchApplication("ORG.EXAMPLE.CALC.app"));
  EXPECT_TRUE(ws.launchApplication("my calculator"));
  EXPECT_FALSE(ws.launchApplication("Gone"));
  EXPECT_FALSE(ws.launchApplication("no-such-program-anywhere"));
  EXPECT_TRUE(ws.launchApplication("sh"));
  // Paths.
  EXPECT_TRUE(ws.launchApplication(systemCalc.toStdString()));
  EXPECT_FALSE(ws.launchApplication((tmp.path() + "/nothing").toStdString()));
  EXPECT_FALSE(ws.launchApplication(tmp.path().toStdString()));  // a folder
  // Opening.
  EXPECT_TRUE(ws.openFile("/tmp"));
  EXPECT_TRUE(ws.openURL("https://example.com"));
  succeed = false;
  EXPECT_FALSE(ws.openURL("https://example.com"));

  ASSERT_EQ(started.size(), 8u);
  EXPECT_EQ(started[0], (QStringList{"gio", "launch", userCalc}));
  EXPECT_EQ(started[1], (QStringList{"gio", "launch", userCalc}));
  EXPECT_EQ(started[2], (QStringList{"gio", "launch", userCalc}));
  EXPECT_TRUE(started[3][0].endsWith("/sh"));
  EXPECT_EQ(started[4], (QStringList{"gio", "launch", systemCalc}));
  EXPECT_EQ(started[5], (QStringList{"xdg-open", "/tmp"}));
  EXPECT_EQ(started[6], (QStringList{"xdg-open", "https://example.com"}));
  qunsetenv("XDG_DATA_HOME");
  qunsetenv("XDG_DATA_DIRS");
}

// A bundle folder's program really runs, on its own: not our child, its own session, nothing of
// ours open but the environment.
TEST(DesktopWorkspaceActions, StartsTheProgramOfABundleFolderOnItsOwn) {
  App();
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  auto write = [](const QString& path, const QByteArray& text, QFile::Permissions mode) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    f.setPermissions(mode);
  };
  const auto exe = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
  const QString app = tmp.filePath("Probe Folder/Probe.app");
  write(app + "/Contents/Info.plist",
        "<plist><dict><key>CFBundleExecutable</key><string>probe</string></dict></plist>", QFile::ReadOwner);
  write(app + "/Contents/MacOS/probe",
        "#!/bin/sh\n"
        "in=$(readlink /proc/$$/fd/0) out=$(readlink /proc/$$/fd/1) err=$(readlink /proc/$$/fd/2)\n"
        "leak=no; [ -e /proc/$$/fd/$VANTREL_LEAKED_FD ] && leak=yes\n"
        "stat=$(cat /proc/$$/stat)\n"
        "echo \"$in $out $err leak=$leak cwd=$(pwd) $stat\" > \"$VANTREL_LAUNCH_REPORT.part\"\n"
        "mv \"$VANTREL_LAUNCH_REPORT.part\" \"$VANTREL_LAUNCH_REPORT\"\n",
        exe);
  const QString report = tmp.filePath("report");
  qputenv("VANTREL_LAUNCH_REPORT", report.toUtf8());
  int leaked[2];
  ASSERT_EQ(::pipe(leaked), 0);  // not close-on-exec: a careless start would pass it on
  qputenv("VANTREL_LEAKED_FD", QByteArray::number(leaked[0]));

  DesktopWorkspaceActions ws;
  ASSERT_TRUE(ws.launchApplication((app + "/").toStdString()));
  QElapsedTimer clock;
  clock.start();
  while (!QFile::exists(report) && clock.elapsed() < 10000) QThread::msleep(5);
  QFile f(report);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the program did not run";
  const QStringList words = QString::fromUtf8(f.readAll()).simplified().split(' ');
  ::close(leaked[0]);
  ::close(leaked[1]);
  // "/dev/null /dev/null /dev/null leak=no cwd=/ pid (sh) state ppid pgrp session ..."
  ASSERT_GE(words.size(), 10);
  EXPECT_EQ(words.mid(0, 5).join(' ').toStdString(), "/dev/null /dev/null /dev/null leak=no cwd=/");
  EXPECT_NE(words[8].toLongLong(), ::getpid()) << "not our child";
  EXPECT_NE(words[10].toLongLong(), ::getsid(0)) << "a session of its own";

  // Nothing to start: failure, not a false success.
  const QString bad = tmp.filePath("Bad.app");
  write(bad + "/Contents/MacOS/Bad", "#!/nonexistent/interpreter\n", exe);  // named like the bundle
  EXPECT_FALSE(ws.launchApplication(bad.toStdString()));
  const QString plain = tmp.filePath("Plain.app");
  write(plain + "/Contents/MacOS/Plain", "#!/bin/sh\n", QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_FALSE(ws.launchApplication(plain.toStdString())) << "not executable";
  QDir().mkpath(tmp.filePath("Empty.app"));
  EXPECT_FALSE(ws.launchApplication(tmp.filePath("Empty.app").toStdString()));
  qunsetenv("VANTREL_LAUNCH_REPORT");
  qunsetenv("VANTREL_LEAKED_FD");
}

TEST(QtEventLoopSleeper, KeepsServingEventsWhileWaiting) {
  App();
  bool served = false;
  QTimer::singleShot(0, [&] { served = true; });
  QElapsedTimer clock;
  clock.start();
  QtEventLoopSleeper().sleepFor(std::chrono::microseconds(20000));
  EXPECT_TRUE(served);
  EXPECT_GE(clock.elapsed(), 19);
}

TEST(ShellScriptRunner, RunsTheTextDetachedWithoutWaiting) {
  App();
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const QString marker = tmp.filePath("ran");
  ShellScriptRunner scripts;
  QElapsedTimer clock;
  clock.start();
  // A script that writes, floods its output (which nobody reads) and then runs on for a minute.
  const std::string text = "echo \"$0 $HOME\" > '" + marker.toStdString() +
                           "'; head -c 1000000 /dev/zero; echo done >> '" + marker.toStdString() + "'; exec sleep 60";
  EXPECT_EQ(scripts.runAppleScript(text), sys::noErr);
  EXPECT_LT(clock.elapsed(), 1000) << "the helper waited for the script";
  const pid_t pid = static_cast<pid_t>(scripts.lastProcessId());
  ASSERT_GT(pid, 0);
  QElapsedTimer wait;
  wait.start();
  QString written;
  while (wait.elapsed() < 5000 && !written.contains("done")) {
    QFile f(marker);
    if (f.open(QIODevice::ReadOnly)) written = QString::fromUtf8(f.readAll());
    QTest::qWait(10);
  }
  EXPECT_EQ(written, "/bin/sh " + QDir::homePath() + "\ndone\n");
  // Not the helper's child, and not in the helper's session.
  EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_NE(::getsid(pid), ::getsid(0));
  ::kill(pid, SIGKILL);

  EXPECT_EQ(scripts.runAppleScript(""), sys::kOSAScriptError);
  EXPECT_EQ(scripts.runAppleScript(std::string("echo a\0b", 9)), sys::kOSAScriptError);
  EXPECT_EQ(ShellScriptRunner("/nonexistent/sh").runAppleScript("true"), sys::kOSAScriptError);
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
