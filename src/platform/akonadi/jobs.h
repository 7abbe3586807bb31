// Running Akonadi jobs with a deadline. Akonadi starts its server for any job when it is
// not running, and a job waits without end when the server is stuck or gone; so every job
// runs only while the server already runs, and fails as unavailable when it has not
// finished within the bridge's request allowance.
//
// Thread safety: Qt thread only.
#pragma once

#include <chrono>
#include <memory>

class KJob;
class QObject;

namespace pemrix::platform::akonadi {

// Deletes a Qt object once control returns to the event loop (a job may still be
// delivering its signals when its owner is done with it).
struct DeleteLater {
  void operator()(QObject* object) const;
};
template <typename Job>
using JobPtr = std::unique_ptr<Job, DeleteLater>;

// Throws an unavailable Status when the Akonadi server is not running; starts nothing.
void requireRunningServer();

// Starts `job` (owned by the caller) and waits for its result in a nested event loop, at
// most `allowance`. Throws an unavailable Status when the job failed or ran out of time
// (it is then killed).
void finish(KJob* job, std::chrono::milliseconds allowance);

// `finish` with the bridge's request allowance.
void finish(KJob* job);

}  // namespace pemrix::platform::akonadi
