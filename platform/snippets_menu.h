// The snippets pop-up menu: ten items tagged 0 to 9 in index order. Titles persist between
// showings. The runtime backend is a Qt menu (platform/qt/), the test double
// platform/fake/fake_snippets_menu.h.
#pragma once

#include <optional>
#include <string>

namespace sys {

class SnippetsMenu {
 public:
  static constexpr int kItemCount = 10;

  virtual ~SnippetsMenu() = default;
  virtual std::string itemTitle(int index) const = 0;
  // Ignored for an index outside 0..9.
  virtual void setItemTitle(int index, const std::string& title) = 0;
  // Pops the menu up at the mouse location, no item under the pointer, and returns when it
  // closes: the tag of the chosen item, or nothing when the menu was dismissed.
  virtual std::optional<int> popUpAtMouseLocation() = 0;
};

// The title an item has until a snippet names it: "Snippet 1" for item 0 ... "Snippet 10".
inline std::string DefaultSnippetsMenuTitle(int index) {
  return "Snippet " + std::to_string(index + 1);
}

}  // namespace sys
