#include <gtest/gtest.h>

#include "helper/actions/system_events.h"
#include "platform/fake/fake_apple_events.h"
#include "platform/quiet/quiet_services.h"

using namespace actions;

namespace {
constexpr uint32_t kHook = FourCharCode("hook");
}

TEST(SystemEvents, FindsProcessesBySignature) {
  sys::FakeAppleEventServices events;
  sys::ProcessSerialNumber psn{9, 9};
  EXPECT_EQ(FindProcessWithSignature(events, kHook, &psn), sys::procNotFound);
  EXPECT_EQ(psn, (sys::ProcessSerialNumber{9, 9}));
  events.addProcess(kHook, /*readable=*/false);  // skipped
  events.addProcess(FourCharCode("MACS"));
  events.addProcess(kHook);
  events.addProcess(kHook);
  EXPECT_EQ(FindProcessWithSignature(events, kHook, &psn), sys::noErr);
  EXPECT_EQ(psn, events.processes[2].psn);
  EXPECT_EQ(FindProcessWithSignature(events, kHook, nullptr), sys::noErr);
}

TEST(SystemEvents, MediaCommandStartsTheApplicationAndWaits) {
  // Not running; it appears 2.5 s after it was opened: three one-second looks.
  sys::FakeSleeper sleeper;
  sys::FakeAppleEventServices events(&sleeper);
  events.installed[kHook] = {2500000};
  EXPECT_EQ(SendMediaCommand(events, sleeper, 3), sys::noErr);
  EXPECT_EQ(events.opened, std::vector<uint32_t>{kHook});
  EXPECT_EQ(sleeper.microseconds(), (std::vector<uint32_t>{1000000, 1000000, 1000000}));
  ASSERT_EQ(events.sent.size(), 1u);
  EXPECT_EQ(events.sent[0].eventClass, kHook);
  EXPECT_EQ(events.sent[0].eventID, FourCharCode("Next"));
  EXPECT_EQ(events.sent[0].sendMode, sys::kAENoReply);
  EXPECT_EQ(events.sent[0].target, events.processes[0].psn);
  // Running now: no waiting.
  EXPECT_EQ(SendMediaCommand(events, sleeper, 10), sys::noErr);
  EXPECT_EQ(sleeper.sleeps.size(), 3u);
  EXPECT_EQ(events.sent[1].eventClass, sys::kCoreEventClass);
  EXPECT_EQ(events.sent[1].eventID, FourCharCode("vol+"));
  events.sendResult = -1712;  // a failed send is passed up
  EXPECT_EQ(SendMediaCommand(events, sleeper, 12), -1712);
  EXPECT_EQ(SendMediaCommand(events, sleeper, 13), sys::paramErr);
  EXPECT_EQ(events.sent.size(), 3u);
}

TEST(SystemEvents, MediaApplicationThatDoesNotStart) {
  sys::FakeSleeper sleeper;
  sys::FakeAppleEventServices events(&sleeper);
  // Cannot be found: the error at once, no waiting.
  EXPECT_EQ(SendMediaCommand(events, sleeper, 0), sys::kLSApplicationNotFoundErr);
  EXPECT_TRUE(sleeper.sleeps.empty());
  // Opens but takes longer than five looks: the last look's error, nothing sent.
  events.installed[kHook] = {5000001};
  EXPECT_EQ(SendMediaCommand(events, sleeper, 0), sys::procNotFound);
  EXPECT_EQ(sleeper.sleeps.size(), 5u);
  EXPECT_TRUE(events.sent.empty());
  // The runtime stand-in finds nothing, opens nothing and never waits.
  sys::QuietAppleEvents none;
  sys::FakeSleeper quiet;
  EXPECT_NE(SendMediaCommand(none, quiet, 0), sys::noErr);
  EXPECT_NE(SendCoreEventToSystemProcess(none, FourCharCode("slep")), sys::noErr);
  EXPECT_TRUE(quiet.sleeps.empty());
}
