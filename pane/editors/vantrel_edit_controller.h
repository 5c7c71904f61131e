// The assignment editor: the modal dialog in which the user gives one button of the profile on
// screen any action of the command table, with its parameters. While its keystroke field is
// being edited it takes the key presses the pane's capture hands it (pane/key_capture.h).
#pragma once

#include <QObject>

#include <cstdint>

#include "pane/key_capture.h"
#include "platform/plist.h"

class VantrelController;

class VantrelEditController : public QObject, public VantrelKeystrokeReceiver {
  Q_OBJECT

 public:
  // `main` runs the dialog (modalDialog) and gives the strings; it must outlive the editor.
  explicit VantrelEditController(VantrelController* main, QObject* parent = nullptr);
  ~VantrelEditController() override;

  // Edits button `button` of `settings` (a profile) in the dialog; true when the user confirmed
  // and the profile was changed.
  bool editButtonAction(int32_t button, const pl::DictRef& settings, const pl::ArrayRef& snippets);

  bool vtlOverrideKeysIsActive() override;
  void vtlReceiveKeystroke(unsigned keyCode, uint16_t character, unsigned modifiers) override;

  VantrelController* outControllerMain = nullptr;
};
