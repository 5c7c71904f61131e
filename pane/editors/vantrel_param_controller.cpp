#include "pane/editors/vantrel_param_controller.h"

#include "pane/vantrel_controller.h"

VantrelParamController::VantrelParamController(VantrelController* main, QObject* parent)
    : QObject(parent), outControllerMain(main) {}

VantrelParamController::~VantrelParamController() = default;

bool VantrelParamController::editScrollParams(const pl::DictRef&) { return false; }
