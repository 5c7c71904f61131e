#include "pane/application_chooser.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "sim/sim_names.h"

namespace {

constexpr int kAppIndexRole = Qt::UserRole;
constexpr int kAppKeyRole = Qt::UserRole + 1;
// The simulator answers at once or not at all; a chooser never waits longer for it.
constexpr int kSimulatorTimeoutMs = 2000;

QString qs(const std::string& s) { return QString::fromStdString(s); }

QIcon iconFor(const appchoice::ChosenApplication& app, const QStyle* style) {
  if (!app.icon.empty()) {
    const QString name = qs(app.icon);
    if (QFileInfo(name).isAbsolute()) {
      QIcon icon(name);
      if (!icon.isNull()) return icon;
    } else if (QIcon::hasThemeIcon(name)) {
      return QIcon::fromTheme(name);
    }
  }
  if (QIcon::hasThemeIcon(QStringLiteral("application-x-executable")))
    return QIcon::fromTheme(QStringLiteral("application-x-executable"));
  return style->standardIcon(QStyle::SP_DesktopIcon);
}

// The search field hands the arrow keys to the list, so that a user can type and pick.
class SearchKeys : public QObject {
 public:
  SearchKeys(QListWidget* list, QObject* parent) : QObject(parent), fList(list) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up || key->key() == Qt::Key_PageDown ||
          key->key() == Qt::Key_PageUp) {
        fList->setFocus();
        QKeyEvent copy(key->type(), key->key(), key->modifiers());
        QCoreApplication::sendEvent(fList, &copy);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QListWidget* fList;
};

}  // namespace

