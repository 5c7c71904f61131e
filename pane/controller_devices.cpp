// HID detection, the helper's device list and the device pages.
#include <QAbstractButton>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QToolButton>
#include <QVBoxLayout>

#include "pane/interface_loader.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "settings/models.h"

namespace {

void hidMatched(void* context, sys::IOReturn result, void* sender, sys::IOHIDDeviceRef device) {
  static_cast<VantrelController*>(context)->hidDeviceAdded(device, sender, result);
}

void hidRemoved(void* context, sys::IOReturn result, void* sender, sys::IOHIDDeviceRef device) {
  static_cast<VantrelController*>(context)->hidDeviceRemoved(device, sender, result);
}

bool isBluetoothLowEnergy(const sys::IOHIDDeviceRef& device) {
  const pl::StringRef transport = pl::asString(sys::IOHIDDeviceGetProperty(device, sys::kIOHIDTransportKey));
  return transport && transport->value() == sys::kIOHIDTransportBluetoothLowEnergyValue;
}

// The outlet name part and the label of button `button` ("Button1", "Button 1").
QString buttonOutletPart(int button) {
  return button >= 8 ? QStringLiteral("Chord%1").arg(button - 7) : QStringLiteral("Button%1").arg(button + 1);
}
QString buttonTitleKey(int button) {
  return button >= 8 ? QStringLiteral("Chord %1").arg(button - 7) : QStringLiteral("Button %1").arg(button + 1);
}

constexpr int kPagePictureSize = 200;
constexpr int kCellPictureSize = 56;

}  // namespace

// ---- device pages ---------------------------------------------------------------------------------

