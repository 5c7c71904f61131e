// Takes screenshots of the panel on fake services: every device page, the pointer, scrolling
// and about pages, the warning page and the page for no supported device, in the language
// given. Usage: pane_screenshots <output folder> [en|de]
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStackedWidget>
#include <QTabWidget>

#include <cstdio>
#include <string>

#include "pane/tests/pane_harness.h"
#include "settings/models.h"

namespace {

void shoot(QWidget* window, const QString& path) {
  window->show();
  QApplication::processEvents();
  window->resize(window->sizeHint().expandedTo(window->minimumSizeHint()).expandedTo(QSize(760, 560)));
  QApplication::processEvents();
  window->grab().save(path);
  std::printf("%s\n", qPrintable(path));
}

void showRootPage(VantrelController& c, int identifier) {
  for (int i = 0; i < c.outMainTabsRoot->count(); ++i) {
    if (c.outMainTabsRoot->widget(i)->property("identifier").toInt() == identifier) c.outMainTabsRoot->setCurrentIndex(i);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: pane_screenshots <folder> [en|de]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const std::string language = argc > 2 ? argv[2] : "en";
  QDir().mkpath(folder);
  const QString prefix = folder + QLatin1Char('/') + QString::fromStdString(language) + QLatin1Char('-');

  for (int device = 1; device <= 7; ++device) {
    panetest::PaneHarness h(language);
    h.open();
    h.select();
    const uint16_t product = models::productOfDevice(device);
    h.attach(product);
    h.settle();
    h.deliverList({panetest::listedDevice(product, models::releaseRangeOfDevice(device).min
                                                       ? models::releaseRangeOfDevice(device).min
                                                       : (device == 3 ? 0x0105 : 0x0102))});
    shoot(h.window(), prefix + QStringLiteral("dev%1.png").arg(device));
    if (device == 1 || device == 5) {
      showRootPage(h.controller(), 2);
      shoot(h.window(), prefix + QStringLiteral("dev%1-pointer.png").arg(device));
      showRootPage(h.controller(), 3);
      shoot(h.window(), prefix + QStringLiteral("dev%1-scrolling.png").arg(device));
      showRootPage(h.controller(), 4);
      shoot(h.window(), prefix + QStringLiteral("dev%1-about.png").arg(device));
    }
  }
  {
    panetest::PaneHarness h(language);
    h.open();
    h.select();
    h.connect({models::productOfDevice(1), models::productOfDevice(5)});
    shoot(h.window(), prefix + QStringLiteral("two-devices.png"));
  }
  {
    // The helper lists a device the pane's HID manager does not see (and a Bluetooth one it does).
    panetest::PaneHarness h(language);
    h.open();
    h.select();
    h.attach(models::productOfDevice(5), true);
    h.settle();
    h.deliverList({panetest::listedDevice(models::productOfDevice(1)), panetest::listedDevice(models::productOfDevice(4))});
    shoot(h.window(), prefix + QStringLiteral("warning.png"));
  }
  {
    // Nothing attached, nothing listed.
    panetest::PaneHarness h(language);
    h.open();
    h.select();
    h.settle();
    h.deliverList({});
    showRootPage(h.controller(), 4);
    shoot(h.window(), prefix + QStringLiteral("no-device-about.png"));
  }
  {
    // A settings file whose only profile is for a product the pane does not know.
    panetest::PaneHarness h(language);
    pl::DictRef prefs = h.factorySettings();
    pl::ArrayRef devices = prefs->getArray("devices");
    pl::DictRef only = devices->dictAt(0);
    only->getDict("target device")->setInteger("device product id", 0x0B99);
    const pl::ArrayRef one = pl::makeArray();
    one->append(only);
    prefs->set("devices", one);
    h.writeSettings(*prefs);
    h.open();
    h.select();
    h.settle();
    h.deliverList({});
    shoot(h.window(), prefix + QStringLiteral("no-device.png"));
  }
  return 0;
}
