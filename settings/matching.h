// Choosing profiles: which profile of the "devices" array applies to a device and the frontmost
// application, whether a profile applies to every application, which button still performs a
// plain click, and whether a profile is complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/plist.h"

// An application identifier that may be absent (std::nullopt) or empty; both read as empty.
using OptionalText = std::optional<std::string_view>;

// Scores every applicable profile of `devices` (application matches 1000 each, device matches
// 100 each) and reports the index of the best one (highest score, first on ties, score above 0)
// and of the first applicable global profile, each -1 when there is none; `bestIndex` and
// `globalIndex` may be null. True unless both are -1. Dev7's second product id matches profiles
// that name its first.
bool VantrelMatchAppPrefs(const pl::ArrayRef& devices, OptionalText bundleID,
                          OptionalText executable, OptionalText signature, uint16_t vendorID,
                          uint16_t productID, uint16_t productVers, int32_t* bestIndex,
                          int32_t* globalIndex);

// True when the profile's "target app" names no bundle id, executable or signature (also when
// the profile or its "target app" is absent). "app bundle name" does not count.
bool VTLSettingsAreGlobal(const pl::DictRef& profile);

// The lowest button number from `first` to `last` (inclusive), other than `leaveOut` (-1 for
// none), whose assignment is a plain click ("cmd" 1, "mod" 0); -1 when there is none.
int32_t VantrelFindClickInSettings(const pl::DictRef& profile, int32_t first, int32_t last,
                                   int32_t leaveOut);

// True when the profile has "driver enabled", "dict version", "target device" with its four
// keys, "buttons" and "options". Only presence is checked.
bool VantrelValidateSettings(const pl::DictRef& profile);