QPixmap VantrelController::devicePicture(int device, int size) {
  if (gVantrelBundle == nullptr || device < 1 || device > kDeviceModels) return {};
  const QString path =
      QString::fromStdString(gVantrelBundle->resourcePath()) + QStringLiteral("/devices/dev%1.svg").arg(device);
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

void VantrelController::buildDevicePages() {
  if (!fRoot) return;
  for (int device = 1; device <= kDeviceModels; ++device) {
    auto* page = fRoot->findChild<QWidget*>(QStringLiteral("btnPageDev%1").arg(device));
    if (page == nullptr || page->layout() != nullptr) continue;
    auto* row = new QHBoxLayout(page);
    row->setSpacing(16);
    auto* picture = new QLabel(page);
    picture->setObjectName(QStringLiteral("devicePictureDev%1").arg(device));
    picture->setPixmap(devicePicture(device, kPagePictureSize));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    const int entry = models::entryOfProduct(models::productOfDevice(device));
    const QString model = QString::fromUtf8(models::modelName(entry).data(),
                                            static_cast<qsizetype>(models::modelName(entry).size()));
    picture->setAccessibleName(model);
    picture->setToolTip(model);
    row->addWidget(picture);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* heading = new QLabel(model, page);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    form->addRow(heading);
    for (const int button : models::menuButtonsOfDevice(device)) {
      auto* menu = new QComboBox(page);
      menu->setObjectName(QStringLiteral("outBtnMenuDev%1%2").arg(device).arg(buttonOutletPart(button)));
      menu->setProperty("tag", button);
      menu->setSizeAdjustPolicy(QComboBox::AdjustToContents);
      menu->setMinimumContentsLength(16);
      menu->setAccessibleName(locString(buttonTitleKey(button)));
      if (button >= 8) menu->setToolTip(locString(QStringLiteral("CHORD_HELP")));
      auto* label = new QLabel(locString(buttonTitleKey(button) + QLatin1Char(':')), page);
      label->setBuddy(menu);
      form->addRow(label, menu);
    }
    auto* column = new QVBoxLayout;
    column->addLayout(form);
    column->addStretch(1);
    row->addLayout(column, 1);
  }
  // The scroll direction pages show the device whose scrolling they describe.
  static constexpr int kScrollPageDevice[] = {1, 2, 5, 6, 7};
  for (int page = 0; page < 5; ++page) {
    if (auto* icon = fRoot->findChild<QLabel*>(QStringLiteral("scrollDirIcon%1").arg(page))) {
      icon->setPixmap(devicePicture(kScrollPageDevice[page], 64));
    }
  }
  // The device chooser's cells show the models' pictures and names.
  for (int k = 1; k <= 6; ++k) {
    auto* cellButton = fRoot->findChild<QToolButton*>(QStringLiteral("deviceCell%1").arg(k));
    if (cellButton == nullptr) continue;
    const int device = models::deviceOfProduct(models::productOfEntry(k), k == 2 ? models::kDev2FirstRelease : 0);
    cellButton->setIcon(devicePicture(device, kCellPictureSize));
    cellButton->setIconSize(QSize(kCellPictureSize, kCellPictureSize));
    const std::string_view name = models::modelName(k);
    cellButton->setText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    cellButton->setAccessibleName(cellButton->text());
    cellButton->setMinimumWidth(cellButton->sizeHint().width());  // names are never cut short
  }
}

// ---- HID detection ------------------------------------------------------------------------------

void VantrelController::startDetectingHIDDevices() {
  usbDeviceCount = 0;
  bleDeviceCount = 0;
  if (hidManager || fServices.hid == nullptr) return;
  hidManager = fServices.hid->IOHIDManagerCreate();
  if (!hidManager) return;
  const pl::DictRef matching = pl::makeDict();
  matching->setInteger(sys::kIOHIDVendorIDKey, models::kVendorID);
  hidManager->SetDeviceMatching(matching);
  hidManager->RegisterDeviceMatchingCallback(&hidMatched, this);
  hidManager->RegisterDeviceRemovalCallback(&hidRemoved, this);
  if (fServices.runLoop) hidManager->ScheduleWithRunLoop(*fServices.runLoop);
  hidManager->Open(sys::kIOHIDOptionsTypeNone);
}

void VantrelController::stopDetectingHIDDevices() {
  if (!hidManager) return;
  hidManager->Close(sys::kIOHIDOptionsTypeNone);
  if (fServices.runLoop) hidManager->UnscheduleFromRunLoop(*fServices.runLoop);
  hidManager.reset();
}

bool VantrelController::supportedDevice(const sys::IOHIDDeviceRef& device) const {
  const pl::NumberRef product = pl::asNumber(sys::IOHIDDeviceGetProperty(device, sys::kIOHIDProductIDKey));
  if (!product) return false;
  return models::isSupportedProduct(static_cast<uint16_t>(pl::integerValue(product)));
}

void VantrelController::hidDeviceAdded(const sys::IOHIDDeviceRef& device, void*, sys::IOReturn) {
  if (!supportedDevice(device)) return;
  uint16_t& count = isBluetoothLowEnergy(device) ? bleDeviceCount : usbDeviceCount;
  if (count < kCountUnknown - 1) ++count;
  queueDeviceCheck(device);
}

void VantrelController::hidDeviceRemoved(const sys::IOHIDDeviceRef& device, void*, sys::IOReturn) {
  if (!supportedDevice(device)) return;
  uint16_t& count = isBluetoothLowEnergy(device) ? bleDeviceCount : usbDeviceCount;
  // Never below zero: a count that wrapped round would read as "not known yet".
  if (count > 0 && count != kCountUnknown) --count;
  queueDeviceCheck(device);
}

void VantrelController::queueDeviceCheck(const sys::IOHIDDeviceRef&) {
  // A fresh list from the helper, asked for on a later pass of the main loop.
  if (fServices.clock == nullptr) return;
  std::weak_ptr<bool> alive = fAlive;
  fServices.clock->postToMainLoop([this, alive] {
    if (!alive.expired()) vtlCheckDevices(nullptr);
  });
}

// ---- the helper's device list -----------------------------------------------------------------

void VantrelController::vtlUpdateDeviceList() {
  const size_t listed = protocol::validCount(fDeviceList);
  for (size_t d = 0; d < listed; ++d) {
    DeviceInfo& device = fDeviceList.devices[d];
    device.productID = models::canonicalProduct(device.productID);
  }
  if (usbDeviceCount == kCountUnknown || bleDeviceCount == kCountUnknown) return;
  if (fDeviceList.count == deviceCount && usbDeviceCount == lastUsbDeviceCount &&
      bleDeviceCount == lastBleDeviceCount &&
      static_cast<int>(usbDeviceCount) + static_cast<int>(bleDeviceCount) == static_cast<int>(fDeviceList.count)) {
    return;
  }
  deviceCount = fDeviceList.count;

  vtlLoadAppropriateSettings();
  if (outBtnTabsDevices) outBtnTabsDevices->setCurrentIndex(fCurDeviceTab);

  std::array<bool, 6> marked{};
  QString text;
  if (fDeviceList.count == 0) {
    text = locString(QStringLiteral("No device found."));
  } else {
    text.reserve(256);
    for (size_t d = 0; d < listed; ++d) {
      const DeviceInfo& device = fDeviceList.devices[d];
      const int entry = models::entryOfProduct(device.productID);
      if (entry < 1 || entry > 6 || (entry == 6 && device.interfaceNum != 0)) continue;
      marked[static_cast<size_t>(entry - 1)] = true;
      const std::string_view name = models::modelName(entry);
      text += QStringLiteral("%1 Rev. %2.%3\n")
                  .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))
                  .arg(device.productVers >> 8)
                  .arg(device.productVers & 0xFF, 2, 10, QLatin1Char('0'));
    }
  }
  // The label shows the lines without the last line break.
  if (outHelpTextDevices) outHelpTextDevices->setText(text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text);

  int enabled = 0;
  for (int k = 0; k < 6; ++k) {
    if (QAbstractButton* cellButton = outMainMatrixDevices.cell(k)) {
      cellButton->setEnabled(marked[static_cast<size_t>(k)]);
      enabled += marked[static_cast<size_t>(k)] ? 1 : 0;
    }
  }
  const pl::DictRef target = fCurSettingsDict ? fCurSettingsDict->getDict("target device") : nullptr;
  ++fUpdatingUI;
  outMainMatrixDevices.selectCellWithTag(target ? static_cast<int>(target->integerValue("device product id")) : 0);
  --fUpdatingUI;
  if (outMainTabsDeviceIcons) {
    outMainTabsDeviceIcons->setCurrentIndex(enabled > 1 ? 1 : 0);
    // The chooser takes room only when there is a choice; one device shows on its own page.
    outMainTabsDeviceIcons->setVisible(enabled > 1);
  }

  vtlUpdateProfileMenu();
  vtlGetUIFromSettings();
}

void VantrelController::actSelectDevice(QObject*) {
  const auto product = static_cast<uint16_t>(outMainMatrixDevices.selectedTag());
  fSelectedDevice = pl::makeDict();
  fSelectedDevice->setInteger("device product id", product);
  vtlLoadAppropriateSettings();
  if (outBtnTabsDevices) outBtnTabsDevices->setCurrentIndex(fCurDeviceTab);
  vtlUpdateProfileMenu();
  vtlGetUIFromSettings();
}
