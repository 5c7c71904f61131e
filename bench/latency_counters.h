// The counters of the latency benchmarks across processes: median, 99th percentile and maximum
// of the times measured, in microseconds.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

inline void reportLatencies(benchmark::State& state, std::vector<double> micros) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  state.counters["max_us"] = micros.back();
}
