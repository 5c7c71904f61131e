// The pointer warp through Qt's cursor (works where the windowing system lets applications move
// the pointer; without a GUI application it fails).
#pragma once

#include "platform/system_services.h"

namespace sys {

class QtDisplay final : public Display {
 public:
  CGError CGWarpMouseCursorPosition(CGPoint point) override;
};

}  // namespace sys
