#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "platform/qt/logind_session.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_runloop.h"

namespace {

int argc = 1;
char arg0[] = "platform_qt_tests";
char* argv[] = {arg0, nullptr};

TEST(QtRunLoop, PerformsSignalledSourcesFromTheEventLoopOncePerBatch) {
  QCoreApplication app(argc, argv);
  rl::QtRunLoop loop;
  int performed = 0;
  auto early = std::make_shared<rl::RunLoopSource>([&] { ++performed; });
  early->signal();  // signalled before it joins the loop: still performed
  loop.addSource(early);
  auto source = std::make_shared<rl::RunLoopSource>([&] { performed += 10; });
  loop.addSource(source);
  source->signal();
  source->signal();
  EXPECT_EQ(performed, 0);  // nothing runs inside signal()
  QCoreApplication::processEvents();
  EXPECT_EQ(performed, 11);
  // A removed source stays signalled and is not performed, also when it was signalled before
  // it was taken off the loop.
  loop.removeSource(source);
  source->signal();
  early->signal();
  QCoreApplication::processEvents();
  EXPECT_EQ(performed, 12);
  EXPECT_TRUE(source->isSignalled());
  early->signal();
  loop.removeSource(early);
  QCoreApplication::processEvents();
  EXPECT_EQ(performed, 12);
  EXPECT_TRUE(early->isSignalled());
}

TEST(QtServices, SessionAndPointerDegradeQuietly) {
  QCoreApplication app(argc, argv);
  sys::LogindSession session;
  // With logind the dictionary tells the state; without, there is none. Both are fine here.
  pl::DictRef d = session.CGSessionCopyCurrentDictionary();
  if (d) {
    EXPECT_TRUE(d->contains(sys::kCGSessionOnConsoleKey));
  }
  if (session.sessionPath().isEmpty()) {
    EXPECT_FALSE(d);
  }
  // Without a GUI application the pointer cannot move.
  sys::QtDisplay display;
  EXPECT_EQ(display.CGWarpMouseCursorPosition({1, 1}), sys::kCGErrorFailure);
}

}  // namespace

namespace {

TEST(QtRunLoop, SourcesWaitWhileANestedEventLoopRuns) {
  QCoreApplication app(argc, argv);
  rl::QtRunLoop loop;
  int performed = 0;
  int seenInsideNested = -1;
  auto source = std::make_shared<rl::RunLoopSource>([&] { ++performed; });
  loop.addSource(source);
  QEventLoop outer;
  QTimer::singleShot(0, &outer, [&] {
    QEventLoop nested;  // as a menu or a wait would run
    source->signal();
    QTimer::singleShot(60, &nested, [&] {
      seenInsideNested = performed;
      nested.quit();
    });
    nested.exec();
    QTimer::singleShot(60, &outer, &QEventLoop::quit);
  });
  outer.exec();
  EXPECT_EQ(seenInsideNested, 0);
  EXPECT_EQ(performed, 1);
  EXPECT_TRUE(rl::inDefaultMode());
}

}  // namespace
