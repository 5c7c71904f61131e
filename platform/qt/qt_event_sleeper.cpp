#include "platform/qt/qt_event_sleeper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

void QtEventLoopSleeper::sleepFor(std::chrono::microseconds duration) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    sys::ThreadSleeper().sleepFor(duration);
    return;
  }
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(std::chrono::ceil<std::chrono::milliseconds>(duration));
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}
