// The running system's version, as the settings code asks for it. Our runtime reports the
// newest system the software distinguishes: AppKit 1265.0, system 10.9.
#pragma once

namespace platform {

constexpr double appKitVersionNumber() { return 1265.0; }

}  // namespace platform
