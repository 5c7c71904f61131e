// SIGINT and SIGTERM end a Qt program through its event loop, so that it winds down as it does
// when the session ends (sockets removed, bus names released, destructors run).
#pragma once

class QCoreApplication;

namespace sys {

// Installs the handlers; the signal only writes to a pipe that the event loop watches.
void quitOnTerminationSignals(QCoreApplication& app);

}  // namespace sys
