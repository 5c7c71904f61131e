#include "platform/qt_actions/qt_event_sleeper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

void QtEventLoopSleeper::sleepMicroseconds(uint32_t us) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    ThreadActionSleeper().sleepMicroseconds(us);
    return;
  }
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(std::chrono::milliseconds((us + 999) / 1000));
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}
