#include "platform/qt/qt_display.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPoint>
#include <cmath>

namespace sys {

CGError QtDisplay::CGWarpMouseCursorPosition(CGPoint point) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr ||
      !std::isfinite(point.x) || !std::isfinite(point.y) || std::fabs(point.x) > 1e6 ||
      std::fabs(point.y) > 1e6)
    return kCGErrorFailure;
  QCursor::setPos(QPoint(static_cast<int>(std::lround(point.x)),
                         static_cast<int>(std::lround(point.y))));
  return kCGErrorSuccess;
}

}  // namespace sys
