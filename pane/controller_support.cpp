// Factory settings, the support information file and the links.
#include "pane/vantrel_controller.h"

void VantrelController::actButtonRestoreDefaults(QObject*) {}

void VantrelController::actButtonSaveInformation(QObject*) {}

void VantrelController::actButtonOpenLink(QObject*) {}
