#include "pane/interface_loader.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolBox>
#include <QTreeWidget>
#include <QUiLoader>

#include "platform/bundle.h"

namespace paneui {
namespace {

QHash<QString, WidgetFactory>& factories() {
  static QHash<QString, WidgetFactory> table;
  return table;
}

class Loader final : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    auto found = factories().constFind(className);
    if (found == factories().constEnd()) return QUiLoader::createWidget(className, parent, name);
    QWidget* widget = (*found)(parent);
    if (widget != nullptr) widget->setObjectName(name);
    return widget;
  }
};

void localizeAction(QAction* action, const std::function<QString(const QString&)>& tr);

void localizeMenu(QMenu* menu, const std::function<QString(const QString&)>& tr) {
  if (!menu->title().isEmpty()) menu->setTitle(tr(menu->title()));
  for (QAction* action : menu->actions()) localizeAction(action, tr);
}

void localizeAction(QAction* action, const std::function<QString(const QString&)>& tr) {
  if (!action->text().isEmpty()) action->setText(tr(action->text()));
  if (!action->toolTip().isEmpty() && action->toolTip() != action->text())
    action->setToolTip(tr(action->toolTip()));
  if (!action->statusTip().isEmpty()) action->setStatusTip(tr(action->statusTip()));
  if (QMenu* sub = action->menu()) localizeMenu(sub, tr);
}

template <class Item>
void localizeItemTexts(Item* item, int columns, const std::function<QString(const QString&)>& tr) {
  for (int c = 0; c < columns; ++c) {
    if (!item->text(c).isEmpty()) item->setText(c, tr(item->text(c)));
    if (!item->toolTip(c).isEmpty()) item->setToolTip(c, tr(item->toolTip(c)));
  }
}

void localizeOne(QWidget* w, const std::function<QString(const QString&)>& tr) {
  auto tx = [&](const QString& s) { return s.isEmpty() ? s : tr(s); };
  if (!w->windowTitle().isEmpty()) w->setWindowTitle(tr(w->windowTitle()));
  if (!w->toolTip().isEmpty()) w->setToolTip(tr(w->toolTip()));
  if (!w->statusTip().isEmpty()) w->setStatusTip(tr(w->statusTip()));
  if (!w->whatsThis().isEmpty()) w->setWhatsThis(tr(w->whatsThis()));
  if (!w->accessibleName().isEmpty()) w->setAccessibleName(tr(w->accessibleName()));
  if (!w->accessibleDescription().isEmpty())
    w->setAccessibleDescription(tr(w->accessibleDescription()));

  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(tx(b->text()));
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(tx(l->text()));
  } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(tx(g->title()));
  } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
    e->setPlaceholderText(tx(e->placeholderText()));
  } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
    p->setPlaceholderText(tx(p->placeholderText()));
  } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
    t->setPlaceholderText(tx(t->placeholderText()));
  } else if (auto* c = qobject_cast<QComboBox*>(w)) {
    for (int i = 0; i < c->count(); ++i) c->setItemText(i, tx(c->itemText(i)));
    if (QLineEdit* edit = c->lineEdit()) edit->setPlaceholderText(tx(edit->placeholderText()));
  } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setTabText(i, tx(tabs->tabText(i)));
      tabs->setTabToolTip(i, tx(tabs->tabToolTip(i)));
    }
  } else if (auto* box = qobject_cast<QToolBox*>(w)) {
    for (int i = 0; i < box->count(); ++i) box->setItemText(i, tx(box->itemText(i)));
  } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
    if (QTreeWidgetItem* header = tree->headerItem())
      localizeItemTexts(header, tree->columnCount(), tr);
    for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it)
      localizeItemTexts(*it, tree->columnCount(), tr);
  } else if (auto* table = qobject_cast<QTableWidget*>(w)) {
    for (int col = 0; col < table->columnCount(); ++col)
      if (QTableWidgetItem* h = table->horizontalHeaderItem(col)) h->setText(tx(h->text()));
  } else if (auto* list = qobject_cast<QListWidget*>(w)) {
    for (int i = 0; i < list->count(); ++i) list->item(i)->setText(tx(list->item(i)->text()));
  }
  if (auto* menu = qobject_cast<QMenu*>(w)) {
    localizeMenu(menu, tr);
  } else {
    for (QAction* action : w->actions()) localizeAction(action, tr);
  }
}

}  // namespace

QString localizedString(const platform::Bundle& bundle, const QString& key) {
  return QString::fromStdString(bundle.localizedString(key.toStdString(), "", "Localizable"));
}

void registerWidgetClass(const QString& className, WidgetFactory factory) {
  factories().insert(className, std::move(factory));
}

int tagOf(const QObject* control) {
  if (control == nullptr) return 0;
  return control->property("tag").toInt();
}

void localizeWidgetTree(QWidget* root, const std::function<QString(const QString&)>& translate) {
  if (root == nullptr || !translate) return;
  localizeOne(root, translate);
  for (QWidget* child : root->findChildren<QWidget*>()) localizeOne(child, translate);
}

std::unique_ptr<QWidget> loadInterfaceFile(const QString& path,
                                           const std::function<QString(const QString&)>& translate,
                                           QWidget* parent, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error != nullptr) *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return nullptr;
  }
  Loader loader;
  std::unique_ptr<QWidget> view(loader.load(&file, parent));
  if (!view) {
    if (error != nullptr) *error = QStringLiteral("%1: %2").arg(path, loader.errorString());
    return nullptr;
  }
  if (translate) localizeWidgetTree(view.get(), translate);
  return view;
}

std::unique_ptr<QWidget> loadInterface(const platform::Bundle& bundle, const QString& name,
                                       QWidget* parent, QString* error) {
  const std::string path = bundle.pathForResource(name.toStdString(), "ui");
  if (path.empty()) {
    if (error != nullptr) *error = QStringLiteral("the bundle has no interface file %1.ui").arg(name);
    return nullptr;
  }
  return loadInterfaceFile(
      QString::fromStdString(path),
      [&bundle](const QString& key) { return localizedString(bundle, key); }, parent, error);
}

}  // namespace paneui