VantrelApplicationChooser::VantrelApplicationChooser(QWidget* parent, Options options)
    : QDialog(parent), fOptions(std::move(options)) {
  setObjectName(QStringLiteral("applicationChooser"));
  setWindowTitle(fOptions.title.isEmpty() ? vtlLocString(QStringLiteral("Choose an Application")) : fOptions.title);
  setSizeGripEnabled(true);

  fLayout = new QVBoxLayout(this);
  auto* searchLabel = new QLabel(vtlLocString(QStringLiteral("&Search:")), this);
  fSearch = new QLineEdit(this);
  fSearch->setObjectName(QStringLiteral("applicationSearch"));
  fSearch->setPlaceholderText(vtlLocString(QStringLiteral("Search applications")));
  fSearch->setAccessibleName(vtlLocString(QStringLiteral("Search applications")));
  fSearch->setClearButtonEnabled(true);
  searchLabel->setBuddy(fSearch);
  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(searchLabel);
  searchRow->addWidget(fSearch, 1);
  fLayout->addLayout(searchRow);

  fList = new QListWidget(this);
  fList->setObjectName(QStringLiteral("applicationList"));
  fList->setAccessibleName(vtlLocString(QStringLiteral("Applications")));
  fList->setIconSize(QSize(24, 24));
  fList->setUniformItemSizes(true);
  fList->setMinimumSize(380, 320);
  fLayout->addWidget(fList, 1);
  fSearch->installEventFilter(new SearchKeys(fList, fSearch));

  if (fOptions.accessory) {
    fAccessory = fOptions.accessory;
    fAccessoryParent = fOptions.accessory->parentWidget();
    fOptions.accessory->setParent(this);
    fLayout->addWidget(fOptions.accessory);
    fOptions.accessory->show();
  }

  auto* buttons = new QDialogButtonBox(this);
  fOther = buttons->addButton(vtlLocString(QStringLiteral("&Other…")), QDialogButtonBox::ActionRole);
  fOther->setObjectName(QStringLiteral("applicationOther"));
  fOther->setAccessibleName(vtlLocString(QStringLiteral("Choose another application folder")));
  fOther->setAutoDefault(false);
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setText(vtlLocString(QStringLiteral("Cancel")));
  cancel->setAutoDefault(false);
  fChoose = buttons->addButton(
      fOptions.chooseTitle.isEmpty() ? vtlLocString(QStringLiteral("Choose")) : fOptions.chooseTitle,
      QDialogButtonBox::AcceptRole);
  fChoose->setObjectName(QStringLiteral("applicationChoose"));
  fChoose->setDefault(true);
  fLayout->addWidget(buttons);

  connect(fSearch, &QLineEdit::textChanged, this, [this] { fillList(); });
  connect(fSearch, &QLineEdit::returnPressed, this, [this] { chooseCurrent(); });
  connect(fList, &QListWidget::currentItemChanged, this, [this] { updateChooseButton(); });
  connect(fList, &QListWidget::itemActivated, this, [this] { chooseCurrent(); });
  connect(fChoose, &QPushButton::clicked, this, [this] { chooseCurrent(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(fOther, &QPushButton::clicked, this, [this] { chooseOther(); });

  sys::xdg::ApplicationIndex index(fOptions.folders);
  fApps = appchoice::desktopApplications(index);
  fillList();
  askSimulator(fOptions.bus ? *fOptions.bus : QDBusConnection::sessionBus());
  fSearch->setFocus();
}

VantrelApplicationChooser::~VantrelApplicationChooser() { giveBackAccessory(); }

VantrelApplicationChooser* VantrelApplicationChooser::beginSheet(QWidget* parent, Options options,
                                                                 Completion completion) {
  QWidget* window = parent ? parent->window() : nullptr;
  auto* chooser = new VantrelApplicationChooser(window, std::move(options));
  chooser->setAttribute(Qt::WA_DeleteOnClose);
  chooser->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
  // The completion holds the chooser until it has run.
  connect(chooser, &QDialog::finished, chooser, [chooser, completion = std::move(completion)](int result) {
    if (completion) completion(result == QDialog::Accepted ? chooser->chosen() : std::nullopt);
  });
  chooser->open();
  return chooser;
}

void VantrelApplicationChooser::done(int result) {
  if (result != QDialog::Accepted) fChosen.reset();
  giveBackAccessory();
  QDialog::done(result);
}

void VantrelApplicationChooser::giveBackAccessory() {
  if (!fAccessory) return;
  fAccessory->hide();
  fLayout->removeWidget(fAccessory);
  fAccessory->setParent(fAccessoryParent);
  fAccessory = nullptr;
}

void VantrelApplicationChooser::fillList() {
  const std::string query = fSearch->text().trimmed().toStdString();
  // The row chosen before stays chosen when it is still listed, else the first row is.
  const QString previous = fList->currentItem() ? fList->currentItem()->data(kAppKeyRole).toString() : QString();
  fList->clear();
  QListWidgetItem* select = nullptr;
  for (size_t i = 0; i < fApps.size(); ++i) {
    const appchoice::ChosenApplication& app = fApps[i];
    if (!appchoice::matchesQuery(app, query)) continue;
    QString title = qs(app.displayName);
    if (app.source == appchoice::Source::Simulated)
      title = vtlLocString(QStringLiteral("%1 (simulated)")).arg(title);
    auto* item = new QListWidgetItem(iconFor(app, style()), title, fList);
    const QString key = qs(app.launchName) + QLatin1Char('\n') + qs(app.path);
    item->setData(kAppIndexRole, static_cast<int>(i));
    item->setData(kAppKeyRole, key);
    const QString where = app.path.empty() ? qs(app.launchName) : qs(app.path);
    item->setToolTip(where);
    item->setData(Qt::AccessibleDescriptionRole, where);
    if (select == nullptr || key == previous) select = item;
  }
  if (select) fList->setCurrentItem(select);
  updateChooseButton();
}

void VantrelApplicationChooser::updateChooseButton() { fChoose->setEnabled(fList->currentItem() != nullptr); }

void VantrelApplicationChooser::chooseCurrent() {
  QListWidgetItem* item = fList->currentItem();
  if (item == nullptr) return;
  const int i = item->data(kAppIndexRole).toInt();
  if (i < 0 || i >= static_cast<int>(fApps.size())) return;
  fChosen = fApps[static_cast<size_t>(i)];
  accept();
}

void VantrelApplicationChooser::chooseItem(const QString& path) {
  if (path.isEmpty()) return;
  fChosen = appchoice::fromPath(QFileInfo(path).absoluteFilePath().toStdString(), platform::userLocaleName());
  accept();
}

void VantrelApplicationChooser::chooseOther() {
  // Bundle folders are folders: the dialog picks one (a desktop entry is in the list already).
  auto* dialog = new QFileDialog(this, vtlLocString(QStringLiteral("Choose an Application Folder")));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setFileMode(QFileDialog::Directory);
  dialog->setOption(QFileDialog::ShowDirsOnly, true);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setWindowModality(Qt::WindowModal);
  connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) { chooseItem(path); });
  dialog->open();
}

void VantrelApplicationChooser::askSimulator(QDBusConnection bus) {
  if (!bus.isConnected()) {
    // Told on the next pass of the event loop, once the caller could connect to it.
    QMetaObject::invokeMethod(this, [this] { Q_EMIT simulatedApplicationsChecked(); }, Qt::QueuedConnection);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(simbus::kSystemService),
                                                     QString::fromLatin1(simbus::kSystemPath),
                                                     QString::fromLatin1(simbus::kSystemInterface),
                                                     QStringLiteral("Applications"));
  call.setAutoStartService(false);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kSimulatorTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    QDBusPendingReply<QString> reply = *w;
    if (!reply.isError()) addSimulatedApplications(reply.value());
    w->deleteLater();
    Q_EMIT simulatedApplicationsChecked();
  });
}

void VantrelApplicationChooser::addSimulatedApplications(const QString& json) {
  const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8());
  if (!doc.isArray()) return;
  bool added = false;
  for (const QJsonValue& v : doc.array()) {
    if (!v.isObject()) continue;
    const QJsonObject o = v.toObject();
    const std::string id = o.value(QStringLiteral("bundle_id")).toString().toStdString();
    const std::string name = o.value(QStringLiteral("name")).toString().toStdString();
    const std::string executable = o.value(QStringLiteral("executable")).toString().toStdString();
    if (id.empty() && name.empty() && executable.empty()) continue;
    fApps.push_back(appchoice::simulatedApplication(id, name, executable,
                                                    o.value(QStringLiteral("signature")).toString().toStdString(),
                                                    o.value(QStringLiteral("bundle_path")).toString().toStdString()));
    added = true;
  }
  if (!added) return;
  appchoice::sortByName(fApps);
  fillList();
}
