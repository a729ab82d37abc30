// PackageWorker: the thread the pipeline's long file work runs on (checking
// a package's hash, unpacking it, waiting to learn whether a launched command
// started its program), so the window keeps answering meanwhile. Jobs run
// one at a time, in the order they were posted. Each job is handed a flag
// that turns true once the worker is being destroyed; long jobs poll it and
// stop early, and must then not report back.
//
// Owned by the installation pipeline: construction, Post and destruction on
// the owner's thread (the UI thread); jobs run on the worker's own thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "base/thread.h"

class PackageWorker {
 public:
  using Job = std::function<void(const std::atomic<bool>& cancelled)>;

  PackageWorker();
  // Cancels and waits for the running job to return; jobs not yet started
  // are dropped.
  ~PackageWorker();
  PackageWorker(const PackageWorker&) = delete;
  PackageWorker& operator=(const PackageWorker&) = delete;

  // Runs |job| on the worker, starting its thread on first use. False when
  // the thread cannot be started (the job is dropped).
  bool Post(Job job);

 private:
  std::atomic<bool> cancelled_{false};
  std::unique_ptr<cbase::FrameworkThread> thread_;
};
