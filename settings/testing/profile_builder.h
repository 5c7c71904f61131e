// Tests' profiles: a sane profile to start from, and a fluent way to change one thing of it.
//
//   pl::DictRef p = ProfileBuilder().app("com.example.mail").button(3, 52).speed(800).build();
//
// The sane profile is a global profile for every device: "dict version" 3, driver enabled, no
// target application, speed 400 with acceleration 1.0, button 00 a click and button 01 command
// 2, and the scroll parameters 40, 80, 1500, 95, 3.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/plist.h"

namespace testsupport {

class ProfileBuilder {
 public:
  ProfileBuilder() : p_(pl::makeDict()) {
    p_->setInteger("dict version", 3);
    p_->setBool("driver enabled", true);
    app("");
    device(0, 0, 0, 0);
    auto options = pl::makeDict();
    options->setBool("jump", false);
    options->setInteger("speed", 400);
    options->setBool("accelerate", true);
    options->setReal("acceleration", 1.0);
    p_->set("options", options);
    p_->set("buttons", pl::makeDict());
    button(0, 1);
    button(1, 2);
    scroll(40, 80, 1500, 95, 3);
  }

  // The target application (a global profile names none).
  ProfileBuilder& app(const std::string& bundleID, const std::string& executable = "",
                      const std::string& signature = "") {
    auto a = pl::makeDict();
    a->setString("app bundle id", bundleID);
    a->setString("app executable", executable);
    a->setString("app signature", signature);
    p_->set("target app", a);
    return *this;
  }
  // The target device (0: any).
  ProfileBuilder& device(uint16_t vendor, uint16_t product, uint16_t versionMin = 0,
                         uint16_t versionMax = 0) {
    auto d = pl::makeDict();
    d->setInteger("device vendor id", vendor);
    d->setInteger("device product id", product);
    d->setInteger("device version min", versionMin);
    d->setInteger("device version max", versionMax);
    p_->set("target device", d);
    return *this;
  }
  ProfileBuilder& speed(int64_t dpi) { return option("speed", dpi); }
  ProfileBuilder& jump(bool on) {
    p_->getDict("options")->setBool("jump", on);
    return *this;
  }
  ProfileBuilder& option(const std::string& key, int64_t value) {
    p_->getDict("options")->setInteger(key, value);
    return *this;
  }
  // Button `n` ("%02d") gets command `cmd`; a button dictionary of its own replaces it whole.
  ProfileBuilder& button(int n, int64_t cmd) {
    auto b = pl::makeDict();
    b->setInteger("cmd", cmd);
    return button(n, b);
  }
  ProfileBuilder& button(int n, const pl::DictRef& dict) {
    char key[8];
    std::snprintf(key, sizeof key, "%02d", n);
    p_->getDict("buttons")->set(key, dict);
    return *this;
  }
  ProfileBuilder& noButtons() {
    p_->set("buttons", pl::makeDict());
    return *this;
  }
  // The scroll parameters ("param").
  ProfileBuilder& scroll(int64_t triggerTime, int64_t timeDecay, int64_t timeStop,
                         int64_t countDecay, int64_t countStop) {
    auto param = pl::makeDict();
    param->setInteger("triggerTime", triggerTime);
    param->setInteger("timeDecay", timeDecay);
    param->setInteger("timeStop", timeStop);
    param->setInteger("countDecay", countDecay);
    param->setInteger("countStop", countStop);
    p_->set("param", param);
    return *this;
  }
  ProfileBuilder& noScroll() {
    p_->remove("param");
    return *this;
  }
  // Any top-level entry.
  ProfileBuilder& set(const std::string& key, const pl::ObjectRef& value) {
    p_->set(key, value);
    return *this;
  }

  // A deep copy: the builder can go on making variants.
  pl::DictRef build() const { return pl::deepCopyDict(p_); }

 private:
  pl::DictRef p_;
};

// One button dictionary: {"cmd": cmd}.
inline pl::DictRef ButtonDict(int64_t cmd) {
  auto d = pl::makeDict();
  d->setInteger("cmd", cmd);
  return d;
}

}  // namespace testsupport
