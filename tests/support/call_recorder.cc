// The record of what was asked of a simulated system.
#include "support/call_recorder.h"

namespace pemrix::testing {

SystemRecord CallRecorder::record() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_;
}

void CallRecorder::called(std::string_view name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (name == "calendarStoreCreated") ++record_.eventStoresCreated;
  if (name == "contactStoreCreated") ++record_.contactStoresCreated;
  record_.calls.emplace_back(name);
}

void CallRecorder::fetchingContacts(const std::string& containerId) {
  std::lock_guard<std::mutex> lock(mutex_);
  record_.contactFetches.push_back(containerId);
}

void CallRecorder::observerAdded() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++record_.observersAdded;
}

void CallRecorder::observerRemoved() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++record_.observersRemoved;
}

}  // namespace pemrix::testing
