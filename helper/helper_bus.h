// The helper on the session bus. It holds the well-known name kService while it runs: the name is
// requested without queueing, so of helpers that start at the same moment exactly one gets it
// (the others end), and a program that wants to talk to the helper finds it there. The helper's
// objects live at kObjectPath on the same connection.
#pragma once

#include <QDBusConnection>

namespace helperbus {

inline constexpr const char* kService = "com.halvorn.vantrel.Helper";
inline constexpr const char* kObjectPath = "/com/halvorn/vantrel/Helper";

// Requests kService for the connection without queueing (DBUS_NAME_FLAG_DO_NOT_QUEUE). False
// only when another connection owns it; true when this one does, and when there is no bus to
// ask or it would not answer (then nothing tells another helper from this one but the process
// list).
bool claimName(QDBusConnection& bus);

}  // namespace helperbus
