// Settings model speed: record conversion, profile matching, and loading / saving a large
// settings file next to a bare libplist parse of the same bytes; refusing a file that is far too
// large.
#include <benchmark/benchmark.h>
#include <plist/plist.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/plist.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/prefs_file.h"
#include "settings/record.h"

namespace {

pl::DictRef factory() {
  static pl::DictRef d = pl::readDictFile(VANTREL_RESOURCE_DIR "/DefaultSettings.plist");
  return d;
}

pl::DictRef typicalProfile() { return factory()->getArray("devices")->dictAt(0); }

// n profiles: per-application profiles for many programs across the models, with the factory
// global profiles at the end, so matching has to look at all of them.
pl::ArrayRef profiles(size_t n) {
  auto a = pl::makeArray();
  const auto base = factory()->getArray("devices");
  for (size_t i = 0; a->size() + base->size() < n; ++i) {
    auto p = pl::deepCopyDict(base->dictAt(i % base->size()));
    auto app = p->getDict("target app");
    app->setString("app bundle id", "com.example.app" + std::to_string(i));
    app->setString("app executable", "App" + std::to_string(i));
    p->setString("settings name", "App " + std::to_string(i));
    auto b = p->getDict("buttons")->getDict("01");
    b->setInteger("cmd", 200);
    a->append(p);
  }
  for (const auto& p : base->items()) a->append(pl::deepCopy(p));
  return a;
}

void BM_RecordConversion(benchmark::State& state) {
  auto profile = typicalProfile();
  auto app = pl::deepCopyDict(profile);
  app->getDict("buttons")->getDict("01")->setInteger("cmd", 200);
  SettingsRecord r;
  for (auto _ : state) {
    benchmark::DoNotOptimize(VantrelAppPrefsDictToStruct(app, profile, &r));
    benchmark::DoNotOptimize(r.data());
  }
}
BENCHMARK(BM_RecordConversion);

void BM_Matching(benchmark::State& state) {
  auto a = profiles(static_cast<size_t>(state.range(0)));
  const std::string bundle = "com.example.app3";
  const std::string exe = "App3";
  int32_t best = -1, global = -1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(VantrelMatchAppPrefs(a, bundle, exe, std::nullopt, models::kVendorID,
                                                  models::kDev7SecondProductID, 0x0200, &best, &global));
  }
  state.counters["profiles"] = static_cast<double>(a->size());
}
BENCHMARK(BM_Matching)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The hardest case: profiles without an application, so every one gets to the device checks.
void BM_MatchingDeviceOnly(benchmark::State& state) {
  auto a = profiles(static_cast<size_t>(state.range(0)));
  for (const auto& p : a->items()) {
    auto app = pl::asDict(p)->getDict("target app");
    app->setString("app bundle id", "");
    app->setString("app executable", "");
  }
  int32_t best = -1, global = -1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(VantrelMatchAppPrefs(a, "com.example.app3", "App3", std::nullopt, models::kVendorID,
                                                  models::kDev7SecondProductID, 0x0200, &best, &global));
  }
}
BENCHMARK(BM_MatchingDeviceOnly)->Arg(1000)->Unit(benchmark::kMicrosecond);

struct LargeFile {
  std::string path;
  std::string bytes;
  LargeFile() {
    auto d = pl::deepCopyDict(factory());
    d->set("devices", profiles(1000));
    path = (std::filesystem::temp_directory_path() / ("vantrel-bench-" + std::to_string(::getpid()) + ".plist"))
               .string();
    pl::writeXmlFile(*d, path);
    bytes = files::readWhole(path).value_or("");
  }
  ~LargeFile() { std::filesystem::remove(path); }
};
LargeFile& largeFile() {
  static LargeFile f;
  return f;
}

void BM_RawLibplistParse(benchmark::State& state) {
  const std::string& bytes = largeFile().bytes;
  for (auto _ : state) {
    plist_t p = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &p);
    benchmark::DoNotOptimize(p);
    plist_free(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_RawLibplistParse)->Unit(benchmark::kMillisecond);

void BM_ParseToObjects(benchmark::State& state) {
  const std::string& bytes = largeFile().bytes;
  for (auto _ : state) benchmark::DoNotOptimize(pl::parse(bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseToObjects)->Unit(benchmark::kMillisecond);

void BM_HelperLoad(benchmark::State& state) {
  const std::string& path = largeFile().path;
  for (auto _ : state) benchmark::DoNotOptimize(VantrelReadHelperPrefs(path, "/nonexistent"));
}
BENCHMARK(BM_HelperLoad)->Unit(benchmark::kMillisecond);

// A settings file of 3 GB (a valid file followed by zeros, taking no room on disk): refused by
// its size, so the factory settings are read instead.
void BM_HelperLoadOversized(benchmark::State& state) {
  const std::string path = largeFile().path + ".huge";
  pl::writeXmlFile(*factory(), path);
  if (::truncate(path.c_str(), 3LL << 30) != 0) return state.SkipWithError("cannot make the file");
  const std::string factoryPath = VANTREL_RESOURCE_DIR "/DefaultSettings.plist";
  for (auto _ : state) benchmark::DoNotOptimize(VantrelReadHelperPrefs(path, factoryPath));
  std::filesystem::remove(path);
}
BENCHMARK(BM_HelperLoadOversized)->Unit(benchmark::kMicrosecond);

void BM_PaneLoad(benchmark::State& state) {
  const std::string& path = largeFile().path;
  const std::string factoryPath = VANTREL_RESOURCE_DIR "/DefaultSettings.plist";
  for (auto _ : state) benchmark::DoNotOptimize(VantrelLoadPanePrefs(path, factoryPath, nullptr));
}
BENCHMARK(BM_PaneLoad)->Unit(benchmark::kMillisecond);

void BM_PaneSave(benchmark::State& state) {
  auto d = pl::readDictFile(largeFile().path);
  const std::string out = largeFile().path + ".out";
  for (auto _ : state) benchmark::DoNotOptimize(VantrelSavePrefs(*d, out, nullptr));
  std::filesystem::remove(out);
}
BENCHMARK(BM_PaneSave)->Unit(benchmark::kMillisecond);

}  // namespace
