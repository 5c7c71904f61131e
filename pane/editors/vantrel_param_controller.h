// The scroll parameters dialog: edits the five inertial-scrolling parameters ("param") of one
// profile, changing the profile only when the user confirms.
#pragma once

#include <QObject>

#include "platform/plist.h"

class VantrelController;

class VantrelParamController : public QObject {
  Q_OBJECT

 public:
  // `main` runs the dialog (modalDialog); it must outlive this controller.
  explicit VantrelParamController(VantrelController* main, QObject* parent = nullptr);
  ~VantrelParamController() override;

  // True when the user confirmed and the profile's "param" was replaced.
  bool editScrollParams(const pl::DictRef& settings);

  VantrelController* outControllerMain = nullptr;
};
