// Running the simulator as a child process over pipes.
#include "sim_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pemrix::testing {

const char* simPath() {
  return PEMRIX_SIM_PATH;
}

namespace {

std::string writeWorldFile(const std::string& json) {
  char path[] = "/tmp/pemrix-world-XXXXXX";
  int fd = ::mkstemp(path);
  if (fd < 0) return {};
  ::close(fd);
  std::ofstream(path) << json;
  return path;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

SimProcess::SimProcess(std::optional<std::string> worldJson, std::vector<std::string> arguments) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) std::abort();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::string_view(*entry).substr(0, 20) != "PEMRIX_BRIDGE_WORLD=") env.emplace_back(*entry);
  }
  if (worldJson) {
    worldPath_ = writeWorldFile(*worldJson);
    env.push_back("PEMRIX_BRIDGE_WORLD=" + worldPath_);
  }
  std::vector<std::string> args = {simPath()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv, envp;
  for (auto& arg : args) argv.push_back(arg.data());
  for (auto& entry : env) envp.push_back(entry.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  if (posix_spawn(&pid_, simPath(), &actions, nullptr, argv.data(), envp.data()) != 0) std::abort();
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  input_ = in[1];
  output_ = out[0];
  errors_ = err[0];
  ::fcntl(output_, F_SETFL, O_NONBLOCK);
  ::fcntl(errors_, F_SETFL, O_NONBLOCK);
  ::signal(SIGPIPE, SIG_IGN);
}

SimProcess::~SimProcess() {
  if (!status_) {
    ::kill(pid_, SIGKILL);
    waitForExit(5);
  }
  for (int fd : {input_, output_, errors_}) {
    if (fd >= 0) ::close(fd);
  }
  if (!worldPath_.empty()) std::remove(worldPath_.c_str());
}

bool SimProcess::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(input_, bytes.data(), bytes.size());
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void SimProcess::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void SimProcess::closeOutput() {
  if (output_ >= 0) ::close(output_);
  output_ = -1;
}

void SimProcess::drain(double seconds) {
  pollfd fds[2] = {{output_, POLLIN, 0}, {errors_, POLLIN, 0}};
  ::poll(fds, 2, static_cast<int>(seconds * 1000));
  char buffer[65536];
  for (auto [fd, text] : {std::pair{output_, &out_}, std::pair{errors_, &err_}}) {
    for (;;) {
      ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      text->append(buffer, static_cast<std::size_t>(got));
    }
  }
}

std::vector<std::string> SimProcess::readLines(std::size_t count, double seconds) {
  auto start = std::chrono::steady_clock::now();
  auto lines = [this] {
    std::vector<std::string> result;
    std::size_t from = 0, newline;
    while ((newline = out_.find('\n', from)) != std::string::npos) {
      result.push_back(out_.substr(from, newline - from));
      from = newline + 1;
    }
    return result;
  };
  while (lines().size() < count && secondsSince(start) < seconds) {
    drain(0.05);
    if (status_ || waitForExit(0)) {
      drain(0);
      break;
    }
  }
  return lines();
}

std::optional<int> SimProcess::waitForExit(double seconds) {
  auto start = std::chrono::steady_clock::now();
  while (!status_) {
    int status = 0;
    rusage usage{};
    pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      peakKiB_ = usage.ru_maxrss;
      break;
    }
    if (secondsSince(start) >= seconds) break;
    drain(0.01);
  }
  return status_;
}

long SimProcess::runningPeakMemoryKiB() const {
  if (status_) return 0;
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

std::string SimProcess::output() {
  drain(0);
  return out_;
}

std::string SimProcess::errors() {
  drain(0);
  return err_;
}

}  // namespace pemrix::testing
