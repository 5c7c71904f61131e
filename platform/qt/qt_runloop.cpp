#include "platform/qt/qt_runloop.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <algorithm>

namespace rl {

namespace {
constexpr int kNestedLoopRetryMs = 10;
}

bool inDefaultMode() { return QThread::currentThread()->loopLevel() <= 1; }

QtRunLoop::~QtRunLoop() {
  for (const RunLoopSourceRef& s : sources_) s->setWakeup(nullptr);
}

void QtRunLoop::post(const std::weak_ptr<RunLoopSource>& source) {
  QMetaObject::invokeMethod(
      &context_, [this, source] { performOrWait(source); }, Qt::QueuedConnection);
}

void QtRunLoop::performOrWait(const std::weak_ptr<RunLoopSource>& source) {
  auto s = source.lock();
  // A source taken off the loop after it was signalled stays signalled but is not performed.
  if (!s || std::find(sources_.begin(), sources_.end(), s) == sources_.end()) return;
  if (!inDefaultMode()) {
    QTimer::singleShot(kNestedLoopRetryMs, &context_, [this, source] { performOrWait(source); });
    return;
  }
  s->perform();
}

void QtRunLoop::addSource(const RunLoopSourceRef& source) {
  if (!source || std::find(sources_.begin(), sources_.end(), source) != sources_.end()) return;
  sources_.push_back(source);
  std::weak_ptr<RunLoopSource> weak = source;
  source->setWakeup([this, weak] { post(weak); });
  if (source->isSignalled()) post(weak);
}

void QtRunLoop::removeSource(const RunLoopSourceRef& source) {
  auto it = std::find(sources_.begin(), sources_.end(), source);
  if (it == sources_.end()) return;
  (*it)->setWakeup(nullptr);
  sources_.erase(it);
}

}  // namespace rl
