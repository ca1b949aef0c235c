// The log viewer program started from the event panel: one process at a
// time, kept by its process id, ended (SIGTERM, then reaped) at shutdown.
#pragma once
#include <sys/types.h>

#include <string>

namespace events {

class CViewerProcess {
 public:
  CViewerProcess() = default;
  // Ends the viewer as Stop does.
  ~CViewerProcess();
  CViewerProcess(const CViewerProcess&) = delete;
  CViewerProcess& operator=(const CViewerProcess&) = delete;

  // Starts program with the event folder as its one argument. While the
  // viewer started before still runs nothing new is started (its id would
  // be lost and the process left behind at shutdown). False when the
  // program could not be started.
  bool Start(const std::string& program, const std::string& event_folder);
  // True while the viewer runs; reaps it when it has ended by itself.
  bool Running();
  // Sends SIGTERM to the viewer and reaps it, waiting up to wait_ms; one
  // that has not ended by then is killed and reaped.
  void Stop(int wait_ms = 2000);
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

}  // namespace events
