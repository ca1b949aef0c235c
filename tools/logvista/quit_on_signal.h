// Ending on SIGTERM and SIGINT: the client ends the viewer by its pid at
// shutdown. The handler only writes a byte into a socket pair; the event
// loop reads it and leaves with status 0, so the program ends through its
// normal path.
#pragma once

class QCoreApplication;

namespace logvista {

// Installs the handlers; a signal that comes before WatchQuitSignals is kept
// and acted on once the event loop runs. False when the pair or a handler
// could not be set up.
bool InstallQuitSignals();

// Makes application's event loop quit on the signals installed above.
void WatchQuitSignals(QCoreApplication& application);

}  // namespace logvista
