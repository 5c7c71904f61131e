// Filling the key tables for a layout that is already compiled, and compiling a layout.
#include <benchmark/benchmark.h>

#include "keys/key_names.h"
#include "keys/key_tables.h"
#include "keys/layout.h"

namespace {

const char* const kLayouts[] = {"us", "de", "fr"};

// The two character tables (seven times 128 translations) and the key-character table.
void BM_FillTablesCompiledLayout(benchmark::State& state) {
  keys::pinLayout(keys::LayoutSpec::parse(kLayouts[state.range(0)]));
  uint8_t* codes = nullptr;
  uint8_t* mods = nullptr;
  if (!SetupKeyTablesNumPad(&codes, &mods, 1)) {  // compiles the layout once
    state.SkipWithError("layout does not compile");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(UpdateKeyTablesNumPad(codes, mods, 1));
    GetKeyboardInformation(nullptr, "Localizable");
    benchmark::DoNotOptimize(keys::keyCharTable()[0]);
  }
  state.SetLabel(kLayouts[state.range(0)]);
  DisposeKeyTables(&codes, &mods);
  keys::pinLayout(std::nullopt);
}
BENCHMARK(BM_FillTablesCompiledLayout)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// Only the two character tables.
void BM_UpdateKeyTables(benchmark::State& state) {
  keys::pinLayout(keys::LayoutSpec::parse("de"));
  uint8_t* codes = nullptr;
  uint8_t* mods = nullptr;
  if (!SetupKeyTablesNumPad(&codes, &mods, 1)) {
    state.SkipWithError("layout does not compile");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(UpdateKeyTablesNumPad(codes, mods, 1));
  DisposeKeyTables(&codes, &mods);
  keys::pinLayout(std::nullopt);
}
BENCHMARK(BM_UpdateKeyTables)->Unit(benchmark::kMicrosecond);

// Compiling a layout from its names (the cache is emptied every time).
void BM_CompileLayout(benchmark::State& state) {
  const auto names = keys::LayoutSpec::parse(kLayouts[state.range(0)]);
  for (auto _ : state) {
    keys::clearLayoutCache();
    benchmark::DoNotOptimize(keys::compileLayout(names));
  }
  state.SetLabel(kLayouts[state.range(0)]);
  keys::clearLayoutCache();
}
BENCHMARK(BM_CompileLayout)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// Naming a key combination once the tables are filled.
void BM_KeyCombinationName(benchmark::State& state) {
  keys::pinLayout(keys::LayoutSpec::parse("us"));
  GetKeyboardInformation(nullptr, "Localizable");
  for (auto _ : state) benchmark::DoNotOptimize(GetKeyCombinationName(0, 0x1B00));
  keys::pinLayout(std::nullopt);
}
BENCHMARK(BM_KeyCombinationName);

}  // namespace
