// The pane object that the settings host creates and drives (pane/preference_pane.h). It owns
// no settings logic: it publishes itself and its bundle (gVantrelPrefPane, gVantrelBundle),
// starts the helper when it does not run and keeps it in the login items, forwards the life
// cycle to the main controller and switches the keystroke capture on and off around the
// selection.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

#include "pane/pane_services.h"
#include "pane/preference_pane.h"
#include "platform/process_number.h"
#include "platform/status_codes.h"

class VantrelController;
class VantrelEditController;
class VantrelParamController;

namespace platform {
class Bundle;
}
namespace sys {
class ProcessManager;
}

class VantrelPrefPane final : public PreferencePane {
 public:
  // The pane on these services (which must outlive it).
  explicit VantrelPrefPane(const panesvc::PaneServices& services);
  ~VantrelPrefPane() override;

  bool initWithBundle(const platform::Bundle& bundle) override;
  QWidget* loadMainView() override;
  QWidget* mainView() const override { return fMainView; }
  void mainViewDidLoad() override;
  void didSelect() override;
  void willUnselect() override;

  void sysPrefWindowDidBecomeKey();
  void sysPrefDidResignActive();

  // The text of `key` in the bundle's "Localizable" table; the key itself when it has none.
  QString vtlLocString(const QString& key) const;

  // The helper program inside the pane's resources.
  std::string helperPath() const;
  bool panelIsFront() const { return fPanelIsFront; }
  int16_t deviceCount() const { return fDeviceCount; }

  VantrelController* outControllerVantrel = nullptr;
  VantrelEditController* outControllerVantrelEdit = nullptr;
  VantrelParamController* outControllerVantrelParams = nullptr;

 private:
  panesvc::PaneServices fServices;
  int16_t fDeviceCount = -1;
  bool fPanelIsFront = false;
  bool fSelected = false;
  QPointer<QWidget> fMainView;
};

// The pane object and its bundle, for every class of the pane (set by initWithBundle).
extern VantrelPrefPane* gVantrelPrefPane;
extern platform::Bundle* gVantrelBundle;

// The text of `key` in the pane bundle's "Localizable" table (the key without a bundle).
QString vtlLocString(const QString& key);

// Looks for a running process named `name` (a Pascal string, letters compared without regard
// to case): 0 and its number in `psn` (when given), else the error that ended the search
// (procNotFound when every process was looked at).
int VantrelFindNamedProcess(sys::ProcessManager& processes, const unsigned char* name,
                            sys::ProcessSerialNumber* psn);
