#include "pane/vantrel_pref_pane.h"

#include <QWidget>

#include "pane/editors/vantrel_edit_controller.h"
#include "pane/editors/vantrel_param_controller.h"
#include "pane/hyperlink_button.h"
#include "pane/interface_loader.h"
#include "pane/key_capture.h"
#include "pane/login_items.h"
#include "pane/vantrel_controller.h"
#include "platform/bundle.h"
#include "platform/notification_center.h"
#include "platform/system_services.h"
#include "platform/workspace_actions.h"
#include "settings/string_utils.h"

VantrelPrefPane* gVantrelPrefPane = nullptr;
platform::Bundle* gVantrelBundle = nullptr;

namespace {

// "VantrelHelper" as a Pascal string.
constexpr unsigned char kHelperProcessName[] = "\x0DVantrelHelper";
constexpr char kHelperBundleName[] = "VantrelHelper.app";
constexpr char kMainInterface[] = "VantrelPrefPane";

}  // namespace

QString vtlLocString(const QString& key) {
  if (gVantrelBundle == nullptr) return key;
  return paneui::localizedString(*gVantrelBundle, key);
}

int VantrelFindNamedProcess(sys::ProcessManager& processes, const unsigned char* name,
                            sys::ProcessSerialNumber* psn) {
  sys::ProcessSerialNumber current{0, sys::kNoProcess};
  for (;;) {
    const sys::OSErr next = processes.GetNextProcess(&current);
    if (next != sys::noErr) return next;
    unsigned char processName[256] = {0};
    sys::ProcessInfoRec info;
    info.processName = processName;
    const sys::OSErr got = processes.GetProcessInformation(current, &info);
    if (got != sys::noErr) return got;
    if (PStringCmp(name, processName) == 0) {
      if (psn) *psn = current;
      return sys::noErr;
    }
  }
}

VantrelPrefPane::VantrelPrefPane(const panesvc::PaneServices& services) : fServices(services) {}

VantrelPrefPane::~VantrelPrefPane() {
  sys::NotificationCenter::defaultCenter().removeObserver(this);
  if (fSelected) VantrelSwapNSAppMethods(nullptr);
  // The controllers refer to the view's controls; they go first.
  delete outControllerVantrelEdit;
  delete outControllerVantrelParams;
  delete outControllerVantrel;
  if (gVantrelPrefPane == this) gVantrelPrefPane = nullptr;
}

bool VantrelPrefPane::initWithBundle(const platform::Bundle& bundle) {
  gVantrelPrefPane = this;
  // Kept for the life of the process, as the classes of the pane expect.
  if (gVantrelBundle == nullptr) {
    gVantrelBundle = new platform::Bundle(bundle);
  } else {
    *gVantrelBundle = bundle;
  }
  fDeviceCount = -1;
  return true;
}

QWidget* VantrelPrefPane::loadMainView() {
  if (fMainView) return fMainView;
  if (gVantrelBundle == nullptr) return nullptr;
  registerHyperlinkButton();
  std::unique_ptr<QWidget> view = paneui::loadInterface(*gVantrelBundle, QString::fromLatin1(kMainInterface));
  if (!view) return nullptr;
  fMainView = view.release();
  outControllerVantrel = new VantrelController(fMainView, fServices);
  outControllerVantrelEdit = new VantrelEditController(outControllerVantrel);
  outControllerVantrelParams = new VantrelParamController(outControllerVantrel);
  outControllerVantrel->outControllerEdit = outControllerVantrelEdit;
  outControllerVantrel->outControllerParams = outControllerVantrelParams;
  outControllerVantrel->awakeFromNib();
  return fMainView;
}

std::string VantrelPrefPane::helperPath() const {
  if (gVantrelBundle == nullptr) return {};
  return gVantrelBundle->resourcePath() + "/" + kHelperBundleName;
}

void VantrelPrefPane::mainViewDidLoad() {
  const std::string path = helperPath();
  if (path.empty()) return;
  const int found = fServices.processes
                        ? VantrelFindNamedProcess(*fServices.processes, kHelperProcessName, nullptr)
                        : sys::procNotFound;
  if (found != 0 && fServices.workspace) fServices.workspace->launchApplication(path);
  if (fServices.loginItems) AddLoginItem(*fServices.loginItems, path, std::nullopt);
}

void VantrelPrefPane::didSelect() {
  if (fSelected) return;
  fSelected = true;
  VantrelSwapNSAppMethods(outControllerVantrelEdit);
  if (outControllerVantrel) outControllerVantrel->vtlPrefPaneDidSelect();
  auto& center = sys::NotificationCenter::defaultCenter();
  center.addObserver(this, sys::kNSWindowDidBecomeKeyNotification, [this] { sysPrefWindowDidBecomeKey(); });
  center.addObserver(this, sys::kNSApplicationDidResignActiveNotification, [this] { sysPrefDidResignActive(); });
}

void VantrelPrefPane::willUnselect() {
  if (!fSelected) return;
  auto& center = sys::NotificationCenter::defaultCenter();
  center.removeObserver(this, sys::kNSWindowDidBecomeKeyNotification);
  center.removeObserver(this, sys::kNSApplicationDidResignActiveNotification);
  if (outControllerVantrel) outControllerVantrel->vtlPrefPaneWillUnselect();
  VantrelSwapNSAppMethods(nullptr);
  fSelected = false;
}

void VantrelPrefPane::sysPrefWindowDidBecomeKey() {
  fPanelIsFront = true;
  if (outControllerVantrel) outControllerVantrel->vtlPrefPaneDidBecomeKey();
}

void VantrelPrefPane::sysPrefDidResignActive() {
  fPanelIsFront = false;
  if (outControllerVantrel) outControllerVantrel->vtlPrefPaneDidResignActive();
}

QString VantrelPrefPane::vtlLocString(const QString& key) const { return ::vtlLocString(key); }
