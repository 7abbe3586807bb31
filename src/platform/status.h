// Status: the outcome of a platform call that can fail. Every fallible call of the calendar
// and contact stores returns one, with its results through pointers. A failed status says
// how it failed: the source the call named is no longer there ("gone"), or the service could
// not serve the call ("unavailable"; "no result" is the unavailable fetch that the service
// answered with nothing at all). The text is for tests and debugging: the stores answer
// with their own fixed failures and never show it.
//
// The ok status holds nothing and allocates nothing; a failure shares its text between
// copies. Thread safety: a Status is immutable; copies may be used on any thread.
#pragma once

#include <memory>
#include <string>
#include <utility>

namespace pemrix::platform {

class [[nodiscard]] Status {
 public:
  // The ok status.
  Status() = default;

  static Status unavailable(std::string text) { return Status(Kind::unavailable, std::move(text)); }
  static Status gone(std::string text) { return Status(Kind::gone, std::move(text)); }
  // Unavailable, in the one way the stores word apart: a fetch the service answered with no
  // result at all.
  static Status noResult(std::string text) { return Status(Kind::noResult, std::move(text)); }

  bool ok() const { return failure_ == nullptr; }
  bool isGone() const { return failure_ && failure_->kind == Kind::gone; }
  // True for every failure that is not `gone`, `noResult` included.
  bool isUnavailable() const { return failure_ && failure_->kind != Kind::gone; }
  bool isNoResult() const { return failure_ && failure_->kind == Kind::noResult; }
  // The service's description of the failure; empty when ok.
  const std::string& text() const {
    static const std::string kNone;
    return failure_ ? failure_->text : kNone;
  }

 private:
  enum class Kind { unavailable, gone, noResult };
  struct Failure {
    Kind kind;
    std::string text;
  };
  Status(Kind kind, std::string text)
      : failure_(std::make_shared<const Failure>(Failure{kind, std::move(text)})) {}

  std::shared_ptr<const Failure> failure_;  // null when ok
};

// Runs `work`, adapter code that reports a service failure by throwing a Status, and returns
// that Status; ok when `work` returns. Any other exception passes through. Adapters use it
// at their boundary, so that no Status thrown inside leaves them.
template <typename Work>
Status statusOf(Work&& work) {
  try {
    work();
    return Status();
  } catch (Status& failed) {
    return std::move(failed);
  }
}

}  // namespace pemrix::platform
