// An ActionHost for tests and benchmarks: devices by connection handle in list order, one
// profile pair for every device, recorded control requests, and a small U.S. key table.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <functional>
#include <map>
#include <vector>

#include "helper/actions/action_host.h"

class FakeActionHost final : public ActionHost {
 public:
  static constexpr uint32_t kEveryDevice = 0xFFFFFFFF;

  struct Control {
    uint32_t connection;  // kEveryDevice for a broadcast
    uint32_t code;
    int32_t param;
    bool operator==(const Control&) const = default;
  };

  FakeActionHost() {
    keycodes.fill(255);
    modifiers.fill(0);
    const char* lower = "asdfhgzxcv?bqweryt";
    for (uint8_t k = 0; lower[k]; ++k)
      if (lower[k] != '?') setKey(static_cast<uint8_t>(lower[k]), k, 0);
    const std::map<char, uint8_t> more = {{'o', 31}, {'u', 32}, {'i', 34}, {'p', 35}, {'l', 37},
                                          {'j', 38}, {'k', 40}, {'n', 45}, {'m', 46}, {'.', 47},
                                          {',', 43}, {'/', 44}, {'[', 33}, {']', 30}, {'=', 24},
                                          {'-', 27}, {'1', 18}, {'5', 23}, {' ', 49}};
    for (auto [c, k] : more) setKey(static_cast<uint8_t>(c), k, 0);
    for (char c = 'a'; c <= 'z'; ++c)
      if (keycodes[static_cast<uint8_t>(c)] != 255)
        setKey(static_cast<uint8_t>(c - 'a' + 'A'), keycodes[static_cast<uint8_t>(c)], 0x02);
    setKey('?', 44, 0x02);
    setKey('+', 24, 0x02);
    setKey(0x1B, 53, 0);   // escape
    setKey(0x1C, 123, 0);  // left arrow
    setKey(0x1D, 124, 0);  // right arrow
  }

  void setKey(uint8_t character, uint8_t keyCode, uint8_t modifierByte) {
    keycodes[character] = keyCode;
    modifiers[character] = modifierByte;
  }
  void addDevice(uint32_t connection, uint16_t productID = 1) {
    DeviceInfo info;
    info.productID = productID;
    devices.emplace_back(connection, info);
  }

  const DeviceInfo* deviceInfoFor(uint32_t connection) const override {
    for (const auto& d : devices)
      if (d.first == connection) return &d.second;
    return nullptr;
  }
  pl::DictRef findAppPrefs(const DeviceInfo&, pl::DictRef* global) const override {
    if (global) *global = globalProfile;
    return bestProfile;
  }
  int32_t sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param,
                               int32_t* result) override {
    controls.push_back({connection, code, param});
    if (onControl) onControl(controls.back());
    if (result) *result = 0;
    return 0;
  }
  int32_t sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result) override {
    controls.push_back({kEveryDevice, code, param});
    if (onControl) onControl(controls.back());
    if (result) *result = 0;
    return 0;
  }
  std::optional<uint32_t> firstDeviceConnection() const override {
    if (devices.empty()) return std::nullopt;
    return devices.front().first;
  }
  uint32_t frontApplication() const override { return front; }
  const uint8_t* keycodeTable() const override { return keycodes.data(); }
  const uint8_t* modifiersTable() const override { return modifiers.data(); }
  pl::ArrayRef snippetsArray() const override { return snippets; }

  std::vector<std::pair<uint32_t, DeviceInfo>> devices;
  pl::DictRef bestProfile;
  pl::DictRef globalProfile;
  pl::ArrayRef snippets;
  uint32_t front = 0;
  std::array<uint8_t, 256> keycodes{};
  std::array<uint8_t, 256> modifiers{};
  std::vector<Control> controls;
  std::function<void(const Control&)> onControl;
};

// A profile whose "buttons" holds one button dictionary under the two-digit key of `button`.
inline pl::DictRef ProfileWithButton(int button, const pl::DictRef& buttonDict) {
  auto profile = pl::makeDict();
  auto buttons = pl::makeDict();
  char key[8];
  std::snprintf(key, sizeof key, "%02d", button);
  buttons->set(key, buttonDict);
  profile->set("buttons", buttons);
  return profile;
}

inline pl::DictRef ButtonDict(int64_t cmd) {
  auto d = pl::makeDict();
  d->setInteger("cmd", cmd);
  return d;
}
