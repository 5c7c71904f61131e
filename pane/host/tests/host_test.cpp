// The settings host in this process, with the stub pane: finding and loading bundles, what a
// broken one gives, and the life cycle the host drives.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdlib>

#include "pane/host/pane_loader.h"
#include "pane/host/settings_host.h"
#include "pane/host/tests/stub_log.h"
#include "platform/notification_center.h"

namespace {

using hosttest::kStubBundle;
using hosttest::makeBundle;
using hosttest::StubLog;
using hosttest::stubInfo;
using settingshost::LoadedPane;
using settingshost::LoadFailure;
using Kind = LoadFailure::Kind;

// The stub's log and mode for one test.
class StubEnv {
 public:
  explicit StubEnv(const char* mode = "") {
    ::setenv("VANTREL_STUB_PANE_LOG", log.path().c_str(), 1);
    ::setenv("VANTREL_STUB_PANE_MODE", mode, 1);
  }
  ~StubEnv() {
    ::unsetenv("VANTREL_STUB_PANE_LOG");
    ::unsetenv("VANTREL_STUB_PANE_MODE");
  }
  StubLog log;
};

LoadFailure failureOf(const std::string& bundle) {
  LoadFailure failure{Kind::NoBundle, "unset", ""};
  EXPECT_EQ(LoadedPane::load(bundle, &failure), nullptr) << bundle;
  return failure;
}

TEST(PaneLoader, BrokenBundlesAreReportedWithWhatIsWrong) {
  StubEnv env;
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();

  EXPECT_EQ(failureOf(root + "/Absent.prefPane").kind, Kind::NoBundle);
  EXPECT_EQ(failureOf(makeBundle(root, "NoInfo.prefPane", nullptr)).kind, Kind::NoInfoDictionary);
  const std::string garbled = makeBundle(root, "Garbled.prefPane", nullptr);
  ASSERT_TRUE(files::writeAtomically(garbled + "/Contents/Info.plist", "<plist><dict><key>"));
  EXPECT_EQ(failureOf(garbled).kind, Kind::NoInfoDictionary);

  EXPECT_EQ(failureOf(makeBundle(root, "NoProgram.prefPane", stubInfo("StubPane", ""))).kind, Kind::NoExecutable);
  EXPECT_EQ(failureOf(makeBundle(root, "Outside.prefPane", stubInfo("StubPane", "../../StubPane"))).kind,
            Kind::NoExecutable);
  EXPECT_EQ(failureOf(makeBundle(root, "Missing.prefPane", stubInfo(), "")).kind, Kind::NoExecutable);

  EXPECT_EQ(failureOf(makeBundle(root, "NoClass.prefPane", stubInfo(""))).kind, Kind::NoPrincipalClass);
  EXPECT_EQ(failureOf(makeBundle(root, "BadClass.prefPane", stubInfo("Stub-Pane"))).kind, Kind::NoPrincipalClass);

  const std::string text = makeBundle(root, "Text.prefPane", stubInfo(), "");
  ASSERT_TRUE(files::writeAtomically(text + "/Contents/MacOS/StubPane", "not a shared object"));
  const LoadFailure cannotOpen = failureOf(text);
  EXPECT_EQ(cannotOpen.kind, Kind::CannotOpen);
  EXPECT_EQ(cannotOpen.path, text + "/Contents/MacOS/StubPane");
  EXPECT_FALSE(cannotOpen.detail.empty());

  const LoadFailure noSymbol = failureOf(makeBundle(root, "Other.prefPane", stubInfo("OtherPane")));
  EXPECT_EQ(noSymbol.kind, Kind::NoCreateFunction);
  EXPECT_EQ(noSymbol.detail, "OtherPaneCreate");
  EXPECT_TRUE(env.log.lines().empty()) << "nothing of the pane ran";
}

TEST(PaneLoader, APaneThatCannotBeMadeOrRefusesItsBundleIsGone) {
  {
    StubEnv env("null");
    EXPECT_EQ(failureOf(kStubBundle).kind, Kind::CreateFailed);
  }
  StubEnv env("refuse");
  const LoadFailure refused = failureOf(kStubBundle);
  EXPECT_EQ(refused.kind, Kind::InitFailed);
  EXPECT_EQ(refused.path, kStubBundle);
  EXPECT_EQ(env.log.lines(), (std::vector<std::string>{"create", "initWithBundle " + kStubBundle,
                                                      "main bundle " + kStubBundle, "destroyed, view gone"}));
}

std::unique_ptr<LoadedPane> loadStub() {
  LoadFailure failure{};
  auto pane = LoadedPane::load(kStubBundle, &failure);
  EXPECT_NE(pane, nullptr) << settingshost::describeFailure(failure).reason;
  return pane;
}

TEST(SettingsHost, DrivesThePaneFromLoadToClose) {
  StubEnv env;
  settingshost::SettingsHost host(loadStub());
  LoadFailure failure{};
  ASSERT_TRUE(host.open(&failure));
  QWidget* window = host.window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Vantrel Settings");
  EXPECT_NE(window->findChild<QWidget*>("stubPaneView"), nullptr) << "the view is in the window";
  const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size();
  EXPECT_GE(window->width(), 400);
  EXPECT_LE(window->width(), room.width());
  EXPECT_LE(window->height(), room.height());
  EXPECT_TRUE(host.selected());

  // The offscreen platform makes a window active when it is shown.
  ASSERT_TRUE(env.log.waitFor("window became key"));
  // Another window of the application becoming active is a window becoming key too.
  QWidget other;
  other.show();
  testing_support::waitUntil([&] {
    const auto lines = env.log.lines();
    return std::count(lines.begin(), lines.end(), "window became key") == 2;
  });
  other.hide();

  window->close();
  EXPECT_FALSE(host.selected());
  host.shutdown();
  EXPECT_EQ(host.window(), nullptr);
  // The calls in order; the notifications (how many depends on the platform) between the
  // first didSelect and willUnselect.
  std::vector<std::string> calls;
  int key = 0;
  for (const auto& line : env.log.lines()) {
    if (line == "window became key" || line == "application resigned active") {
      EXPECT_EQ(calls.back(), "didSelect") << line;
      key += line == "window became key";
    } else {
      calls.push_back(line);
    }
  }
  EXPECT_GE(key, 2);
  const std::vector<std::string> expected = {
      "create", "initWithBundle " + kStubBundle, "main bundle " + kStubBundle,
      "loadMainView", "mainViewDidLoad", "didSelect", "willUnselect", "destroyed, view alive"};
  EXPECT_EQ(calls, expected)
      << "main bundle: the pane's own code finds its own bundle; destroyed while its view lives";
  // The pane stopped observing in willUnselect, and nothing is posted any more.
  EXPECT_EQ(sys::NotificationCenter::defaultCenter().observerCount(sys::kNSWindowDidBecomeKeyNotification), 0u);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
