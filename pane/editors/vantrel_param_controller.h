// The scroll parameters dialog: edits the five inertial-scrolling parameters ("param") of one
// profile, changing the profile only when the user confirms. The dialog is the interface file
// "VantrelParams" of the pane bundle; slider and field k (1 to 5) edit slot k - 1, by the keys of
// kScrollRecordFields. Every change of a slider, and every keystroke in a field, stores all five
// values in the working copy and shows them again in every slider and field.
#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <functional>

#include "platform/plist.h"

class QDialog;
class QLineEdit;
class QSlider;
class VantrelController;

class VantrelParamController : public QObject {
  Q_OBJECT

 public:
  static constexpr int kSlots = 5;

  // `main` runs the dialog (modalDialog); it must outlive this controller.
  explicit VantrelParamController(VantrelController* main, QObject* parent = nullptr);
  ~VantrelParamController() override;

  // True when the user confirmed and the profile's "param" was replaced. A profile without
  // "param" opens no dialog.
  bool editScrollParams(const pl::DictRef& settings);

  // Finds the sliders and fields of a loaded dialog and connects them (done on first use).
  void awakeFromNib(QDialog* window);
  void actUpdateSettings(QObject* sender);
  void vtlGetUIFromParams();
  void vtlGetParamsFromUI(bool fromSliders);
  void controlTextDidChange(QObject* field);

  // How the dialog runs: the main controller's modalDialog unless a test gives another.
  using Runner = std::function<int(QDialog*)>;
  void setRunner(Runner runner) { fRunner = std::move(runner); }

  VantrelController* outControllerMain = nullptr;
  QPointer<QDialog> outParamWindow;
  std::array<QSlider*, 9> fParamSliders{};
  std::array<QLineEdit*, 9> fParamFields{};
  pl::DictRef fScrollParamDict;

 private:
  QDialog* window();

  Runner fRunner;
  int fUpdating = 0;
};
