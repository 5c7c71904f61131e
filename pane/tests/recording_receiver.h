// Test support: a capture receiver that records what it is given and answers as told.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "pane/key_capture.h"

struct Keystroke {
  unsigned keyCode;
  uint16_t character;
  unsigned modifiers;
  bool operator==(const Keystroke&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Keystroke& k) {
  return os << "{key " << k.keyCode << ", char 0x" << std::hex << k.character << ", mods 0x"
            << k.modifiers << std::dec << "}";
}

class RecordingReceiver : public VantrelKeystrokeReceiver {
 public:
  bool wants = true;  // the answer to vtlOverrideKeysIsActive
  int asked = 0;
  std::vector<Keystroke> strokes;

  bool vtlOverrideKeysIsActive() override {
    ++asked;
    return wants;
  }
  void vtlReceiveKeystroke(unsigned keyCode, uint16_t character, unsigned modifiers) override {
    strokes.push_back({keyCode, character, modifiers});
  }
};

// Installs the capture for one scope and removes it again, as select and unselect do.
class CaptureScope {
 public:
  explicit CaptureScope(VantrelKeystrokeReceiver* receiver) { VantrelSwapNSAppMethods(receiver); }
  ~CaptureScope() { VantrelSwapNSAppMethods(nullptr); }
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;
};
