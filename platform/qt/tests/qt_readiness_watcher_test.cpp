#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/qt/qt_readiness_watcher.h"

namespace {

int argc = 1;
char arg0[] = "platform_qt_tests";
char* argv[] = {arg0, nullptr};

// Turns the event loop until `done` holds, for at most two seconds.
template <class Done>
void processUntil(Done done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(QtReadinessWatcher, CallsBackFromTheEventLoopWhileThereIsDataUntilUnwatched) {
  QCoreApplication app(argc, argv);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  rl::QtReadinessWatcher watcher;
  int calls = 0;
  watcher.watch(fds[0], [&] {
    char c = 0;
    if (::read(fds[0], &c, 1) == 1) ++calls;
    if (c == 'q') watcher.unwatch(fds[0]);  // from inside its own call
  });
  EXPECT_EQ(::write(fds[1], "ab", 2), 2);
  EXPECT_EQ(calls, 0);  // nothing runs inside write or watch
  processUntil([&] { return calls == 2; });
  EXPECT_EQ(calls, 2);

  EXPECT_EQ(::write(fds[1], "qz", 2), 2);
  processUntil([&] { return calls == 3; });
  QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(calls, 3);  // "z" stays unread: the descriptor is no longer watched
  EXPECT_EQ(watcher.watchedCount(), 0u);

  // Watching again replaces; the watcher's end stops everything.
  {
    rl::QtReadinessWatcher second;
    second.watch(fds[0], [&] { calls += 100; });
    second.watch(fds[0], [&] {
      char c = 0;
      if (::read(fds[0], &c, 1) == 1) calls += 10;
    });
    processUntil([&] { return calls == 13; });
  }
  EXPECT_EQ(calls, 13);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
