// The assignment editor inside the pane: the main controller is its host.
#include <QDialog>

#include "pane/editors/vantrel_edit_controller.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "settings/string_utils.h"

namespace {

VantrelEditController::Host hostOf(VantrelController* main) {
  VantrelEditController::Host host;
  if (!main) return host;
  host.modalDialog = [main](QDialog* dialog) { return main->modalDialog(dialog); };
  host.curDeviceTabIndex = [main] { return main->vtlCurDeviceTabIndex(); };
  host.curAssignmentTabIndex = [main](int32_t button) {
    return main->vtlCurAssignmentTabIndex(button);
  };
  host.endModal = [main](int code, QObject* sender) {
    if (code == 1) {
      main->actModalButtonOK(sender);
    } else {
      main->actModalButtonCancel(sender);
    }
  };
  return host;
}

}  // namespace

VantrelEditController::VantrelEditController(VantrelController* main, QObject* parent)
    : VantrelEditController(gVantrelBundle ? *gVantrelBundle : platform::Bundle::main(),
                            hostOf(main), MacOSXVersion(), parent) {
  outControllerMain = main;
}
