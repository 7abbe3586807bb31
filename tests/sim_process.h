// SimProcess: runs pemrix-bridge-sim as a child over real pipes, as the application does:
// write to its standard input, read its standard output and standard error, and wait for
// its exit status with a real-time limit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemrix::testing {

class SimProcess {
 public:
  // Starts the simulator with `arguments` and, when `worldJson` is given, a world file
  // holding it (named through PEMRIX_BRIDGE_WORLD).
  explicit SimProcess(std::optional<std::string> worldJson = std::nullopt,
                      std::vector<std::string> arguments = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Writes bytes to the child's standard input in one write; false when the pipe is closed.
  bool write(std::string_view bytes);
  void closeInput();
  // Closes the read end of the child's standard output, as an application that goes away
  // does: the child's next write to it fails. Output read before stays available.
  void closeOutput();

  // Reads standard output until it holds `count` lines, the child closes it, or
  // `seconds` pass. Returns every complete line read so far, without newlines.
  std::vector<std::string> readLines(std::size_t count, double seconds);

  // Waits up to `seconds` for the child to exit; its status, or nothing when it is still
  // running (or was ended by a signal, reported as 128 + signal).
  std::optional<int> waitForExit(double seconds);

  // Everything read from standard output and standard error so far, after the exit.
  std::string output();
  std::string errors();

  // Peak resident memory of the exited child in KiB (from its resource usage).
  long peakMemoryKiB() const { return peakKiB_; }
  // The child's own peak resident memory so far in KiB (VmHWM in /proc/<pid>/status),
  // read while it runs; 0 once it has exited. Unlike the resource usage above, which the
  // kernel raises to the parent's peak at the moment of the spawn (the child starts in the
  // parent's address space), it counts the simulator's memory alone.
  long runningPeakMemoryKiB() const;

 private:
  void drain(double seconds);

  int pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;
  std::string worldPath_;
  std::string out_;
  std::string err_;
  std::optional<int> status_;
  long peakKiB_ = 0;
};

// The path of the simulator executable under test.
const char* simPath();

}  // namespace pemrix::testing
