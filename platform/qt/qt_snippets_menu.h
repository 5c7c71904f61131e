// The snippets pop-up menu as a QMenu of ten items whose data is the tag 0..9. Popping it up
// runs a nested event loop until the menu closes. Needs a QApplication.
#pragma once

#include <array>
#include <memory>

#include "platform/snippets_menu.h"

class QMenu;

class QtSnippetsMenu final : public sys::SnippetsMenu {
 public:
  QtSnippetsMenu();
  ~QtSnippetsMenu() override;

  std::string itemTitle(int index) const override;
  void setItemTitle(int index, const std::string& title) override;
  std::optional<int> popUpAtMouseLocation() override;

  QMenu* menu() const { return fMenu.get(); }

 private:
  std::unique_ptr<QMenu> fMenu;
  std::array<std::string, kItemCount> fTitles;
};
