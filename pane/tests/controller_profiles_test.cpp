// The profile menu, the links and the hyperlink buttons of the real main interface file, on the
// offscreen platform, in German.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "pane/hyperlink_button.h"
#include "pane/interface_loader.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "platform/fake/fake_workspace_actions.h"

namespace {

pl::DictRef profile(const std::string& name, int64_t product, const std::string& bundleID) {
  pl::DictRef p = pl::makeDict();
  p->setString("settings name", name);
  pl::DictRef device = pl::makeDict();
  device->setInteger("device product id", product);
  p->set("target device", device);
  pl::DictRef app = pl::makeDict();
  if (!bundleID.empty()) app->setString("app bundle id", bundleID);
  p->set("target app", app);
  return p;
}

class ControllerProfilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gVantrelBundle = &bundle_;
    registerHyperlinkButton();
    QString error;
    root_ = paneui::loadInterface(bundle_, QStringLiteral("VantrelPrefPane"), nullptr, &error);
    ASSERT_TRUE(root_) << error.toStdString();
    services_.workspace = &workspace_;
    controller_ = std::make_unique<VantrelController>(root_.get(), services_);
  }
  void TearDown() override {
    controller_.reset();
    root_.reset();
    gVantrelBundle = nullptr;
  }
  QStringList menuTitles() const {
    QStringList out;
    for (int i = 0; i < controller_->outMainPopupProfile->count(); ++i)
      out << controller_->outMainPopupProfile->itemText(i);
    return out;
  }

  platform::Bundle bundle_{VANTREL_RESOURCE_DIR, "de"};
  std::unique_ptr<QWidget> root_;
  sys::FakeWorkspaceActions workspace_;
  panesvc::PaneServices services_;
  std::unique_ptr<VantrelController> controller_;
};

TEST_F(ControllerProfilesTest, MenuListsTheDevicesProfilesAndKeepsTheChoiceAcrossRebuilds) {
  ASSERT_NE(controller_->outMainPopupProfile, nullptr);
  controller_->fSettingsArray = pl::makeArray();
  for (const auto& p : {profile("zeta", 0x20, "z"), profile("All Applications", 0x20, ""), profile("Alpha", 0x20, "a"),
                        profile("beta", 0x20, "b"), profile("Elsewhere", 0x30, "e")})
    controller_->fSettingsArray->append(p);
  controller_->fSelectedDevice = pl::makeDict();
  controller_->fSelectedDevice->setInteger("device product id", 0x20);

  controller_->vtlUpdateProfileMenu();
  EXPECT_EQ(menuTitles(), (QStringList{"Alle Programme", "", "Alpha", "beta", "zeta"}));
  QComboBox* popup = controller_->outMainPopupProfile;
  popup->setCurrentIndex(3);  // beta

  // Rebuilt after the array changed: the same profile (by contents) stays chosen.
  controller_->fSettingsArray->append(profile("Aardvark", 0x20, "aa"));
  controller_->vtlUpdateProfileMenu();
  EXPECT_EQ(menuTitles(), (QStringList{"Alle Programme", "", "Aardvark", "Alpha", "beta", "zeta"}));
  EXPECT_EQ(popup->currentText(), "beta");

  // Without a global profile the menu starts with the separator; a chosen profile that is gone
  // falls back to item 0.
  controller_->fSettingsArray->remove(1);
  controller_->fSettingsArray->remove(2);  // beta
  controller_->vtlUpdateProfileMenu();
  EXPECT_EQ(menuTitles(), (QStringList{"", "Aardvark", "Alpha", "zeta"}));
  EXPECT_EQ(popup->currentIndex(), 0);
  // Choosing the separator changes nothing.
  controller_->actPopupProfile(popup);
  EXPECT_FALSE(controller_->fSelectedApp);
}

TEST_F(ControllerProfilesTest, RemovingTheGlobalProfileOrAnIndexOutOfRangeIsRefused) {
  controller_->fSettingsArray = pl::makeArray();
  controller_->fSettingsArray->append(profile("All Applications", 0x20, ""));
  controller_->fCurSettingsDict = controller_->fSettingsArray->dictAt(0);
  controller_->fCurSettingsIndex = 0;
  controller_->actButtonRemoveProfile(nullptr);
  EXPECT_EQ(controller_->fSettingsArray->size(), 1u);
  controller_->fSettingsArray->append(profile("Mail", 0x20, "m"));
  controller_->fCurSettingsDict = controller_->fSettingsArray->dictAt(1);
  controller_->fCurSettingsIndex = 5;
  controller_->actButtonRemoveProfile(nullptr);
  EXPECT_EQ(controller_->fSettingsArray->size(), 2u);
}

TEST_F(ControllerProfilesTest, LinksOpenByTagAndAreDrawnAsLinks) {
  auto* product = paneui::outlet<QPushButton>(root_.get(), "buttonOpenProductPage");
  auto* supportSite = paneui::outlet<QPushButton>(root_.get(), "buttonOpenSupportSite");
  auto* uninstaller = paneui::outlet<QPushButton>(root_.get(), "buttonOpenUninstaller");
  ASSERT_TRUE(product && supportSite && uninstaller);
  EXPECT_TRUE(qobject_cast<VantrelHyperlinkButton*>(product));
  EXPECT_TRUE(qobject_cast<VantrelHyperlinkButton*>(supportSite));
  EXPECT_FALSE(product->accessibleName().isEmpty());
  EXPECT_EQ(product->focusPolicy(), Qt::StrongFocus);

  controller_->actButtonOpenLink(product);
  controller_->actButtonOpenLink(supportSite);
  controller_->actButtonOpenLink(uninstaller);
  controller_->actButtonOpenLink(nullptr);  // tag 0: nothing
  using Call = sys::FakeWorkspaceActions::Call;
  EXPECT_EQ(workspace_.calls,
            (std::vector<Call>{{Call::OpenURL, "http://www.halvorn.com/vantrel", 0},
                               {Call::OpenURL, "http://support.halvorn.com/", 0},
                               {Call::OpenFile, "/Applications/Utilities/Vantrel Uninstaller.app", 0}}));

  EXPECT_EQ(VantrelHyperlinkButton::linkColor(false), QColor::fromRgbF(0.1f, 0.1f, 1.0f));
  EXPECT_EQ(VantrelHyperlinkButton::linkColor(true), QColor::fromRgbF(1.0f, 0.1f, 0.1f));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
