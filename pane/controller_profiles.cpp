// The profile menu: its contents and order, choosing, adding and removing profiles.
#include "pane/vantrel_controller.h"

void VantrelController::actPopupProfile(QObject*) {}

void VantrelController::actButtonAddProfile(QObject*) {}

void VantrelController::actButtonRemoveProfile(QObject*) {}

void VantrelController::vtlUpdateProfileMenu() {}
