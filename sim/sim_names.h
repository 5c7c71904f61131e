// Where the device simulator (vantrel-sim) lives on the session bus. It stands in for the
// kernel driver and for the operating-system services this machine does not have; the D-Bus
// backends of the platform interfaces talk to it under these names.
#pragma once

namespace simbus {

inline constexpr const char* kService = "com.halvorn.vantrel.Simulator";
// Owned as well while the simulator stands in for the operating system (unless it runs with
// --driver-only, next to a real desktop): the system services' backends follow this name.
inline constexpr const char* kSystemService = "com.halvorn.vantrel.Simulator.System";

// The driver: its registry of services, connections and calls, and the USB device interface.
inline constexpr const char* kDriverPath = "/com/halvorn/vantrel/Simulator/Driver";
inline constexpr const char* kDriverInterface = "com.halvorn.vantrel.Simulator.Driver";
// The operating system: session, keyboard, mouse, accessibility, processes, Apple events,
// scripts, workspace, pasteboard, snippets menu, HID devices, application activations.
inline constexpr const char* kSystemPath = "/com/halvorn/vantrel/Simulator/System";
inline constexpr const char* kSystemInterface = "com.halvorn.vantrel.Simulator.System";
// For people and tests: attach devices, press buttons, change the world, read the log.
inline constexpr const char* kControlPath = "/com/halvorn/vantrel/Simulator/Control";
inline constexpr const char* kControlInterface = "com.halvorn.vantrel.Simulator.Control";

}  // namespace simbus
