// The assignment editor on its own, for desktop tests and screenshots: opens the dialog for one
// button of a made-up profile and, when it ends, prints the button's dictionary (OK) or
// "cancelled" and the snippets array.
//   vantrel_edit_demo [CMD [DEVICE-TAB [BUTTON]]]      (defaults: 10, 0, 2)
// With "--menus DEVICE-TAB": a window with that device's button pop-ups on a profile of mixed
// assignments; the pop-ups' editor items open the editor. After every change the profile is
// written to the file $VANTREL_DEMO_PROFILE names, when it names one.
// The resources come from the source tree unless VANTREL_RESOURCES names another folder.
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSvgRenderer>
#include <QPainter>
#include <QWidget>

#include <vector>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pane/button_menus.h"
#include "pane/button_popups.h"
#include "pane/interface_loader.h"
#include "settings/commands.h"
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

// The device page: the picture and one labelled pop-up per button, the editor behind the
// pop-ups' editor items.
int menusWindow(const platform::Bundle& bundle, int device) {
  auto snippets = pl::makeArray();
  auto greeting = pl::makeDict();
  greeting->setString("name", "Greeting");
  greeting->setString("text", "Hello");
  snippets->append(greeting);
  auto buttons = pl::makeDict();
  const auto put = [&](const char* key, pl::DictRef b) { buttons->set(key, b); };
  auto b0 = pl::makeDict(); b0->setInteger("cmd", 1); b0->setInteger("mod", 0); put("00", b0);
  auto b1 = pl::makeDict(); b1->setInteger("cmd", 2); b1->setInteger("mod", 0); put("01", b1);
  auto b2 = pl::makeDict(); b2->setInteger("cmd", 52); put("02", b2);
  auto b3 = pl::makeDict(); b3->setInteger("cmd", 72);
  b3->setString("str", "http://www.example.org/"); put("03", b3);
  auto b8 = pl::makeDict(); b8->setInteger("cmd", 10); b8->setInteger("key", 40);
  b8->setInteger("mod", 0x0300); put("08", b8);
  auto b9 = pl::makeDict(); b9->setInteger("cmd", 180); put("09", b9);
  auto profile = pl::makeDict();
  profile->set("buttons", buttons);

  const auto menusOf = models::menuButtonsOfDevice(device + 1);
  VantrelEditController::Host host;
  host.curDeviceTabIndex = [device] { return device; };
  host.curAssignmentTabIndex = [menusOf](int32_t b) {
    for (size_t i = 0; i < menusOf.size(); ++i)
      if (menusOf[i] == b) return static_cast<int32_t>(i);
    return 0;
  };
  VantrelEditController editor(bundle, host, MacOSXVersion());
  const assignments::LocString loc = editor.locString();

  QWidget window;
  window.setWindowTitle(paneui::localizedString(bundle, QStringLiteral("Buttons")));
  auto* row = new QHBoxLayout(&window);
  auto* picture = new QLabel;
  QSvgRenderer svg(QString::fromStdString(bundle.resourcePath()) +
                   QStringLiteral("/devices/dev%1.svg").arg(device + 1));
  QPixmap pixmap(200, 200);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  svg.render(&painter);
  painter.end();
  picture->setPixmap(pixmap);
  row->addWidget(picture);
  auto* form = new QFormLayout;
  row->addLayout(form);

  QComboBox templ;
  menus::FillTemplateMenu(
      &templ,
      [&](int64_t code) {
        std::string key;
        editor.findCommandInTree(code, nullptr, nullptr, nullptr, nullptr, &key);
        if (key.empty()) key = std::string(commands::command(static_cast<uint16_t>(code)).nameKey);
        return loc(key);
      },
      editor.vtlLocString("Other Action…"));
  std::vector<std::pair<QComboBox*, int32_t>> popups;
  const char* out = std::getenv("VANTREL_DEMO_PROFILE");
  const auto refresh = [&] {
    for (auto& [p, b] : popups)
      menus::UpdatePopupForAssignment(p, profile, b, editor.vtlGetAssignmentsTree().get(),
                                      snippets.get(), loc);
    if (out && *out) pl::writeXmlFile(*profile, out);
  };
  const char* names[] = {"Button 1", "Button 2", "Button 3", "Button 4", "", "", "", "",
                         "Chord 1", "Chord 2"};
  for (int b : menusOf) {
    auto* popup = new QComboBox;
    const QString name = editor.vtlLocString(names[b]);
    popup->setAccessibleName(name);
    menus::CopyTemplateMenu(&templ, popup, b);
    auto* label = new QLabel(name + QStringLiteral(":"));
    label->setBuddy(popup);
    form->addRow(label, popup);
    popups.emplace_back(popup, b);
    QObject::connect(popup, &QComboBox::activated, &window, [&, popup, b](int index) {
      const auto tag = menus::ItemTag(popup, index);
      if (tag && *tag == menus::kEditorItemTag) {
        editor.editButtonAction(b, profile, snippets);
      } else if (tag) {
        menus::StoreMenuChoice(profile, b, *tag);
      }
      refresh();
    });
  }
  refresh();
  VantrelSwapNSAppMethods(&editor);
  window.show();
  const int status = QApplication::exec();
  VantrelSwapNSAppMethods(nullptr);
  return status;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc > 2 && std::string(argv[1]) == "--menus") {
    const char* folder = std::getenv("VANTREL_RESOURCES");
    return menusWindow(platform::Bundle(folder && *folder ? folder : VANTREL_RESOURCE_DIR),
                       std::atoi(argv[2]));
  }
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
