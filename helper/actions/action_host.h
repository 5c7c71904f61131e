// The seam between the helper's core and its button actions.
//
// The core (VantrelHelper) implements ActionHost: everything an action needs from the running
// helper. The actions implement ButtonActions: the core hands them every button event and tells
// them when the settings were re-read. Neither side includes the other's classes.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/plist.h"
#include "settings/device_info.h"

class ActionHost {
 public:
  virtual ~ActionHost() = default;

  // The device information of the open device with this connection handle, or null.
  virtual const DeviceInfo* deviceInfoFor(uint32_t connection) const = 0;
  // The profile that applies to the device and the frontmost application (null when none), and
  // through `global` the device's global profile (null when none).
  virtual pl::DictRef findAppPrefs(const DeviceInfo& info, pl::DictRef* global) const = 0;
  // Control requests to one device / to every device in list order (IOKit status, 0 = success).
  virtual int32_t sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param,
                                       int32_t* result) = 0;
  virtual int32_t sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result) = 0;
  // The connection handle of the first device of the device list; nothing when the list is
  // empty (a snippet is pasted through the first device).
  virtual std::optional<uint32_t> firstDeviceConnection() const = 0;
  // The frontmost application's signature as a four-character code, 0 when unknown.
  virtual uint32_t frontApplication() const = 0;
  // Character-to-key-code and character-to-modifier tables (256 entries each) of the layout.
  virtual const uint8_t* keycodeTable() const = 0;
  virtual const uint8_t* modifiersTable() const = 0;
  // The "snippets" array of the settings in force (null when absent).
  virtual pl::ArrayRef snippetsArray() const = 0;
};

class ButtonActions {
 public:
  virtual ~ButtonActions() = default;
  // Called once at start-up, after the settings and key tables are in place and before the
  // driver's services are looked for (loads the hot key tables).
  virtual void start(ActionHost& host) = 0;
  // A `VNDa` button event from the device with this connection handle; the core has already
  // checked the console session and that the argument was present.
  virtual void buttonPressed(ActionHost& host, uint32_t connection, uint16_t button) = 0;
};
