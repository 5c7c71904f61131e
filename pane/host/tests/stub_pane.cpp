// A stand-in preference pane for the settings host's tests: it writes every call it gets to the
// file named by VANTREL_STUB_PANE_LOG, one line each, and misbehaves as VANTREL_STUB_PANE_MODE
// says: "null" (the create function gives nothing), "refuse" (initWithBundle answers false),
// "no-view" (loadMainView gives nothing). Like a real pane it observes the host's window and
// application notifications only while selected.
//
// It exports its creator as "StubPaneCreate" and also as "VantrelPrefPaneCreate", so that it can
// stand in the real pane's bundle (the installation test, before the real pane is built).
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdlib>
#include <fstream>
#include <string>

#include "pane/preference_pane.h"
#include "platform/bundle.h"
#include "platform/notification_center.h"

namespace {

std::string mode() {
  const char* m = std::getenv("VANTREL_STUB_PANE_MODE");
  return m ? m : "";
}

void record(const std::string& line) {
  const char* path = std::getenv("VANTREL_STUB_PANE_LOG");
  if (path == nullptr || *path == '\0') return;
  std::ofstream(path, std::ios::app) << line << "\n" << std::flush;
}

class StubPane final : public PreferencePane {
 public:
  StubPane() { record("create"); }
  ~StubPane() override {
    sys::NotificationCenter::defaultCenter().removeObserver(this);
    record(std::string("destroyed, view ") + (fView ? "alive" : "gone"));
  }

  bool initWithBundle(const platform::Bundle& bundle) override {
    record("initWithBundle " + bundle.bundlePath());
    record("main bundle " + platform::Bundle::main().bundlePath());
    return mode() != "refuse";
  }
  QWidget* loadMainView() override {
    record("loadMainView");
    if (mode() == "no-view") return nullptr;
    fView = new QWidget;
    fView->setObjectName(QStringLiteral("stubPaneView"));
    auto* layout = new QVBoxLayout(fView);
    layout->addWidget(new QLabel(QStringLiteral("Stub pane"), fView));
    return fView;
  }
  QWidget* mainView() const override { return fView; }
  void mainViewDidLoad() override { record("mainViewDidLoad"); }
  void didSelect() override {
    record("didSelect");
    auto& center = sys::NotificationCenter::defaultCenter();
    center.addObserver(this, sys::kNSWindowDidBecomeKeyNotification, [] { record("window became key"); });
    center.addObserver(this, sys::kNSApplicationDidResignActiveNotification, [] { record("application resigned active"); });
  }
  void willUnselect() override {
    sys::NotificationCenter::defaultCenter().removeObserver(this);
    record("willUnselect");
  }

 private:
  QPointer<QWidget> fView;
};

PreferencePane* create() {
  if (mode() == "null") return nullptr;
  return new StubPane;
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) PreferencePane* StubPaneCreate() { return create(); }
__attribute__((visibility("default"))) PreferencePane* VantrelPrefPaneCreate() { return create(); }
}
