#include "pane/button_popups.h"

#include <QComboBox>
#include <QStandardItemModel>
#include <QVariant>

#include <array>
#include <climits>
#include <string>
#include <vector>

#include "pane/button_menus.h"

namespace menus {
namespace {

constexpr int kTagRole = Qt::UserRole;
constexpr int kObjectRole = Qt::UserRole + 1;
constexpr char kButtonNameProperty[] = "vtlButtonName";
constexpr int64_t kNoTag = INT64_MIN;

// Grouped: clicks; scrolling and the slow pointer while held; back and forward; editing;
// windows, the desktop and the snippets menu; media; nothing and the global profile's. (No
// separators: a screen reader would meet them as nameless items.)
constexpr auto kTemplate = std::to_array<int64_t>({
    1, 2, 3, 4, 8, 5, 6, 7,
    19, 9,
    30, 31,
    49, 51, 52, 53,
    104, 106, 160,
    90, 94, 95,
    0, 200});

QVariant tagValue(int64_t tag) { return QVariant::fromValue<qlonglong>(tag); }

}  // namespace

std::span<const int64_t> TemplateCommands() { return kTemplate; }

void FillTemplateMenu(QComboBox* templ, const CommandName& name, const QString& editorTitle) {
  if (!templ) return;
  templ->clear();
  for (int64_t code : kTemplate) {
    templ->addItem(QString::fromStdString(name ? name(code) : std::to_string(code)),
                   tagValue(code));
  }
  templ->addItem(editorTitle, tagValue(kEditorItemTag));
}

void CopyTemplateMenu(const QComboBox* templ, QComboBox* popup, int32_t button) {
  if (!templ || !popup) return;
  const QSignalBlocker quiet(popup);
  popup->clear();
  for (int i = 0; i < templ->count(); ++i) {
    const std::optional<int64_t> tag = ItemTag(templ, i);
    if (!tag) continue;
    popup->addItem(templ->itemIcon(i), templ->itemText(i), tagValue(*tag));
    if (*tag == kEditorItemTag)
      popup->setItemData(popup->count() - 1, QVariant::fromValue<int>(button), kObjectRole);
  }
  popup->setProperty("tag", button);
}

std::optional<int64_t> ItemTag(const QComboBox* popup, int index) {
  if (!popup || index < 0 || index >= popup->count()) return std::nullopt;
  const QVariant tag = popup->itemData(index, kTagRole);
  if (!tag.isValid()) return std::nullopt;
  return tag.toLongLong();
}

std::optional<int64_t> SelectedTag(const QComboBox* popup) {
  return popup ? ItemTag(popup, popup->currentIndex()) : std::nullopt;
}

void UpdatePopupForAssignment(QComboBox* popup, const pl::DictRef& profile, int32_t button,
                              const pl::Array* tree, const pl::Array* snippets,
                              const assignments::LocString& loc) {
  if (!popup) return;
  const auto hasTag = [popup](int64_t code) {
    for (int i = 0; i < popup->count(); ++i) {
      const std::optional<int64_t> tag = ItemTag(popup, i);
      if (tag && *tag == code && code >= 0) return true;
    }
    return false;
  };
  const MenuUpdate update = UpdateMenuForAssignment(profile, button, hasTag, tree, snippets, loc);

  // The rules work on the list of items; an item without a tag matches nothing.
  std::vector<MenuItem> items;
  for (int i = 0; i < popup->count(); ++i)
    items.push_back({ItemTag(popup, i).value_or(kNoTag), popup->itemText(i).toStdString()});
  const size_t before = items.size();
  const int selected = ApplyMenuUpdate(items, update);

  const QSignalBlocker quiet(popup);
  if (items.size() < before) popup->removeItem(popup->count() - 1);
  if (items.size() > before) popup->addItem(QString(), tagValue(kExtraItemTag));
  if (!update.selectedTag && !items.empty())
    popup->setItemText(popup->count() - 1, QString::fromStdString(items.back().title));
  popup->setCurrentIndex(selected);
  popup->setEnabled(update.enabled);

  QVariant base = popup->property(kButtonNameProperty);
  if (!base.isValid()) {
    base = popup->accessibleName();
    popup->setProperty(kButtonNameProperty, base);
  }
  const QString buttonName = base.toString();
  popup->setAccessibleName(buttonName.isEmpty()
                               ? popup->currentText()
                               : buttonName + QStringLiteral(": ") + popup->currentText());
}

void GetButtonAssignmentFromPopup(pl::Dictionary& button, const QComboBox* popup) {
  const std::optional<int64_t> tag = SelectedTag(popup);
  if (tag) GetButtonAssignmentFromMenu(button, *tag);
}

}  // namespace menus
