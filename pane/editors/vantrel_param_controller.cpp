#include "pane/editors/vantrel_param_controller.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <climits>

#include "pane/interface_loader.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "settings/record.h"

VantrelParamController::VantrelParamController(VantrelController* main, QObject* parent)
    : QObject(parent), outControllerMain(main) {}

VantrelParamController::~VantrelParamController() { delete outParamWindow.data(); }

QDialog* VantrelParamController::window() {
  if (outParamWindow) return outParamWindow;
  if (gVantrelBundle == nullptr) return nullptr;
  QWidget* parent = outControllerMain ? outControllerMain->sheetParent() : nullptr;
  std::unique_ptr<QWidget> loaded = paneui::loadInterface(*gVantrelBundle, QStringLiteral("VantrelParams"), parent);
  auto* dialog = qobject_cast<QDialog*>(loaded.get());
  if (dialog == nullptr) return nullptr;
  loaded.release();
  dialog->hide();
  awakeFromNib(dialog);
  return outParamWindow;
}

void VantrelParamController::awakeFromNib(QDialog* dialog) {
  outParamWindow = dialog;
  fParamSliders = {};
  fParamFields = {};
  for (int k = 1; k <= kSlots; ++k) {
    const auto i = static_cast<size_t>(k - 1);
    fParamSliders[i] = paneui::outlet<QSlider>(dialog, QStringLiteral("outParamSlider%1").arg(k).toLatin1().constData());
    fParamFields[i] = paneui::outlet<QLineEdit>(dialog, QStringLiteral("outParamField%1").arg(k).toLatin1().constData());
    if (QSlider* slider = fParamSliders[i]) {
      connect(slider, &QSlider::valueChanged, this, [this, slider] {
        if (fUpdating == 0) actUpdateSettings(slider);
      });
    }
    if (QLineEdit* field = fParamFields[i]) {
      // Typed text only: the controller's own rewrites are no keystrokes.
      connect(field, &QLineEdit::textEdited, this, [this, field] { controlTextDidChange(field); });
    }
  }
  if (auto* buttons = paneui::outlet<QDialogButtonBox>(dialog, "paramButtons")) {
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
      ok->setText(vtlLocString(QStringLiteral("OK")));
      connect(ok, &QPushButton::clicked, this, [this] {
        if (outControllerMain) outControllerMain->actModalButtonOK(this);
      });
    }
    if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel)) {
      cancel->setText(vtlLocString(QStringLiteral("Cancel")));
      connect(cancel, &QPushButton::clicked, this, [this] {
        if (outControllerMain) outControllerMain->actModalButtonCancel(this);
      });
    }
  }
}

bool VantrelParamController::editScrollParams(const pl::DictRef& settings) {
  if (!settings) return false;
  const pl::DictRef param = settings->getDict("param");
  if (!param) return false;
  fScrollParamDict = pl::deepCopyDict(param);
  if (!fScrollParamDict) return false;
  QDialog* dialog = window();
  vtlGetUIFromParams();
  int result = -1000;
  if (fRunner) result = fRunner(dialog);
  else if (outControllerMain) result = outControllerMain->modalDialog(dialog);
  if (result != 1) return false;
  settings->set("param", fScrollParamDict);
  return true;
}

void VantrelParamController::vtlGetUIFromParams() {
  if (!fScrollParamDict) return;
  ++fUpdating;
  for (size_t i = 0; i < kSlots; ++i) {
    const int64_t v = fScrollParamDict->integerValue(kScrollRecordFields[i]);
    if (QSlider* slider = fParamSliders[i]) {
      const QSignalBlocker quiet(slider);
      slider->setValue(static_cast<int>(std::clamp<int64_t>(v, slider->minimum(), slider->maximum())));
    }
    if (QLineEdit* field = fParamFields[i]) {
      const QString text = QString::number(static_cast<qlonglong>(v));
      // The text a user is typing stays where the cursor is when it already reads so.
      if (field->text() != text) field->setText(text);
    }
  }
  --fUpdating;
}

void VantrelParamController::vtlGetParamsFromUI(bool fromSliders) {
  if (!fScrollParamDict) return;
  for (size_t i = 0; i < kSlots; ++i) {
    int64_t v = 0;
    if (fromSliders) {
      if (fParamSliders[i] == nullptr) continue;
      v = fParamSliders[i]->value();
    } else {
      if (fParamFields[i] == nullptr) continue;
      // The leading number of the text ("12a" is 12); no number is 0. Kept within an int, as
      // the field shows it.
      const pl::StringRef text = pl::makeString(fParamFields[i]->text().toStdString());
      v = std::clamp<int64_t>(pl::integerValue(text), INT32_MIN, INT32_MAX);
    }
    fScrollParamDict->setInteger(kScrollRecordFields[i], v);
  }
}

void VantrelParamController::actUpdateSettings(QObject* sender) {
  const int tag = paneui::tagOf(sender);
  if (tag < 1 || tag > 6) return;
  vtlGetParamsFromUI(true);
  vtlGetUIFromParams();
}

void VantrelParamController::controlTextDidChange(QObject* field) {
  if (field == nullptr) return;
  vtlGetParamsFromUI(false);
  vtlGetUIFromParams();
}
