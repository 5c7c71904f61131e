// Front-application tracking: the identifiers of the application that is frontmost, as the
// helper matches profiles by them, read from the activated application's bundle.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/four_char_code.h"
#include "platform/system_services.h"

// The signature of System Preferences: while it is frontmost the devices' state reports go to
// the pane.
inline constexpr uint32_t kSystemPreferencesSignature = FourCharCode("sprf");

class FrontAppTracker {
 public:
  // `bundles` must outlive the tracker.
  explicit FrontAppTracker(sys::BundleReader& bundles) : fBundles(bundles) {}

  // Records the identifiers of the application that became frontmost: bundle identifier, name,
  // executable and signature from its bundle's information dictionary (from its URLs when it has
  // none). True when System Preferences came to the front or left it.
  bool frontAppChanged(const sys::RunningApplication& app);

  // The front application's signature as a four-character code (0: none, or not four
  // characters that Mac OS Roman has).
  uint32_t frontApplication() const { return fFrontApplication; }
  const std::string& frontAppBundleID() const { return fFrontAppBundleID; }
  const std::string& frontAppBundleName() const { return fFrontAppBundleName; }
  const std::string& frontAppExecutable() const { return fFrontAppExecutable; }
  const std::string& frontAppSignature() const { return fFrontAppSignature; }
  bool prefPaneIsFront() const { return fPrefPaneIsFront; }

  // Applications whose activation does not count as the user coming back (the login window's
  // authorisation agent).
  static bool appShouldBeIgnored(std::string_view executable);
  // Pascal strings compared with ASCII letters folded, a trailing ".app" (lower case) ignored on
  // either side; <0, 0, >0 as the first differs.
  static int16_t pStringCmpNoAppSuffix(const unsigned char* a, const unsigned char* b);

 private:
  sys::BundleReader& fBundles;
  uint32_t fFrontApplication = 0;
  std::string fFrontAppBundleID;
  std::string fFrontAppBundleName;
  std::string fFrontAppExecutable;
  std::string fFrontAppSignature;
  bool fPrefPaneIsFront = false;
};
