// The running system's version, as the settings code asks for it. Our runtime reports the
// newest system the software distinguishes (AppKit 1265.0, system 10.9); tests may set another.
#pragma once

namespace platform {

double appKitVersionNumber();
// Makes appKitVersionNumber() report `version` until reset (tests only).
void setAppKitVersionNumberForTesting(double version);
void resetAppKitVersionNumber();

}  // namespace platform
