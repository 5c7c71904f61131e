// The helper core on the in-process IOKit registry: an application switch with 16 devices and
// 200 profiles (match, convert and send to every device), one device arrival (open, register,
// add, send), and one idle tick of the periodic task.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "settings/driver_codes.h"
#include "helper/vantrel_helper.h"
#include "keys/layout.h"
#include "platform/fake/fake_system.h"
#include "settings/models.h"

namespace {

QCoreApplication& app() {
  static int argc = 1;
  static char arg0[] = "helper_bench";
  static char* argv[] = {arg0, nullptr};
  static QCoreApplication instance(argc, argv);
  return instance;
}

DeviceInfo deviceOf(int device, uint16_t interfaceNum) {
  DeviceInfo info;
  info.vendorID = models::kVendorID;
  info.productID = models::productOfDevice(device);
  const models::ReleaseRange r = models::releaseRangeOfDevice(device);
  info.productVers = r.min != 0 ? r.min : (r.max != 0 ? r.max : 0x0110);
  info.interfaceNum = interfaceNum;
  info.setVendorName("Halvorn");
  info.setProductName("Trackball");
  return info;
}

pl::DictRef profile(const std::string& bundleID, int device, int speed, bool param) {
  pl::DictRef p = pl::makeDict();
  p->setInteger("dict version", 3);
  p->setBool("driver enabled", true);
  pl::DictRef app = pl::makeDict();
  app->setString("app bundle id", bundleID);
  app->setString("app executable", "");
  app->setString("app signature", "");
  p->set("target app", app);
  pl::DictRef dev = pl::makeDict();
  dev->setInteger("device vendor id", device != 0 ? models::kVendorID : 0);
  dev->setInteger("device product id", models::productOfDevice(device));
  const models::ReleaseRange r = models::releaseRangeOfDevice(device);
  dev->setInteger("device version min", r.min);
  dev->setInteger("device version max", r.max);
  p->set("target device", dev);
  pl::DictRef options = pl::makeDict();
  options->setInteger("speed", speed);
  options->setBool("accelerate", true);
  options->setReal("acceleration", 1.25);
  options->setBool("jump", false);
  p->set("options", options);
  pl::DictRef buttons = pl::makeDict();
  for (int b : {0, 1, 2, 3, 8, 9, 12}) {
    pl::DictRef button = pl::makeDict();
    button->setInteger("cmd", b == 12 ? 20 : 1 + b % 8);
    button->setInteger("mod", 0);
    button->setInteger("cnt", 3);
    char key[3];
    std::snprintf(key, sizeof key, "%02d", b);
    buttons->set(key, button);
  }
  p->set("buttons", buttons);
  if (param) {
    pl::DictRef pr = pl::makeDict();
    pr->setInteger("triggerTime", 40);
    pr->setInteger("timeDecay", 80);
    pr->setInteger("timeStop", 1500);
    pr->setInteger("countDecay", 95);
    pr->setInteger("countStop", 3);
    p->set("param", pr);
  }
  return p;
}

// A started helper on the fake platform with 200 profiles: one per model, then application
// profiles (for all devices and for single models), and one for every device and application.
struct World {
  std::string dir;
  sys::FakePlatform fake;
  std::unique_ptr<VantrelHelper> helper;

  explicit World(int devices) {
    app();
    keys::pinLayout(keys::LayoutSpec::parse("us"));
    char tmpl[] = "/tmp/vantrel-bench-XXXXXX";
    dir = ::mkdtemp(tmpl);
    pl::Dictionary prefs;
    prefs.setInteger("version", 3);
    pl::ArrayRef list = pl::makeArray();
    for (int d = 1; d <= 7; ++d) list->append(profile("", d, 400 + 50 * d, true));
    for (int i = 0; list->size() < 199; ++i)
      list->append(profile("com.example.app" + std::to_string(i), i % 8, 600, i % 3 != 0));
    list->append(profile("", 0, 800, false));
    prefs.set("devices", list);
    pl::writeXmlFile(prefs, dir + "/settings.plist");

    VantrelHelper::Config config;
    config.settingsPath = dir + "/settings.plist";
    config.factoryPath = dir + "/none.plist";
    helper = std::make_unique<VantrelHelper>(fake.platform(), config);
    helper->awakeFromNib();
    for (int i = 0; i < devices; ++i) arrive(deviceOf(1 + i % 7, static_cast<uint16_t>(i)));
    fake.world.setRecording(false);
    fake.world.clearCalls();
  }
  ~World() {
    helper.reset();
    std::filesystem::remove_all(dir);
  }

  iokit::ServiceId arrive(const DeviceInfo& info) {
    iokit::InProcessDriverWorld::ServiceBehaviour b;
    const DeviceInfo::Bytes bytes = info.encode();
    b.infoBytes.assign(bytes.begin(), bytes.end());
    const iokit::ServiceId s = fake.world.publishService(driver::kServiceClass, std::move(b));
    fake.runPending();
    return s;
  }
};

sys::RunningApplication runningApp(const std::string& id) {
  sys::RunningApplication a;
  a.bundleIdentifier = id;
  a.bundleURL = "file:///Applications/" + id + ".app/";
  a.executableURL = a.bundleURL.value() + "Contents/MacOS/" + id;
  return a;
}

void BM_ApplicationSwitch16Devices200Profiles(benchmark::State& state) {
  World w(16);
  // Two applications with profiles late in the list, and one without any.
  const sys::RunningApplication apps[3] = {runningApp("com.example.app180"),
                                           runningApp("com.example.app191"),
                                           runningApp("org.example.unknown")};
  size_t i = 0;
  for (auto _ : state) {
    w.fake.workspace.activate(apps[i++ % 3]);
  }
  if (w.helper->driverLink().deviceList().size() != 16) state.SkipWithError("devices missing");
}
BENCHMARK(BM_ApplicationSwitch16Devices200Profiles)->Unit(benchmark::kMicrosecond);

void BM_DeviceArrival(benchmark::State& state) {
  World w(0);
  int n = 0;
  for (auto _ : state) {
    w.arrive(deviceOf(1 + n % 7, static_cast<uint16_t>(n)));
    ++n;
    state.PauseTiming();
    // Keep the list short: the device goes again (not measured).
    for (iokit::ServiceId s : w.fake.world.services(driver::kServiceClass))
      w.fake.world.terminateService(s);
    w.fake.runPending();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeviceArrival)->Unit(benchmark::kMicrosecond);

void BM_IdlePeriodicTask16Devices(benchmark::State& state) {
  World w(16);
  w.helper->frontAppPeriodicTask();
  for (auto _ : state) {
    w.helper->frontAppPeriodicTask();
  }
}
BENCHMARK(BM_IdlePeriodicTask16Devices)->Unit(benchmark::kNanosecond);

void BM_IdleSnapToDefaultTick(benchmark::State& state) {
  World w(1);
  w.fake.accessibility.showDialog({100, 100}, {80, 20}, 4);
  w.helper->snapToDefault().startSnapToDefault();
  w.helper->snapToDefault().idleSnapToDefault();
  for (auto _ : state) {
    w.helper->snapToDefault().idleSnapToDefault();
  }
}
BENCHMARK(BM_IdleSnapToDefaultTick)->Unit(benchmark::kNanosecond);

}  // namespace
