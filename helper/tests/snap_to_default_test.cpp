#include <QTimer>

#include "helper/tests/helper_fixture.h"

using namespace helpertest;
using sys::CGPoint;
using sys::CGSize;

namespace {

class SnapTest : public HelperTest {
 protected:
  void SetUp() override {
    start();
    helper->snapToDefault().startSnapToDefault();
  }
  const std::vector<CGPoint>& warps() const { return fake.display.warps; }
  sys::FakeAccessibility& ax() { return fake.accessibility; }
};

TEST_F(SnapTest, StartAndStopRunTheTimerOnlyWithAccess) {
  ASSERT_NE(helper->snapToDefault().snapTimer(), nullptr);
  EXPECT_TRUE(helper->snapToDefault().snapTimer()->isActive());
  EXPECT_EQ(helper->snapToDefault().snapTimer()->interval(), 500);
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_TRUE(helper->snapToDefault().holdsSystemWideElement());
  helper->snapToDefault().stopSnapToDefault();
  EXPECT_FALSE(helper->snapToDefault().snapToDefaultActive());
  EXPECT_EQ(helper->snapToDefault().snapTimer(), nullptr);
  EXPECT_FALSE(helper->snapToDefault().holdsSystemWideElement());

  // Without access the option is on but nothing runs, and switching it on again while on does
  // not start the timer later either.
  ax().enabled = false;
  helper->snapToDefault().startSnapToDefault();
  EXPECT_TRUE(helper->snapToDefault().snapToDefaultActive());
  EXPECT_EQ(helper->snapToDefault().snapTimer(), nullptr);
  ax().enabled = true;
  helper->snapToDefault().startSnapToDefault();
  EXPECT_EQ(helper->snapToDefault().snapTimer(), nullptr);
  helper->snapToDefault().stopSnapToDefault();
  helper->snapToDefault().startSnapToDefault();
  EXPECT_NE(helper->snapToDefault().snapTimer(), nullptr);
}

TEST_F(SnapTest, ADialogMakesThePointerJumpOnceToItsDefaultButton) {
  ax().showDialog({100, 200}, {80, 20}, 5);
  fake.input.buttons = 0x1;  // the user holds the mouse button: nothing at all
  helper->snapToDefault().idleSnapToDefault();
  fake.input.buttons = 0x2;
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_TRUE(warps().empty());
  EXPECT_EQ(helper->snapToDefault().snapLastPos(), (CGPoint{0, 0}));

  fake.input.buttons = 0x4;  // a third button does not count
  helper->snapToDefault().idleSnapToDefault();
  ASSERT_EQ(warps().size(), 1u);
  EXPECT_EQ(warps()[0], (CGPoint{140, 210}));
  EXPECT_EQ(helper->snapToDefault().snapNumChildren(), 5u);

  // The same dialog stays: no second jump.
  helper->snapToDefault().idleSnapToDefault();
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_EQ(warps().size(), 1u);

  // The button moves but the window's children stay the same: no jump either.
  ax().showDialog({300, 200}, {80, 20}, 5);
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_EQ(warps().size(), 1u);
  EXPECT_EQ(helper->snapToDefault().snapLastPos(), (CGPoint{340, 210}));
}

TEST_F(SnapTest, ASecondDialogAtTheSamePlaceJumpsOnlyAfterAReset) {
  ax().showDialog({10, 10}, {20, 20}, 3);
  helper->snapToDefault().idleSnapToDefault();
  ASSERT_EQ(warps().size(), 1u);
  // Straight into the next dialog at the same place: no tick without a button in between.
  ax().showDialog({10, 10}, {20, 20}, 4);
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_EQ(warps().size(), 1u);
  // A tick without a default button resets, then the dialog makes the pointer jump again.
  ax().showPlainWindow();
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_EQ(helper->snapToDefault().snapLastPos(), (CGPoint{0, 0}));
  EXPECT_EQ(helper->snapToDefault().snapNumChildren(), 0u);
  ax().showDialog({10, 10}, {20, 20}, 3);
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_EQ(warps().size(), 2u);
}

TEST_F(SnapTest, EveryFailureResets) {
  auto tickAfterJump = [&](const std::function<void()>& spoil) {
    ax().showDialog({50, 50}, {10, 10}, 2);
    helper->snapToDefault().idleSnapToDefault();
    spoil();
    helper->snapToDefault().idleSnapToDefault();
    return std::make_pair(helper->snapToDefault().snapLastPos(), helper->snapToDefault().snapNumChildren());
  };
  const std::pair<CGPoint, uint64_t> reset{CGPoint{0, 0}, 0};
  EXPECT_EQ(tickAfterJump([&] { ax().button->attributes[sys::kAXEnabledAttribute] = false; }), reset);
  EXPECT_EQ(tickAfterJump([&] { ax().button->attributes.erase(sys::kAXEnabledAttribute); }), reset);
  EXPECT_EQ(tickAfterJump([&] { ax().button->attributes[sys::kAXPositionAttribute] = CGSize{1, 1}; }), reset);
  EXPECT_EQ(tickAfterJump([&] { ax().button->errors[sys::kAXSizeAttribute] = sys::kAXErrorCannotComplete; }), reset);
  ax().button->errors.clear();
  EXPECT_EQ(tickAfterJump([&] { ax().window->attributes[sys::kAXDefaultButtonAttribute] = std::string("OK"); }), reset);
  EXPECT_EQ(tickAfterJump([&] { ax().application->attributes.erase(sys::kAXFocusedWindowAttribute); }), reset);
  EXPECT_EQ(tickAfterJump([&] { ax().showNothing(); }), reset);
  const size_t jumps = warps().size();
  EXPECT_EQ(jumps, 7u);  // each dialog after a reset jumped once

  // Losing access releases the system-wide element and resets at every tick.
  EXPECT_EQ(tickAfterJump([&] { ax().enabled = false; }), reset);
  EXPECT_FALSE(helper->snapToDefault().holdsSystemWideElement());
  ax().enabled = true;
  ax().showDialog({50, 50}, {10, 10}, 2);
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_TRUE(helper->snapToDefault().holdsSystemWideElement());
  EXPECT_EQ(ax().systemWideCreations(), 2);
}

TEST_F(SnapTest, AWindowWithoutChildrenStoresTheCentreWithoutJumping) {
  ax().showDialog({0, 0}, {40, 40}, 0);
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_TRUE(warps().empty());
  EXPECT_EQ(helper->snapToDefault().snapLastPos(), (CGPoint{20, 20}));
  // Children that cannot be counted count as none.
  ax().showDialog({0, 0}, {60, 60}, 3);
  ax().window->errors[sys::kAXChildrenAttribute] = sys::kAXErrorFailure;
  helper->snapToDefault().idleSnapToDefault();
  EXPECT_TRUE(warps().empty());
  EXPECT_EQ(helper->snapToDefault().snapLastPos(), (CGPoint{30, 30}));
}

TEST_F(HelperTest, JumpFollowsTheProfileInForce) {
  ProfileSpec jumping = deviceSpec(model(3));
  jumping.jump = true;
  ProfileSpec plain = deviceSpec(model(5));
  writeSettings({makeProfile(jumping), makeProfile(plain)});
  start();
  EXPECT_FALSE(helper->snapToDefault().snapToDefaultActive());
  arrive(model(3).info);
  EXPECT_TRUE(helper->snapToDefault().snapToDefaultActive());
  EXPECT_NE(helper->snapToDefault().snapTimer(), nullptr);
  // A device arriving with a profile without "jump" switches it off again.
  arrive(model(5).info);
  EXPECT_FALSE(helper->snapToDefault().snapToDefaultActive());
  EXPECT_EQ(helper->snapToDefault().snapTimer(), nullptr);
  // A broadcast asks the first device only.
  helper->sendPrefsToEveryVantrel();
  EXPECT_TRUE(helper->snapToDefault().snapToDefaultActive());

  // A device with no profile of its own takes "jump" from the profile for every device.
  ProfileSpec everyDevice;
  everyDevice.jump = true;
  writeSettings({makeProfile(plain), makeProfile(everyDevice)});
  helper->readPrefs();
  helper->snapToDefault().stopSnapToDefault();
  arrive(model(6).info);
  EXPECT_TRUE(helper->snapToDefault().snapToDefaultActive());
}

}  // namespace
