// The pointer and scroll controls of the main panel, shown from and stored into the profile.
#include "pane/vantrel_controller.h"

int32_t VantrelController::vtlSpeedSliderToDPI(int32_t) { return 400; }

int32_t VantrelController::vtlDPIToSpeedSlider(int32_t) { return 50; }

void VantrelController::vtlGetUIFromSettings() {}

void VantrelController::vtlGetSettingsFromUI(QObject*) {}

void VantrelController::vtlUpdateHelpLabels() {}
