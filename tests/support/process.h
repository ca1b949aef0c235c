// Child processes for integration tests: start a program with arguments,
// read its output line by line with time-outs, wait for it or stop it.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

class ChildProcess {
 public:
  // Starts path with args; stdout and stderr are captured separately.
  ChildProcess(const std::string& path, const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      Wait(5000);
    }
    if (out_fd_ >= 0) close(out_fd_);
    if (err_fd_ >= 0) close(err_fd_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  // Ends the process at once, as a crash or a power cut would.
  void Kill() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      Wait(5000);
    }
  }

  // The next stdout line, or false when none came within timeout_ms.
  bool ReadLine(std::string* line, long timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      auto nl = out_buf_.find('\n');
      if (nl != std::string::npos) {
        *line = out_buf_.substr(0, nl);
        out_buf_.erase(0, nl + 1);
        all_out_.push_back(*line);
        return true;
      }
      const long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || !Pump(out_fd_, &out_buf_, left)) return false;
    }
  }
  // Reads stdout lines until one starts with prefix; returns it, or "" on time-out.
  std::string WaitForLine(const std::string& prefix, long timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string line;
    for (;;) {
      const long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0 || !ReadLine(&line, left)) return "";
      if (line.rfind(prefix, 0) == 0) return line;
    }
  }
  // Waits for the exit; returns the exit status, or -1 on time-out or signal.
  int Wait(long timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!exited_) {
      int status = 0;
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      usleep(10000);
    }
    return exit_status_;
  }
  // Every remaining stdout line (after the process ended) and all stderr.
  std::vector<std::string> RestOfStdout() {
    while (Pump(out_fd_, &out_buf_, 200)) {
    }
    std::vector<std::string> lines;
    std::string line;
    while (ReadLine(&line, 0)) lines.push_back(line);
    return lines;
  }
  std::string Stderr() {
    while (Pump(err_fd_, &err_buf_, 200)) {
    }
    return err_buf_;
  }
  void Signal(int sig) {
    if (pid_ > 0 && !exited_) kill(pid_, sig);
  }

 private:
  // Reads what is available within timeout_ms; false at end of stream or time-out.
  static bool Pump(int fd, std::string* buf, long timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout_ms)) <= 0) return false;
    char chunk[4096];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return false;
    buf->append(chunk, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  bool exited_ = false;
  int exit_status_ = -1;
  std::string out_buf_;
  std::string err_buf_;
  std::vector<std::string> all_out_;
};
