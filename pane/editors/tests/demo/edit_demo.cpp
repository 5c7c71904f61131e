// The assignment editor on its own, for desktop tests and screenshots: opens the dialog for one
// button of a made-up profile and, when it ends, prints the button's dictionary (OK) or
// "cancelled" and the snippets array.
//   vantrel_edit_demo [CMD [DEVICE-TAB [BUTTON]]]      (defaults: 10, 0, 2)
// The resources come from the source tree unless VANTREL_RESOURCES names another folder.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pane/button_menus.h"
#include "pane/editors/vantrel_edit_controller.h"
#include "pane/key_capture.h"
#include "platform/plist.h"
#include "settings/models.h"
#include "settings/string_utils.h"

namespace {

pl::DictRef button(int64_t code) {
  auto b = pl::makeDict();
  b->setInteger("cmd", code);
  switch (code) {
    case 10: b->setInteger("key", 40); b->setInteger("mod", 0x0300); break;
    case 2: b->setInteger("mod", 0x1800); break;
    case 20: case 21: case 22: case 23: b->setInteger("cnt", 3); break;
    case 70: b->setString("str", "~/Documents/Plans.odt"); break;
    case 71: b->setString("str", "Calculator"); b->setString("bndl", "org.gnome.Calculator"); break;
    case 72: b->setString("str", "https://www.example.org/"); break;
    case 73: b->setString("str", "notify-send 'Hello'"); break;
    default: break;
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int64_t code = argc > 1 ? std::atoll(argv[1]) : 10;
  const int device = argc > 2 ? std::atoi(argv[2]) : 0;
  const int32_t buttonNumber = argc > 3 ? std::atoi(argv[3]) : 2;

  const char* folder = std::getenv("VANTREL_RESOURCES");
  const platform::Bundle bundle(folder && *folder ? folder : VANTREL_RESOURCE_DIR);

  auto snippets = pl::makeArray();
  for (int i = 1; i <= 10; ++i) {
    auto s = pl::makeDict();
    s->setString("name", i == 2 ? "Greeting" : "Snippet " + std::to_string(i));
    s->setString("text", i == 2 ? "Hello, and thank you for your message." : "");
    snippets->append(s);
  }
  auto buttons = pl::makeDict();
  buttons->set(menus::ButtonKey(buttonNumber), button(code));
  auto profile = pl::makeDict();
  profile->set("buttons", buttons);

  VantrelEditController::Host host;
  host.curDeviceTabIndex = [device] { return device; };
  host.curAssignmentTabIndex = [device](int32_t b) {
    const auto menusOf = models::menuButtonsOfDevice(device + 1);
    for (size_t i = 0; i < menusOf.size(); ++i)
      if (menusOf[i] == b) return static_cast<int32_t>(i);
    return 0;
  };
  VantrelEditController editor(bundle, host, MacOSXVersion());
  if (!editor.window()) {
    std::fprintf(stderr, "the editor's interface could not be loaded\n");
    return 2;
  }
  VantrelSwapNSAppMethods(&editor);
  const bool ok = editor.editButtonAction(buttonNumber, profile, snippets);
  VantrelSwapNSAppMethods(nullptr);
  const auto text = ok ? pl::toXml(*buttons->getDict(menus::ButtonKey(buttonNumber)))
                       : std::optional<std::string>("cancelled\n");
  std::printf("%s", text ? text->c_str() : "");
  const auto list = pl::toXml(*snippets);
  std::printf("%s", list ? list->c_str() : "");
  return 0;
}
