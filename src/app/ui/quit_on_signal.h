// Ending on SIGTERM and SIGINT through the program's normal path: the
// handler only writes a byte into a socket pair; the event loop reads it and
// leaves with status 0, and the windows are then destroyed as on any exit
// (the client's main window shuts its sessions and the log viewer down, and
// the viewer is itself ended this way by the client).
#pragma once

class QCoreApplication;

namespace app {

// Installs the handlers; a signal that comes before WatchQuitSignals is kept
// and acted on once the event loop runs. False when the pair or a handler
// could not be set up.
bool InstallQuitSignals();

// Makes application's event loop quit on the signals installed above.
void WatchQuitSignals(QCoreApplication& application);

}  // namespace app
