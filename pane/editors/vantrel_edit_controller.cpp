#include "pane/editors/vantrel_edit_controller.h"

#include "pane/vantrel_controller.h"

VantrelEditController::VantrelEditController(VantrelController* main, QObject* parent)
    : QObject(parent), outControllerMain(main) {}

VantrelEditController::~VantrelEditController() = default;

bool VantrelEditController::editButtonAction(int32_t, const pl::DictRef&, const pl::ArrayRef&) {
  return false;
}

bool VantrelEditController::vtlOverrideKeysIsActive() { return false; }

void VantrelEditController::vtlReceiveKeystroke(unsigned, uint16_t, unsigned) {}
