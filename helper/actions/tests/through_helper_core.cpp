// Button presses from the driver through the helper core to the actions and back to the
// driver, on the fake registry.
#include <gtest/gtest.h>

#include "helper/actions/tests/actions_world.h"
#include "helper/tests/helper_fixture.h"

namespace helpertest {
namespace {


class ActionsThroughHelper : public HelperTest {
 protected:
  // One global profile for Dev1 whose buttons 2.. carry the given commands.
  void writeProfile(const std::vector<pl::DictRef>& buttons) {
    pl::DictRef profile = makeProfile(deviceSpec(model(1)));
    for (size_t i = 0; i < buttons.size(); ++i) {
      char key[3] = {'0', static_cast<char>('2' + i), 0};
      profile->getDict("buttons")->set(key, buttons[i]);
    }
    auto prefs = pl::makeDict();
    prefs->setInteger("version", 3);
    auto devices = pl::makeArray();
    devices->append(profile);
    prefs->set("devices", devices);
    auto snippets = pl::makeArray();
    for (const char* text : {"zero", "one", "two", "three"}) {
      auto s = pl::makeDict();
      s->setString("text", text);
      snippets->append(s);
    }
    prefs->set("snippets", snippets);
    ASSERT_TRUE(pl::writeXmlFile(*prefs, settingsPath));
  }
  void press(ServiceId s, uint16_t button) {
    world.postMessage(s, driver::kMessageButton, std::vector<uint8_t>{static_cast<uint8_t>(button), 0});
    fake.runPending();
  }

  ActionsWorld w{dir.path()};
};

TEST_F(ActionsThroughHelper, PressesComeBackAsKeystrokesToTheirDevice) {
  auto character = ButtonDict(11);
  character->setInteger("char", 'A');
  character->setInteger("mod", 0x0800);
  writeProfile({ButtonDict(52), character, ButtonDict(183), ButtonDict(94), ButtonDict(76)});
  w.events.addProcess(FourCharCode("hook"));
  w.pasteboard.put("text/plain", "kept");

  const ServiceId first = publishDevice(model(1).info);
  makeHelper();
  helper->setButtonActions(&w.actions);
  helper->awakeFromNib();
  const ServiceId second = publishDevice(model(1).info);
  fake.runPending();
  const io_connect_t c1 = connectionOf(first), c2 = connectionOf(second);
  ASSERT_NE(c1, 0u);
  ASSERT_NE(c2, 0u);
  world.clearCalls();

  press(second, 2);   // Command-C on the U.S. layout
  press(second, 3);   // "A": the layout's Shift and the button's Option
  press(second, 6);   // Escape with Command and Option
  press(second, 16);  // no such button
  EXPECT_EQ(params(controlCalls(driver::kControlKeystroke, c2)),
            (std::vector<uint64_t>{0x01000800, 0x0A000000, 0x09003500}));
  EXPECT_TRUE(controlCalls(driver::kControlKeystroke, c1).empty());

  // A snippet is pasted through the first device, and the pasteboard is back as it was.
  press(second, 4);
  EXPECT_EQ(params(controlCalls(driver::kControlKeystroke, c1)), std::vector<uint64_t>{0x01000900});
  EXPECT_EQ(w.pasteboard.stringFor("text/plain"), "kept");
  EXPECT_EQ(w.sleeper.microseconds(), std::vector<uint32_t>{250000});

  press(first, 5);  // volume up to the media application
  ASSERT_EQ(w.events.sent.size(), 1u);
  EXPECT_EQ(w.events.sent[0].eventID, FourCharCode("vol+"));

  // Away from the console nothing is carried out.
  world.clearCalls();
  fake.session.setOnConsole(false);
  press(first, 2);
  EXPECT_TRUE(controlCalls(driver::kControlKeystroke).empty());
}

}  // namespace
}  // namespace helpertest
