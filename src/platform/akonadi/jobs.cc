// Akonadi jobs with a deadline: a nested event loop that ends on the job's result or on a
// timer, whichever comes first.
#include "platform/akonadi/jobs.h"

#include <string>

#include <Akonadi/ServerManager>
#include <KJob>
#include <QEventLoop>
#include <QTimer>

#include "common/limits.h"
#include "platform/status.h"

namespace pemrix::platform::akonadi {

void DeleteLater::operator()(QObject* object) const {
  object->deleteLater();
}

void requireRunningServer() {
  if (!Akonadi::ServerManager::isRunning()) throw Status::unavailable("Akonadi is not running");
}

void finish(KJob* job, std::chrono::milliseconds allowance) {
  job->setAutoDelete(false);
  QEventLoop loop;
  bool done = false;
  QObject::connect(job, &KJob::result, &loop, [&] {
    done = true;
    loop.quit();
  });
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(static_cast<int>(allowance.count()));
  job->start();
  if (!done) loop.exec();
  if (!done) {
    job->kill(KJob::Quietly);
    throw Status::unavailable("an Akonadi job ran out of time");
  }
  if (job->error() != 0) {
    throw Status::unavailable("an Akonadi job failed: " + job->errorString().toStdString());
  }
}

void finish(KJob* job) {
  finish(job, std::chrono::milliseconds(static_cast<long>(limits::kRequestAllowance * 1000)));
}

}  // namespace pemrix::platform::akonadi
