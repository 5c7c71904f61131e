// Button actions: from a driver button message to the keystroke request, with the fakes.
#include <benchmark/benchmark.h>

// The actions are part of the Qt build; without it this program has nothing to measure.
#ifdef VANTREL_HAVE_HELPER_ACTIONS

#include "helper/actions/tests/actions_world.h"

namespace {

void RunButton(benchmark::State& state, const pl::DictRef& button, bool withHotKeys) {
  ActionsWorld w("/nonexistent-home", VANTREL_RESOURCE_DIR, 0x1090);
  if (withHotKeys) w.actions.start(w.host);
  // A profile with all sixteen buttons, as the settings file holds them.
  w.host.bestProfile = ProfileWithButton(3, button);
  auto buttons = w.host.bestProfile->getDict("buttons");
  for (int i = 0; i < 16; ++i) {
    char key[3] = {char('0' + i / 10), char('0' + i % 10), 0};
    if (i != 3) buttons->set(key, ButtonDict(1));
  }
  w.host.globalProfile = pl::makeDict();
  w.host.controls.reserve(4);
  for (auto _ : state) {
    w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
    benchmark::DoNotOptimize(w.host.controls.data());
    w.host.controls.clear();
  }
}

void BM_KeystrokeCommand(benchmark::State& state) { RunButton(state, ButtonDict(52), false); }
BENCHMARK(BM_KeystrokeCommand);

void BM_CharacterCommand(benchmark::State& state) {
  auto d = ButtonDict(11);
  d->setInteger("char", 'K');
  d->setInteger("mod", 0x1800);
  RunButton(state, d, false);
}
BENCHMARK(BM_CharacterCommand);

void BM_GlobalKeystrokeCommand(benchmark::State& state) {
  ActionsWorld w;
  w.host.bestProfile = ProfileWithButton(3, ButtonDict(200));
  w.host.globalProfile = ProfileWithButton(3, ButtonDict(76));
  for (auto _ : state) {
    w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
    w.host.controls.clear();
  }
}
BENCHMARK(BM_GlobalKeystrokeCommand);

void BM_SystemHotKeyCommand(benchmark::State& state) { RunButton(state, ButtonDict(123), true); }
BENCHMARK(BM_SystemHotKeyCommand);

}  // namespace

#endif  // VANTREL_HAVE_HELPER_ACTIONS
