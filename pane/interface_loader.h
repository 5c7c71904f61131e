// The panel's interface files: Qt Designer ".ui" files in the pane bundle's resources, loaded at
// run time so that the bundle carries them as a translator or a user would find them.
//
// A control's objectName is its outlet name (outPointerSliderSpeed, ...); a control's "tag" is the
// dynamic property "tag" (an int), and a menu item's tag is its item data. Texts in the files are
// written in English and are the keys of the "Localizable" tables: after loading, every text a
// user sees or a screen reader reads (window titles, labels, button and check box texts, group box
// titles, tab texts, combo box items, place-holder texts, tool tips, accessible names and
// descriptions, menu and action texts, header labels) is replaced by its entry in the user's
// language; a text without an entry stays as written.
//
// Widget classes of our own that a file names (a <customwidget>) are made by the factories
// registered with registerWidgetClass; a file naming a class that nobody registered fails to load.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace platform {
class Bundle;
}

namespace paneui {

// The text of `key` in the bundle's "Localizable" table for the user's language; the key itself
// when no table has it.
QString localizedString(const platform::Bundle& bundle, const QString& key);

using WidgetFactory = std::function<QWidget*(QWidget* parent)>;
// Makes `className` known to every later load. Main thread only; registering a name again
// replaces its factory.
void registerWidgetClass(const QString& className, WidgetFactory factory);

// Loads "<name>.ui" from the bundle's resources with `parent` as the parent of its top widget,
// and localises it (above) through the bundle. Null when the file is missing or cannot be read;
// `error`, when given, says why.
std::unique_ptr<QWidget> loadInterface(const platform::Bundle& bundle, const QString& name,
                                       QWidget* parent = nullptr, QString* error = nullptr);

// Loads an interface from a file path; localises through `translate` (no localisation when it is
// empty).
std::unique_ptr<QWidget> loadInterfaceFile(const QString& path,
                                           const std::function<QString(const QString&)>& translate,
                                           QWidget* parent = nullptr, QString* error = nullptr);

// Replaces every user-visible text of `root` and its descendants (widgets, their actions and
// menus) by `translate` of it. Empty texts are left alone.
void localizeWidgetTree(QWidget* root, const std::function<QString(const QString&)>& translate);

// The descendant of `root` (or `root` itself) of type T with objectName `name`; null when none.
template <class T>
T* outlet(QObject* root, const char* name) {
  if (root == nullptr) return nullptr;
  if (root->objectName() == QLatin1String(name)) {
    if (auto* self = qobject_cast<T*>(root)) return self;
  }
  return root->findChild<T*>(QString::fromLatin1(name));
}

// The "tag" property of a control (0 when it has none).
int tagOf(const QObject* control);

}  // namespace paneui
