// PackageDownload: fetches one package into the installer folder without
// ever leaving a broken package under its final name.
//
// The bytes go to "<package>.part". Only a complete answer with a 2xx status
// (and, when a SHA-256 is expected, the matching content) is renamed over the
// package file; anything else leaves an earlier package untouched. A
// transfer that fails on the way (no answer, a dropped connection, a 5xx,
// 408 or 429 answer) is tried again up to three times, after 1, 2 and 4
// seconds: with the bytes already in the ".part" file kept and the rest asked
// for with a Range request guarded by If-Range when the server gave a
// validator (a strong ETag or Last-Modified), from the start otherwise. An
// attempt that hears nothing from the server for stall_timeout() fails like a
// dropped connection, so every download ends within the attempts' bound
// even when a server (or the TLS handshake with it) goes silent.
//
// Only the body of a 2xx answer counts as progress: an error page is not
// the package.
//
// Threads: Start, the callbacks and the retry decisions belong to the UI
// thread; the transfer runs on the HTTP client's threads, and the file work
// at the end of an attempt (joining a resumed piece, hashing, renaming) on a
// short-lived thread of its own, so the window stays responsive. Everything
// comes back through the poster; an object that is gone (or has started a
// newer download) ignores what arrives late.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/post_to_ui.h"

namespace winhttpx {
class DownloadResponse;
}

class PackageDownload {
 public:
  // Runs |task| on the UI thread after |delay_ms|. The default waits on a
  // thread of its own and then posts the task.
  using RetryScheduler = std::function<void(DWORD delay_ms, UiTask task)>;
  // Bytes received of the whole package and its size (-1 while unknown).
  // Reports are coalesced: at most one is waiting on the UI thread.
  using ProgressCallback = std::function<void(int64_t received, int64_t total)>;

  struct Result {
    bool succeeded = false;
    DWORD status = 0;    // of the last answer; 0 when none came
    std::string sha256;  // the expected hash that the package matched, or ""
  };
  using DoneCallback = std::function<void(const Result& result)>;

  static constexpr int kMaxRetries = 3;
  static constexpr DWORD kRetryDelaysMs[kMaxRetries] = {1000, 2000, 4000};
  static constexpr DWORD kStallTimeoutMs = 15000;

  explicit PackageDownload(PostToUIFunction post, RetryScheduler schedule = RetryScheduler());
  ~PackageDownload();
  PackageDownload(const PackageDownload&) = delete;
  PackageDownload& operator=(const PackageDownload&) = delete;

  // Downloads |url| to |package_path| (through PartPath). |expected_sha256|:
  // lower-case hexadecimal, or "" for no check. |done| runs once. A download
  // that cannot even be started (bad address, unsupported scheme, the file
  // cannot be made) reports failure through |done| as well, after Start has
  // returned. A download already running is abandoned.
  void Start(const std::wstring& url, const std::wstring& package_path,
             const std::string& expected_sha256, ProgressCallback progress, DoneCallback done);

  bool running() const { return running_; }

  // How long an attempt may hear nothing before it counts as failed; for
  // the attempts started after the call.
  void set_stall_timeout(DWORD milliseconds) { stall_timeout_ms_ = milliseconds; }
  DWORD stall_timeout() const { return stall_timeout_ms_; }

  static std::wstring PartPath(const std::wstring& package_path) { return package_path + L".part"; }

 private:
  struct Attempt;
  struct Outcome;

  void StartAttempt();
  // The end of one attempt, off the UI thread: puts the bytes where they
  // belong and tells what the attempt achieved.
  static Outcome FinishAttempt(const Attempt& attempt, const winhttpx::DownloadResponse& response);
  void OnAttemptFinished(const Outcome& outcome);
  void Finish(const Result& result);

  const PostToUIFunction post_;
  const RetryScheduler schedule_;
  // Late callbacks hold it weakly: once this object is gone they do nothing.
  std::shared_ptr<int> alive_;
  uint64_t generation_ = 0;
  bool running_ = false;

  std::wstring url_;
  std::wstring package_path_;
  std::string expected_sha256_;
  ProgressCallback progress_;
  DoneCallback done_;
  int retries_ = 0;
  DWORD stall_timeout_ms_ = kStallTimeoutMs;
  // The validator of the bytes in the ".part" file ("" when there is none,
  // and the next attempt starts over).
  std::wstring validator_;
};
