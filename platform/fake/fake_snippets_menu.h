// A snippets menu for tests: it keeps its titles, answers each pop-up with `choice`, and runs
// `whileOpen` while it is "open" (to look at the world, or to deliver events that must wait).
#pragma once

#include <array>
#include <functional>

#include "platform/snippets_menu.h"

namespace sys {

class FakeSnippetsMenu final : public SnippetsMenu {
 public:
  FakeSnippetsMenu() {
    for (int i = 0; i < kItemCount; ++i) titles[static_cast<size_t>(i)] = DefaultSnippetsMenuTitle(i);
  }
  std::string itemTitle(int index) const override {
    return index >= 0 && index < kItemCount ? titles[static_cast<size_t>(index)] : std::string();
  }
  void setItemTitle(int index, const std::string& title) override {
    if (index >= 0 && index < kItemCount) titles[static_cast<size_t>(index)] = title;
  }
  std::optional<int> popUpAtMouseLocation() override {
    ++popUps;
    titlesAtPopUp = titles;
    if (whileOpen) whileOpen();
    return choice;
  }

  std::array<std::string, kItemCount> titles;
  std::array<std::string, kItemCount> titlesAtPopUp;
  std::optional<int> choice;
  std::function<void()> whileOpen;
  int popUps = 0;
};

}  // namespace sys
