// The pane bundle's shared object: the settings host finds the pane through
// "VantrelPrefPaneCreate" (pane/preference_pane.h). The pane runs on this machine's services.
#include <memory>

#include "pane/runtime_pane_services.h"
#include "pane/vantrel_pref_pane.h"

namespace {

// The pane of this shared object with the services it was made with; the services go after it.
class PluginPane final : public PreferencePane {
 public:
  PluginPane() : fServices(std::make_unique<panesvc::RuntimePaneServices>()), fPane(fServices->services()) {}

  bool initWithBundle(const platform::Bundle& bundle) override { return fPane.initWithBundle(bundle); }
  QWidget* loadMainView() override { return fPane.loadMainView(); }
  QWidget* mainView() const override { return fPane.mainView(); }
  void mainViewDidLoad() override { fPane.mainViewDidLoad(); }
  void didSelect() override { fPane.didSelect(); }
  void willUnselect() override { fPane.willUnselect(); }

 private:
  std::unique_ptr<panesvc::RuntimePaneServices> fServices;
  VantrelPrefPane fPane;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) PreferencePane* VantrelPrefPaneCreate() {
  try {
    return new PluginPane;
  } catch (...) {
    return nullptr;
  }
}
