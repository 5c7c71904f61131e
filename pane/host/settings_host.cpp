#include "pane/host/settings_host.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/notification_center.h"

namespace settingshost {
namespace {

// The smallest window a settings panel gets: the usual width of one.
constexpr QSize kSmallestWindow(668, 480);

// What a window first gets: the size the view asks for, at least the usual panel size, never
// more than most of the screen.
QSize initialSize(const QWidget& view, const QScreen* screen) {
  QSize size = kSmallestWindow.expandedTo(view.sizeHint()).expandedTo(view.minimumSizeHint());
  if (screen) size = size.boundedTo(screen->availableGeometry().size() * 0.9);
  return size;
}

}  // namespace

SettingsHost::SettingsHost(std::unique_ptr<LoadedPane> pane, QObject* parent)
    : QObject(parent), fPane(std::move(pane)) {}

SettingsHost::~SettingsHost() { shutdown(); }

bool SettingsHost::open(LoadFailure* failure) {
  PreferencePane& pane = fPane->pane();
  QWidget* view = nullptr;
  try {
    view = pane.loadMainView();
  } catch (...) {
    view = nullptr;
  }
  if (view == nullptr) {
    if (failure) *failure = {LoadFailure::Kind::NoMainView, fPane->bundle().bundlePath(), {}};
    return false;
  }

  fWindow = std::make_unique<QWidget>(nullptr, Qt::Window);
  fWindow->setObjectName(QStringLiteral("vantrelSettingsWindow"));
  fWindow->setWindowTitle(QString::fromUtf8(kWindowTitle));
  auto* layout = new QVBoxLayout(fWindow.get());
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view);
  const QScreen* screen = QGuiApplication::primaryScreen();
  fWindow->resize(initialSize(*view, screen));
  // Centred, where a window manager does not place it.
  if (screen) fWindow->move(screen->availableGeometry().center() - fWindow->rect().center());
  // Close the window / quit, as the usual keys do.
  for (const auto key : {QKeySequence::Close, QKeySequence::Quit}) {
    auto* action = new QAction(fWindow.get());
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, fWindow.get(), &QWidget::close);
    fWindow->addAction(action);
  }
  fWindow->installEventFilter(this);

  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (app) {
    connect(app, &QGuiApplication::focusWindowChanged, this, &SettingsHost::focusWindowChanged);
    connect(app, &QGuiApplication::applicationStateChanged, this, &SettingsHost::applicationStateChanged);
    applicationStateChanged(app->applicationState());
  }

  pane.mainViewDidLoad();
  fWindow->show();
  return true;
}

void SettingsHost::shutdown() {
  unselect();
  if (fActive) {
    fActive = false;
    Q_EMIT activeChanged(false);
  }
  if (auto* app = QCoreApplication::instance()) disconnect(app, nullptr, this, nullptr);
  if (fWindow) fWindow->removeEventFilter(this);
  fPane.reset();    // the pane first: its controllers may still refer to the view
  fWindow.reset();  // then the window, with the view in it
}

bool SettingsHost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fWindow.get()) {
    if (event->type() == QEvent::Show) {
      select();
    } else if (event->type() == QEvent::Close) {
      unselect();
      // Once the close has gone through (nothing may refuse it after the pane let go).
      QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
    }
  }
  return QObject::eventFilter(watched, event);
}

void SettingsHost::select() {
  if (fSelected || !fPane) return;
  fSelected = true;
  fPane->pane().didSelect();
}

void SettingsHost::unselect() {
  if (!fSelected || !fPane) return;
  fSelected = false;
  fPane->pane().willUnselect();
}

void SettingsHost::focusWindowChanged(QWindow* window) {
  if (window == nullptr || window->type() == Qt::Popup || window->type() == Qt::ToolTip) return;
  sys::NotificationCenter::defaultCenter().post(sys::kNSWindowDidBecomeKeyNotification);
}

void SettingsHost::applicationStateChanged(Qt::ApplicationState state) {
  const bool active = state == Qt::ApplicationActive;
  if (active == fActive) return;
  fActive = active;
  if (!active) sys::NotificationCenter::defaultCenter().post(sys::kNSApplicationDidResignActiveNotification);
  Q_EMIT activeChanged(active);
}

}  // namespace settingshost
