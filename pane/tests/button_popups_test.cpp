// The button pop-ups as widgets: the template and its copies, and what a pop-up shows and stores
// for a profile. (The QApplication comes from the editor tests' main.)
#include "pane/button_popups.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include "pane/button_menus.h"
#include "pane/editors/tests/assignment_test_support.h"
#include "settings/commands.h"

namespace {

using namespace assignment_tests;

class Popups : public ::testing::Test {
 protected:
  void SetUp() override {
    tree = assignments::LoadAssignmentsTree(resources, 0x1090);
    menus::FillTemplateMenu(
        &templ,
        [this](int64_t code) {
          return loc(std::string(commands::command(static_cast<uint16_t>(code)).nameKey));
        },
        "Other Action…");
    for (int b : {0, 1, 2, 3}) {
      popups[b].setAccessibleName(QStringLiteral("Button %1").arg(b + 1));
      menus::CopyTemplateMenu(&templ, &popups[b], b);
    }
  }

  void updateAll(const pl::DictRef& profile) {
    for (int b : {0, 1, 2, 3})
      menus::UpdatePopupForAssignment(&popups[b], profile, b, tree.get(), nullptr, loc);
  }

  static pl::DictRef profileOf(std::initializer_list<std::pair<const char*, pl::ObjectRef>> b) {
    return D({{"buttons", D(b)}});
  }

  platform::Bundle resources = Resources("en");
  assignments::LocString loc = LocIn(resources);
  UsKeyNames keyNames{&resources};
  pl::ArrayRef tree;
  QComboBox templ;
  QComboBox popups[4];
};

// Every pop-up has its own items: the common commands with their codes as tags, the editor
// item last, carrying the pop-up's button number; the pop-up's tag is its button.
TEST_F(Popups, EachPopupHasItsOwnCopy) {
  std::vector<int64_t> tags;
  for (int i = 0; i < templ.count(); ++i) {
    if (auto tag = menus::ItemTag(&templ, i)) tags.push_back(*tag);
  }
  std::vector<int64_t> expected;
  for (int64_t code : menus::TemplateCommands()) expected.push_back(code);
  expected.push_back(menus::kEditorItemTag);
  EXPECT_EQ(tags, expected);
  EXPECT_EQ(templ.itemText(0), "Primary click");

  QComboBox& p = popups[2];
  EXPECT_EQ(p.property("tag").toInt(), 2);
  EXPECT_EQ(p.count(), templ.count());
  EXPECT_EQ(menus::ItemTag(&p, p.count() - 1), menus::kEditorItemTag);
  EXPECT_EQ(p.itemData(p.count() - 1, Qt::UserRole + 1).toInt(), 2);
  EXPECT_EQ(popups[3].itemData(p.count() - 1, Qt::UserRole + 1).toInt(), 3);
  p.addItem("extra");
  EXPECT_EQ(popups[1].count(), templ.count());
}

// A plain command selects its item; modifiers, keystrokes and labels show as the extra item at
// the end, which choosing a plain item removes again; button 0 keeps the device's plain click.
TEST_F(Popups, ExtraItemAndPrimaryClick) {
  auto profile = profileOf({{"00", D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0100)}})},
                            {"01", D({{"cmd", I(52)}})},
                            {"02", D({{"cmd", I(2)}, {"mod", I(0x0100)}})},
                            {"03", D({{"cmd", I(52)}, {"label", S("Grab")}})}});
  const int plainCount = templ.count();
  updateAll(profile);

  // Button 0 becomes a click (its Command kept) and may not be changed.
  EXPECT_EQ(profile->getDict("buttons")->getDict("00")->integerValue("cmd"), 1);
  EXPECT_FALSE(popups[0].isEnabled());
  EXPECT_EQ(popups[0].currentText(), QString::fromUtf8("⌘+Primary click"));
  EXPECT_EQ(menus::SelectedTag(&popups[0]), menus::kExtraItemTag);

  EXPECT_TRUE(popups[1].isEnabled());
  EXPECT_EQ(popups[1].currentText(), "Copy");
  EXPECT_EQ(popups[1].count(), plainCount);
  EXPECT_EQ(popups[1].accessibleName(), "Button 2: Copy");

  EXPECT_EQ(popups[2].currentText(), QString::fromUtf8("⌘+Secondary click"));
  EXPECT_EQ(popups[2].count(), plainCount + 1);
  EXPECT_EQ(popups[3].currentText(), "Grab");

  // Choosing the plain secondary click: stored, and the extra item goes.
  popups[2].setCurrentIndex(popups[2].findData(QVariant::fromValue<qlonglong>(2)));
  auto b2 = profile->getDict("buttons")->getDict("02");
  menus::GetButtonAssignmentFromPopup(*b2, &popups[2]);
  EXPECT_EQ(b2->integerValue("mod"), 0);
  // The extra item and the editor item store nothing.
  auto b3 = profile->getDict("buttons")->getDict("03");
  menus::GetButtonAssignmentFromPopup(*b3, &popups[3]);
  popups[3].setCurrentIndex(popups[3].findData(QVariant::fromValue<qlonglong>(-1)));
  menus::GetButtonAssignmentFromPopup(*b3, &popups[3]);
  EXPECT_EQ(b3->stringValue("label"), "Grab");

  updateAll(profile);
  EXPECT_EQ(popups[2].count(), plainCount);
  EXPECT_EQ(popups[2].currentText(), "Secondary click");
  EXPECT_EQ(popups[2].accessibleName(), "Button 3: Secondary click");
  // A keystroke retitles the extra item the pop-up already has.
  b3->clear();
  b3->setInteger("cmd", 10);
  b3->setInteger("key", 40);
  b3->setInteger("mod", 0x0300);
  updateAll(profile);
  EXPECT_EQ(popups[3].currentText(), QString::fromUtf8("Type ⌘⇧K"));
  EXPECT_EQ(popups[3].count(), plainCount + 1);
}

}  // namespace
