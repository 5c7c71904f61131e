#include "platform/system_version.h"

namespace platform {
namespace {

constexpr double kDefaultAppKitVersion = 1265.0;
double gAppKitVersion = kDefaultAppKitVersion;

}  // namespace

double appKitVersionNumber() { return gAppKitVersion; }
void setAppKitVersionNumberForTesting(double version) { gAppKitVersion = version; }
void resetAppKitVersionNumber() { gAppKitVersion = kDefaultAppKitVersion; }

}  // namespace platform
