#include "app/package_download.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <exception>
#include <mutex>
#include <utility>

#include "app/file_hash.h"
#include "app/progress_coalescer.h"
#include "app/support_log.h"
#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/monotonic_clock.h"
#include "base/scoped_handle.h"
#include "base/thread.h"
#include "http/http_functions.h"

namespace {

using winhttpx::DownloadResponse;
using winhttpx::HeaderMap;

bool IsSuccess(DWORD status) { return status >= 200 && status <= 299; }

// Answers worth another try: nothing came, or the server says it is busy or
// failed for now. Client errors (404 and the like) will not change.
bool IsTransient(DWORD status) {
  return status == 0 || status == 408 || status == 429 || status >= 500;
}

// How an attempt ended, and why when not well, as the support log tells.
const char* AttemptVerdict(const PackageDownload::Result& result, bool retry) {
  if (result.succeeded) return "done";
  if (result.status == 0) return retry ? "retry:no_answer" : "failed:no_answer";
  if (IsSuccess(result.status)) return retry ? "retry:body_not_kept" : "failed:body_not_kept";
  return retry ? "retry:server_status" : "failed:server_status";
}

int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A strong ETag, else Last-Modified, else "": what If-Range may carry.
std::wstring ValidatorOf(const HeaderMap& headers) {
  if (const std::wstring* etag = winhttpx::FindHeader(headers, L"ETag")) {
    if (!etag->empty() && etag->compare(0, 2, L"W/") != 0) return *etag;
  }
  if (const std::wstring* modified = winhttpx::FindHeader(headers, L"Last-Modified")) {
    return *modified;
  }
  return std::wstring();
}

// The first byte position of "Content-Range: bytes <first>-<last>/<total>",
// or -1.
int64_t ContentRangeStart(const HeaderMap& headers) {
  const std::wstring* range = winhttpx::FindHeader(headers, L"Content-Range");
  if (!range || range->compare(0, 6, L"bytes ") != 0) return -1;
  const wchar_t* digits = range->c_str() + 6;
  wchar_t* end = nullptr;
  const long long first = std::wcstoll(digits, &end, 10);
  if (end == digits || *end != L'-' || first < 0) return -1;
  return first;
}

// Appends the whole of |from| to |to|; false when that failed or
// |cancelled| turned true on the way.
bool AppendFile(const std::wstring& from, const std::wstring& to,
                const std::atomic<bool>& cancelled) {
  const cbase::ScopedHandle in(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in) return false;
  const cbase::ScopedHandle out(::CreateFileW(to.c_str(), FILE_APPEND_DATA, 0, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  std::string buffer(1 << 20, '\0');
  for (;;) {
    if (cancelled) return false;
    DWORD read = 0, written = 0;
    if (!::ReadFile(in.get(), &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      return false;
    }
    if (read == 0) return true;
    if (!::WriteFile(out.get(), buffer.data(), read, &written, nullptr) || written != read) {
      return false;
    }
  }
}

// The hash of what one attempt writes: fed on the transfer's thread as the
// pieces reach the file, read by the file work once the transfer has ended.
struct BodyHash {
  // Of the kept bytes a resumption continues; null when not resuming.
  std::shared_ptr<const Sha256> kept;
  int64_t offset = 0;
  // Made at the first piece, when the status tells what the body is.
  std::unique_ptr<Sha256> hash;
  bool continues = false;  // |hash| began as a copy of |kept|
  bool broken = false;

  void Begin(DWORD status, const HeaderMap& headers) {
    // Only a partial answer starting where the kept bytes end continues
    // them; anything else is a whole body (or an error page, thrown away).
    continues = status == 206 && kept && offset > 0 && ContentRangeStart(headers) == offset;
    hash = continues ? kept->Clone() : Sha256::Create();
    if (!hash) broken = true;
  }
  void Add(const winhttpx::Response& response, const char* bytes, size_t count) {
    if (broken) return;
    if (!hash) Begin(response.status_code(), response.headers());
    if (hash && !hash->Update(bytes, count)) broken = true;
  }
  // The hash of the whole file that the attempt's bytes ended up in, null
  // when it is not known: |joined| tells whether they were appended to the
  // kept bytes, |length| is that file's size.
  std::unique_ptr<Sha256> TakeFor(bool joined, DWORD status, const HeaderMap& headers,
                                  int64_t length) {
    if (!hash && !broken) Begin(status, headers);  // an empty body
    if (broken || !hash || continues != joined) return nullptr;
    if (static_cast<int64_t>(hash->length()) != length) return nullptr;
    return std::move(hash);
  }
};

// Shared by the transfer's threads and the UI thread: what the bar should
// show. Guarded by |lock|.
struct ProgressRelay {
  std::mutex lock;
  // Set once sending has returned; until then the answer's status is not
  // known here, and the first figures wait in |early_received|.
  std::weak_ptr<DownloadResponse> response;
  bool response_known = false;
  int64_t early_received = -1;
  int64_t early_total = -1;
  int64_t offset = 0;  // bytes kept from earlier attempts
  int64_t received = 0;
  int64_t total = -1;

  // Turns the transfer's figures into the package's; false when they do not
  // count (an error page, or no answer at all). Call with |lock| held.
  bool Update(DWORD status, int64_t transfer_received, int64_t transfer_total) {
    if (!IsSuccess(status)) return false;
    // Only a partial answer continues the kept bytes.
    const int64_t base = status == 206 ? offset : 0;
    received = base + transfer_received;
    total = transfer_total > 0 ? base + transfer_total : -1;
    return true;
  }
};

}  // namespace

struct PackageDownload::Attempt {
  std::wstring url;
  std::wstring package;
  std::wstring part;
  std::wstring chunk;  // where a resumed attempt writes; "" when it writes |part|
  int64_t offset = 0;  // bytes of |part| kept when resuming
  std::wstring validator;
  std::string expected_sha256;
  int64_t started_us = 0;
  // Fed while the body is written; null when no hash is expected.
  std::shared_ptr<BodyHash> body_hash;
};

// What the file work needs of a response. The response itself stays with
// the HTTP thread: releasing a request that never heard from its server
// waits for WinHTTP to close it, which must not hold up the file thread.
struct PackageDownload::Answer {
  DWORD status = 0;
  DWORD error = 0;
  bool completed = false;
  int64_t body_bytes = 0;
  int64_t elapsed_us = 0;
  HeaderMap headers;
};

struct PackageDownload::Outcome {
  Result result;
  bool retryable = false;
  std::wstring validator;  // of the bytes left in the ".part" file
  int64_t kept = 0;        // bytes left in the ".part" file
  bool joined = false;     // a resumed piece was joined to the kept bytes
  int64_t received = 0;    // package bytes this attempt received
  int64_t elapsed_us = 0;  // from the request to its answer
  // The hash check of a complete package for the support log: "match",
  // "mismatch", "none_expected", or null when none was reached.
  const char* hash_result = nullptr;
  int64_t hash_us = 0;
  // Whether the file had to be read to learn its hash (the hash made while
  // writing could not be used).
  bool hash_read_back = false;
  // The hash of the bytes left in the ".part" file, when a hash is expected.
  std::shared_ptr<const Sha256> kept_hash;
};

namespace {

// The hash of |part| as it is now: the one made while writing when it
// covers exactly the file, else read from the file (once; a retry then goes
// on from it). Null when neither works or |cancelled| turned true.
std::unique_ptr<Sha256> PartHash(BodyHash& body, bool joined, DWORD status,
                                 const HeaderMap& headers, const std::wstring& part,
                                 const std::atomic<bool>& cancelled, bool* read_back) {
  const int64_t length = FileSize(part);
  if (length < 0) return nullptr;
  std::unique_ptr<Sha256> hash = body.TakeFor(joined, status, headers, length);
  if (hash) return hash;
  *read_back = true;
  hash = Sha256::Create();
  if (!hash || !hash->UpdateFromFile(part, length,
                                     [&cancelled](uint64_t, uint64_t) { return !cancelled; })) {
    return nullptr;
  }
  return hash;
}

// The package that just matched, held so that it stays what was checked;
// null unless it is the same length as what was hashed.
std::shared_ptr<const cbase::ScopedHandle> HoldPackage(const std::wstring& path, int64_t length) {
  auto held = std::make_shared<cbase::ScopedHandle>(::CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size = {};
  if (!*held || !::GetFileSizeEx(held->get(), &size) || size.QuadPart != length) return nullptr;
  return held;
}

}  // namespace

PackageDownload::Outcome PackageDownload::FinishAttempt(const Attempt& attempt,
                                                        const Answer& answer,
                                                        const std::atomic<bool>& cancelled) {
  Outcome outcome;
  const DWORD status = answer.status;
  const bool completed = answer.completed;
  outcome.result.status = status;
  outcome.result.error = answer.error;
  outcome.received = IsSuccess(status) ? answer.body_bytes : 0;
  outcome.elapsed_us = answer.elapsed_us;
  outcome.validator = attempt.validator;
  bool keep_part = true;
  // A resumed piece that does not fit what we kept: starting over may work.
  bool piece_rejected = false;

  if (!attempt.chunk.empty()) {
    if (status == 206) {
      // The rest of the package: only joined when it starts where ours ends.
      if (ContentRangeStart(answer.headers) != attempt.offset ||
          !AppendFile(attempt.chunk, attempt.part, cancelled)) {
        if (cancelled) return outcome;
        keep_part = false;
        piece_rejected = true;
      } else {
        outcome.joined = true;
      }
    } else if (IsSuccess(status)) {
      // The server sent the whole package again (the validator no longer
      // matched, or it ignores ranges).
      if (::MoveFileExW(attempt.chunk.c_str(), attempt.part.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        outcome.validator = ValidatorOf(answer.headers);
      } else {
        keep_part = false;
        piece_rejected = true;
      }
    } else if (status == 412 || status == 416) {
      keep_part = false;  // our piece no longer fits the package
      piece_rejected = true;
    }
    ::DeleteFileW(attempt.chunk.c_str());
  } else if (IsSuccess(status)) {
    outcome.validator = ValidatorOf(answer.headers);
  } else {
    keep_part = false;  // an error page, not package bytes
  }
  if (!keep_part) {
    ::DeleteFileW(attempt.part.c_str());
    outcome.validator.clear();
  }

  const bool hashing = attempt.body_hash != nullptr;
  std::unique_ptr<Sha256> part_hash;
  bool read_back = false;
  const int64_t hash_started = cbase::MonotonicNow();
  if (keep_part && hashing && (completed || !outcome.validator.empty())) {
    part_hash = PartHash(*attempt.body_hash, outcome.joined, status, answer.headers, attempt.part,
                         cancelled, &read_back);
    if (cancelled) return outcome;
    outcome.hash_read_back = read_back;
  }

  if (!completed || !IsSuccess(status) || !keep_part) {
    outcome.retryable = !completed || IsTransient(status) || piece_rejected;
    if (keep_part) {
      outcome.kept = (std::max)(FileSize(attempt.part), int64_t{0});
      // Without the kept bytes' hash a resumption could not be checked.
      if (hashing && !part_hash) outcome.validator.clear();
      outcome.kept_hash = std::move(part_hash);
    }
    return outcome;
  }
  int64_t hashed = -1;
  if (hashing) {
    if (part_hash) hashed = static_cast<int64_t>(part_hash->length());
    const std::string actual = part_hash ? part_hash->FinishHex() : std::string();
    outcome.hash_result = actual == attempt.expected_sha256 ? "match" : "mismatch";
    outcome.hash_us = cbase::MonotonicNow() - hash_started;
    if (actual != attempt.expected_sha256) {
      ::DeleteFileW(attempt.part.c_str());
      outcome.validator.clear();
      return outcome;
    }
  } else {
    outcome.hash_result = "none_expected";
  }
  if (!::MoveFileExW(attempt.part.c_str(), attempt.package.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(attempt.part.c_str());
    outcome.validator.clear();
    return outcome;
  }
  outcome.result.succeeded = true;
  outcome.result.sha256 = attempt.expected_sha256;
  outcome.result.bytes = (std::max)(FileSize(attempt.package), int64_t{0});
  if (hashing) outcome.result.held = HoldPackage(attempt.package, hashed);
  return outcome;
}

PackageDownload::PackageDownload(PostToUIFunction post, RetryScheduler schedule)
    : post_(std::move(post)),
      schedule_(std::move(schedule)),
      ui_loop_(cbase::MessageLoop::current() ? cbase::MessageLoop::current()->proxy() : nullptr),
      cancelled_(std::make_shared<std::atomic<bool>>(false)) {}

PackageDownload::~PackageDownload() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  *cancelled_ = true;
  // Waits for file work already running; work not yet started is dropped.
  if (file_thread_) file_thread_->Stop();
}

void PackageDownload::Start(const std::wstring& url, const std::wstring& package_path,
                            const std::string& expected_sha256, ProgressCallback progress,
                            DoneCallback done) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  // What is still on its way for an abandoned download is not for this one.
  ReleaseWeakFlag();
  running_ = true;
  url_ = url;
  package_path_ = package_path;
  expected_sha256_ = expected_sha256;
  progress_ = std::move(progress);
  done_ = std::move(done);
  retries_ = 0;
  attempts_ = 0;
  resumed_ = false;
  received_ = 0;
  kept_ = 0;
  validator_.clear();
  kept_hash_.reset();
  // Bytes of an earlier run have no validator we know of.
  ::DeleteFileW(PartPath(package_path_).c_str());
  StartAttempt();
}

void PackageDownload::StartAttempt() {
  ++attempts_;
  Attempt attempt;
  attempt.url = url_;
  attempt.package = package_path_;
  attempt.part = PartPath(package_path_);
  attempt.expected_sha256 = expected_sha256_;
  attempt.started_us = cbase::MonotonicNow();
  attempt.validator = validator_;
  const int64_t kept = FileSize(attempt.part);
  const bool hashing = !expected_sha256_.empty();
  HeaderMap headers;
  // A resumption is only checked when the kept bytes' hash is there to go on
  // from, and only that hash's bytes are resumed from.
  if (kept > 0 && !validator_.empty() &&
      (!hashing || (kept_hash_ && static_cast<int64_t>(kept_hash_->length()) == kept))) {
    attempt.offset = kept;
    attempt.chunk = attempt.part + L".resume";
    headers.emplace(L"Range", L"bytes=" + std::to_wstring(kept) + L"-");
    headers.emplace(L"If-Range", validator_);
  }
  if (hashing) {
    attempt.body_hash = std::make_shared<BodyHash>();
    if (attempt.offset > 0) attempt.body_hash->kept = kept_hash_;
    attempt.body_hash->offset = attempt.offset;
  }
  winhttpx::WrittenHandler written;
  if (hashing) {
    std::shared_ptr<BodyHash> body_hash = attempt.body_hash;
    written = [body_hash](const winhttpx::Response& response, const char* bytes, size_t count) {
      body_hash->Add(response, bytes, count);
    };
  }

  auto relay = std::make_shared<ProgressRelay>();
  relay->offset = attempt.offset;
  PostToUIFunction post = post_;
  // The bar's reports, coalesced; dropped once this download is gone or
  // has started anew.
  std::shared_ptr<ProgressCoalescer> coalescer =
      ProgressCoalescer::Create(post, ToWeakCallback([this](int64_t received, int64_t total) {
                                  if (progress_) progress_(received, total);
                                }));
  auto on_progress = [relay, coalescer](int64_t received, int64_t total) {
    int64_t package_received = 0, package_total = -1;
    {
      std::lock_guard<std::mutex> lock(relay->lock);
      if (!relay->response_known) {
        relay->early_received = received;
        relay->early_total = total;
        return;
      }
      // Called from the response's own notification, which holds it.
      auto response = relay->response.lock();
      if (!response || !relay->Update(response->status_code(), received, total)) return;
      package_received = relay->received;
      package_total = relay->total;
    }
    coalescer->Update(package_received, package_total);
  };

  // The file work may take a while (a hash over a large package), so it runs
  // on the download's file thread; without one it is done on the HTTP thread
  // rather than the attempt never being reported.
  if (!file_thread_) {
    auto thread = std::make_unique<cbase::FrameworkThread>("PackageDownload");
    if (thread->Start()) file_thread_ = std::move(thread);
  }
  std::shared_ptr<cbase::MessageLoopProxy> file_loop =
      file_thread_ ? file_thread_->proxy() : nullptr;
  auto finished = ToWeakCallback(&PackageDownload::OnAttemptFinished);
  auto on_done = [post, file_loop, attempt, finished, coalescer,
                  cancelled = cancelled_](const std::shared_ptr<winhttpx::Response>& done) {
    // The bar's last figures go before the attempt's end.
    coalescer->Flush();
    Answer answer;
    answer.status = done->status_code();
    answer.error = done->error_code();
    answer.body_bytes = done->body_bytes();
    answer.elapsed_us = cbase::MonotonicNow() - attempt.started_us;
    answer.completed = done->state() == winhttpx::ResponseState::kCompleted;
    answer.headers = done->headers();
    auto finish = [post, attempt, finished, cancelled, answer] {
      if (*cancelled) return;
      Outcome outcome;
      try {
        outcome = FinishAttempt(attempt, answer, *cancelled);
      } catch (const std::exception&) {
        // The bytes are in an unknown state: the download fails (and its
        // ".part" goes), but it is still reported.
      }
      if (*cancelled) return;
      post([finished, outcome] { finished(outcome); });
    };
    if (!file_loop) {
      finish();
      return;
    }
    // Refused only once the download, and its thread, are gone.
    file_loop->PostTask(std::move(finish));
  };

  std::shared_ptr<DownloadResponse> response;
  try {
    response =
        winhttpx::HttpDownload(attempt.url, attempt.chunk.empty() ? attempt.part : attempt.chunk,
                               on_progress, headers, stall_timeout_ms_, written);
  } catch (const std::exception&) {
    // Nothing was sent; nothing will come of trying the same again.
    post_([finished] { finished(Outcome()); });
    return;
  }
  bool early = false;
  int64_t early_received = 0, early_total = -1;
  {
    std::lock_guard<std::mutex> lock(relay->lock);
    relay->response = response;
    relay->response_known = true;
    // Figures that came before this point wait for the status, which was
    // written before them (and before they took the lock).
    early = relay->early_received >= 0 &&
            relay->Update(response->status_code(), relay->early_received, relay->early_total);
    early_received = relay->received;
    early_total = relay->total;
  }
  if (early) coalescer->Update(early_received, early_total);
  response->Then(on_done);
}

void PackageDownload::OnAttemptFinished(const Outcome& outcome) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!running_) return;
  resumed_ = resumed_ || outcome.joined;
  received_ += outcome.received;
  validator_ = outcome.validator;
  kept_hash_ = outcome.kept_hash;
  // Only bytes a retry can resume from count as headway.
  const int64_t kept = validator_.empty() ? 0 : outcome.kept;
  if (kept > kept_) retries_ = 0;
  kept_ = kept;
  const bool retry = !outcome.result.succeeded && outcome.retryable && retries_ < kMaxRetries &&
                     attempts_ < kMaxAttempts;
  SupportLog::Instance().Write("request", {{"method", "GET"},
                                           {"url", SupportLog::HostAndPath(url_)},
                                           {"status", outcome.result.status},
                                           {"error", outcome.result.error},
                                           {"bytes", outcome.received},
                                           {"ms", outcome.elapsed_us / 1000},
                                           {"attempt", attempts_},
                                           {"outcome", AttemptVerdict(outcome.result, retry)},
                                           {"retry_in_ms", retry ? kRetryDelaysMs[retries_] : 0}});
  if (outcome.hash_result != nullptr) {
    SupportLog::Instance().Write("hash", {{"check", "download"},
                                          {"result", outcome.hash_result},
                                          {"read_back", outcome.hash_read_back},
                                          {"ms", outcome.hash_us / 1000}});
  }
  if (retry) {
    ScheduleRetry(kRetryDelaysMs[retries_++], outcome.result);
    return;
  }
  Finish(outcome.result);
}

void PackageDownload::ScheduleRetry(DWORD delay_ms, const Result& result) {
  auto retry = ToWeakCallback([this] {
    if (running_) StartAttempt();
  });
  if (schedule_) {
    schedule_(delay_ms, std::move(retry));
    return;
  }
  if (!ui_loop_ || !ui_loop_->PostDelayedTask(std::move(retry), cbase::Milliseconds(delay_ms))) {
    Finish(result);
  }
}

void PackageDownload::Finish(const Result& outcome) {
  running_ = false;
  Result result = outcome;
  result.retries = (std::max)(attempts_ - 1, 0);
  result.resumed = resumed_;
  if (!result.succeeded) result.bytes = received_;
  // Kept bytes are only worth something to a retry of this download.
  if (!result.succeeded) ::DeleteFileW(PartPath(package_path_).c_str());
  DoneCallback done = std::move(done_);
  done_ = nullptr;
  progress_ = nullptr;
  if (done) done(result);
}
