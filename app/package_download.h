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
// the package. Progress reaches the UI thread coalesced, at most about
// thirty times a second (ProgressCoalescer), the last figures always.
//
// The expected SHA-256 is computed while the body is written, never by
// reading the package back: a resumed attempt continues the hash of the kept
// bytes (kept from the attempt that wrote them, or read once from the file
// when that hash was lost), and an answer that starts over starts the hash
// over. A package that passed the check is handed over held open without
// write or delete sharing (Result::held), so whoever keeps that handle knows
// the file is still the one that was checked.
//
// Threads: UI thread only (checked in debug builds). The transfer runs on
// the HTTP client's threads, and the file work at the end of an attempt
// (joining a resumed piece, hashing, renaming) on a task-runtime thread the
// download owns, so the window stays responsive. Results come back through
// the poster and retries wait as delayed tasks of the UI thread's message
// loop, all bound through weak callbacks: a download that is gone, or has
// started anew, is never called for what arrives late. Destroying a download
// stops its file work early and waits for it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/post_to_ui.h"
#include "base/scoped_handle.h"
#include "base/thread_checker.h"
#include "base/weak_callback.h"

namespace cbase {
class FrameworkThread;
class MessageLoopProxy;
}  // namespace cbase

class Sha256;

class PackageDownload : public cbase::SupportWeakCallback {
 public:
  // Runs |task| on the UI thread after |delay_ms|. The default is a delayed
  // task on the message loop of the thread that made the download; without
  // either, a download that would retry fails instead.
  using RetryScheduler = std::function<void(DWORD delay_ms, UiTask task)>;
  // Bytes received of the whole package and its size (-1 while unknown).
  // Reports are coalesced: at most one is waiting on the UI thread.
  using ProgressCallback = std::function<void(int64_t received, int64_t total)>;

  struct Result {
    bool succeeded = false;
    DWORD status = 0;      // of the last answer; 0 when none came
    std::string sha256;    // the expected hash that the package matched, or ""
    DWORD error = 0;       // the WinHTTP or system error of the last attempt, or 0
    int retries = 0;       // attempts after the first
    bool resumed = false;  // a retry continued the bytes an earlier attempt kept
    // The package's size when it succeeded; else the package bytes (bodies of
    // 2xx answers) received over all attempts.
    int64_t bytes = 0;
    // The package that matched |sha256|, open for reading only and sharing
    // nothing but reading: while it is held nobody can change, replace or
    // delete it. Null when no hash was expected or it could not be opened.
    std::shared_ptr<const cbase::ScopedHandle> held;
  };
  using DoneCallback = std::function<void(const Result& result)>;

  // Retries in a row that brought no new bytes to resume from. An attempt
  // that grew the kept bytes starts the count again, so a long download over
  // a connection that drops now and then still ends; kMaxAttempts bounds the
  // attempts of one download in all.
  static constexpr int kMaxRetries = 3;
  static constexpr DWORD kRetryDelaysMs[kMaxRetries] = {1000, 2000, 4000};
  static constexpr int kMaxAttempts = 32;
  static constexpr DWORD kStallTimeoutMs = 15000;

  explicit PackageDownload(PostToUIFunction post, RetryScheduler schedule = RetryScheduler());
  ~PackageDownload() override;
  PackageDownload(const PackageDownload&) = delete;
  PackageDownload& operator=(const PackageDownload&) = delete;

  // Downloads |url| to |package_path| (through PartPath). |expected_sha256|:
  // lower-case hexadecimal, or "" for no check. |done| runs once. A download
  // that cannot even be started (bad address, unsupported scheme, the file
  // cannot be made) reports failure through |done| as well, after Start has
  // returned. A download already running is abandoned.
  void Start(const std::wstring& url, const std::wstring& package_path,
             const std::string& expected_sha256, ProgressCallback progress, DoneCallback done);

  bool running() const {
    CBASE_DCHECK_ON_THREAD(thread_checker_);
    return running_;
  }

  // How long an attempt may hear nothing before it counts as failed; for
  // the attempts started after the call.
  void set_stall_timeout(DWORD milliseconds) { stall_timeout_ms_ = milliseconds; }
  DWORD stall_timeout() const { return stall_timeout_ms_; }

  static std::wstring PartPath(const std::wstring& package_path) { return package_path + L".part"; }

 private:
  struct Attempt;
  struct Answer;
  struct Outcome;

  void StartAttempt();
  // The end of one attempt, off the UI thread: puts the bytes where they
  // belong and tells what the attempt achieved. Stops early, leaving the
  // files as they are, once |cancelled| turns true.
  static Outcome FinishAttempt(const Attempt& attempt, const Answer& answer,
                               const std::atomic<bool>& cancelled);
  void OnAttemptFinished(const Outcome& outcome);
  void ScheduleRetry(DWORD delay_ms, const Result& result);
  void Finish(const Result& result);

  const PostToUIFunction post_;
  const RetryScheduler schedule_;
  // The loop of the thread that made the download, for the default retries.
  const std::shared_ptr<cbase::MessageLoopProxy> ui_loop_;
  // Shared with the file work, which may run on an HTTP thread when no
  // file thread could be made.
  const std::shared_ptr<std::atomic<bool>> cancelled_;
  // Started on first use; stopped (after cancelling) when the download goes.
  std::unique_ptr<cbase::FrameworkThread> file_thread_;
  bool running_ = false;

  std::wstring url_;
  std::wstring package_path_;
  std::string expected_sha256_;
  ProgressCallback progress_;
  DoneCallback done_;
  int retries_ = 0;
  int attempts_ = 0;
  // What the result tells of all attempts so far.
  bool resumed_ = false;
  int64_t received_ = 0;
  // Bytes of the ".part" file that a retry would resume from.
  int64_t kept_ = 0;
  DWORD stall_timeout_ms_ = kStallTimeoutMs;
  // The validator of the bytes in the ".part" file ("" when there is none,
  // and the next attempt starts over).
  std::wstring validator_;
  // The hash of those bytes when a hash is expected; a resumption goes on
  // from a copy of it. Only read once made.
  std::shared_ptr<const Sha256> kept_hash_;
  cbase::ThreadChecker thread_checker_;
};
