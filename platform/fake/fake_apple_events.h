// A process list and Apple event recorder for tests. Applications that can be opened by creator
// code appear in the process list a set time after they were opened, measured on the virtual
// clock of a FakeSleeper (or at once without one). Events are recorded, never delivered.
#pragma once

#include <map>
#include <vector>

#include "platform/apple_events.h"
#include "platform/fake/fake_sleeper.h"

namespace sys {

class FakeAppleEventServices final : public AppleEventServices {
 public:
  struct Process {
    ProcessSerialNumber psn;
    uint32_t signature = 0;
    bool readable = true;  // false: its information cannot be read
  };
  struct Installed {
    uint32_t startMicroseconds = 0;  // how long after opening the process appears
  };

  explicit FakeAppleEventServices(const FakeSleeper* clock = nullptr) : clock_(clock) {}

  void addProcess(uint32_t signature, bool readable = true) {
    processes.push_back({ProcessSerialNumber{0, nextPsn_++}, signature, readable});
  }

  int32_t getNextProcess(ProcessSerialNumber* psn) override {
    promoteStarted();
    if (psn == nullptr) return paramErr;
    size_t next = 0;
    if (!(*psn == ProcessSerialNumber{0, kNoProcess})) {
      while (next < processes.size() && !(processes[next].psn == *psn)) ++next;
      if (next == processes.size()) return procNotFound;
      ++next;
    }
    if (next >= processes.size()) return procNotFound;
    *psn = processes[next].psn;
    return noErr;
  }
  int32_t getProcessSignature(const ProcessSerialNumber& psn, uint32_t* signature) override {
    for (const auto& p : processes) {
      if (p.psn == psn) {
        if (!p.readable) return procNotFound;
        if (signature) *signature = p.signature;
        return noErr;
      }
    }
    return procNotFound;
  }
  int32_t openApplicationWithCreator(uint32_t creator) override {
    opened.push_back(creator);
    auto it = installed.find(creator);
    if (it == installed.end()) return kLSApplicationNotFoundErr;
    starting_.push_back({creator, now() + it->second.startMicroseconds});
    return noErr;
  }
  int32_t sendAppleEvent(const AppleEvent& event) override {
    sent.push_back(event);
    return sendResult;
  }

  std::vector<Process> processes;
  std::map<uint32_t, Installed> installed;  // creator code -> how it starts
  std::vector<uint32_t> opened;             // creator codes asked to open
  std::vector<AppleEvent> sent;
  int32_t sendResult = noErr;

 private:
  uint64_t now() const { return clock_ ? clock_->nowMicroseconds : 0; }
  void promoteStarted() {
    for (auto it = starting_.begin(); it != starting_.end();) {
      if (it->second <= now()) {
        addProcess(it->first);
        it = starting_.erase(it);
      } else {
        ++it;
      }
    }
  }

  const FakeSleeper* clock_;
  std::vector<std::pair<uint32_t, uint64_t>> starting_;
  uint32_t nextPsn_ = 100;
};

}  // namespace sys
