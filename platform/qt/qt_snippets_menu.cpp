#include "platform/qt/qt_snippets_menu.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

QtSnippetsMenu::QtSnippetsMenu() : fMenu(std::make_unique<QMenu>()) {
  for (int i = 0; i < kItemCount; ++i) {
    QAction* action = fMenu->addAction(QString());
    action->setData(i);
    setItemTitle(i, sys::DefaultSnippetsMenuTitle(i));
  }
}

QtSnippetsMenu::~QtSnippetsMenu() = default;

std::string QtSnippetsMenu::itemTitle(int index) const {
  if (index < 0 || index >= kItemCount) return {};
  return fTitles[static_cast<size_t>(index)];
}

void QtSnippetsMenu::setItemTitle(int index, const std::string& title) {
  const auto actions = fMenu->actions();
  if (index < 0 || index >= kItemCount || index >= actions.size()) return;
  fTitles[static_cast<size_t>(index)] = title;
  // A title is shown as it is: "&" does not make a keyboard accelerator.
  actions[index]->setText(QString::fromStdString(title).replace('&', QStringLiteral("&&")));
}

std::optional<int> QtSnippetsMenu::popUpAtMouseLocation() {
  QAction* chosen = fMenu->exec(QCursor::pos());
  if (!chosen) return std::nullopt;
  bool ok = false;
  const int tag = chosen->data().toInt(&ok);
  return ok ? std::optional<int>(tag) : std::nullopt;
}
