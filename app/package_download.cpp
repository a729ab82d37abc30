#include "app/package_download.h"

#include <atomic>
#include <cwchar>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "app/file_hash.h"
#include "http/http_client.h"
#include "http/http_session.h"
#include "http/request.h"
#include "http/url_helpers.h"

namespace {

using winhttpx::DownloadResponse;
using winhttpx::HeaderMap;

bool IsSuccess(DWORD status) { return status >= 200 && status <= 299; }

// Answers worth another try: nothing came, or the server says it is busy or
// failed for now. Client errors (404 and the like) will not change.
bool IsTransient(DWORD status) {
  return status == 0 || status == 408 || status == 429 || status >= 500;
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

// Appends the whole of |from| to |to|.
bool AppendFile(const std::wstring& from, const std::wstring& to) {
  HANDLE in = ::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  HANDLE out = ::CreateFileW(to.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    ::CloseHandle(in);
    return false;
  }
  std::string buffer(1 << 20, '\0');
  bool ok = true;
  for (;;) {
    DWORD read = 0, written = 0;
    if (!::ReadFile(in, &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    if (!::WriteFile(out, buffer.data(), read, &written, nullptr) || written != read) {
      ok = false;
      break;
    }
  }
  ::CloseHandle(out);
  ::CloseHandle(in);
  return ok;
}

// Sends GET |url| with |headers| into |file| and keeps the session, the
// client and the response alive until the transfer has ended (a response
// nobody holds stops its transfer). A transfer that hears nothing for
// |idle_timeout_ms| ends as failed. Throws a std::exception when nothing could
// be sent (an unusable address, a file that cannot be made).
std::shared_ptr<DownloadResponse> SendAttempt(const std::wstring& url, const std::wstring& file,
                                              const HeaderMap& headers, DWORD idle_timeout_ms,
                                              winhttpx::ProgressHandler progress) {
  const winhttpx::UrlAuthority authority = winhttpx::ParseUrlAuthority(winhttpx::UrlBase(url));
  auto session = std::make_shared<winhttpx::HttpSession>();
  auto client = std::make_shared<winhttpx::HttpClient>(*session, authority.host, authority.port,
                                                       authority.tls);
  client->SetIdleTimeout(idle_timeout_ms);
  auto request = client->NewGetRequest(winhttpx::UrlPath(url));
  request->AddHeaders(headers);
  auto response = request->SendToFile(file, std::move(progress));
  std::shared_ptr<winhttpx::Response> held = response;
  response->Then([session, client, held](const std::shared_ptr<winhttpx::Response>&) {});
  return response;
}

// Shared by the transfer's threads and the UI thread: what the bar should
// show and whether a report is already waiting to be shown. Everything but
// |posted| is guarded by |lock|.
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
  std::atomic<bool> posted{false};

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
  uint64_t generation = 0;
  std::wstring url;
  std::wstring package;
  std::wstring part;
  std::wstring chunk;  // where a resumed attempt writes; "" when it writes |part|
  int64_t offset = 0;  // bytes of |part| kept when resuming
  std::wstring validator;
  std::string expected_sha256;
};

struct PackageDownload::Outcome {
  uint64_t generation = 0;
  Result result;
  bool retryable = false;
  std::wstring validator;  // of the bytes left in the ".part" file
};

PackageDownload::Outcome PackageDownload::FinishAttempt(const Attempt& attempt,
                                                        const DownloadResponse& response) {
  Outcome outcome;
  outcome.generation = attempt.generation;
  const DWORD status = response.status_code();
  const bool completed = response.state() == winhttpx::ResponseState::kCompleted;
  outcome.result.status = status;
  outcome.validator = attempt.validator;
  bool keep_part = true;
  // A resumed piece that does not fit what we kept: starting over may work.
  bool piece_rejected = false;

  if (!attempt.chunk.empty()) {
    if (status == 206) {
      // The rest of the package: only joined when it starts where ours ends.
      if (ContentRangeStart(response.headers()) != attempt.offset ||
          !AppendFile(attempt.chunk, attempt.part)) {
        keep_part = false;
        piece_rejected = true;
      }
    } else if (IsSuccess(status)) {
      // The server sent the whole package again (the validator no longer
      // matched, or it ignores ranges).
      if (::MoveFileExW(attempt.chunk.c_str(), attempt.part.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        outcome.validator = ValidatorOf(response.headers());
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
    outcome.validator = ValidatorOf(response.headers());
  } else {
    keep_part = false;  // an error page, not package bytes
  }
  if (!keep_part) {
    ::DeleteFileW(attempt.part.c_str());
    outcome.validator.clear();
  }

  if (!completed || !IsSuccess(status) || !keep_part) {
    outcome.retryable = !completed || IsTransient(status) || piece_rejected;
    return outcome;
  }
  if (!attempt.expected_sha256.empty() && Sha256OfFile(attempt.part) != attempt.expected_sha256) {
    ::DeleteFileW(attempt.part.c_str());
    outcome.validator.clear();
    return outcome;
  }
  if (!::MoveFileExW(attempt.part.c_str(), attempt.package.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(attempt.part.c_str());
    outcome.validator.clear();
    return outcome;
  }
  outcome.result.succeeded = true;
  outcome.result.sha256 = attempt.expected_sha256;
  return outcome;
}

PackageDownload::PackageDownload(PostToUIFunction post, RetryScheduler schedule)
    : post_(std::move(post)), schedule_(std::move(schedule)), alive_(std::make_shared<int>(0)) {}

PackageDownload::~PackageDownload() = default;

void PackageDownload::Start(const std::wstring& url, const std::wstring& package_path,
                            const std::string& expected_sha256, ProgressCallback progress,
                            DoneCallback done) {
  ++generation_;
  running_ = true;
  url_ = url;
  package_path_ = package_path;
  expected_sha256_ = expected_sha256;
  progress_ = std::move(progress);
  done_ = std::move(done);
  retries_ = 0;
  validator_.clear();
  // Bytes of an earlier run have no validator we know of.
  ::DeleteFileW(PartPath(package_path_).c_str());
  StartAttempt();
}

void PackageDownload::StartAttempt() {
  Attempt attempt;
  attempt.generation = generation_;
  attempt.url = url_;
  attempt.package = package_path_;
  attempt.part = PartPath(package_path_);
  attempt.expected_sha256 = expected_sha256_;
  attempt.validator = validator_;
  const int64_t kept = FileSize(attempt.part);
  HeaderMap headers;
  if (kept > 0 && !validator_.empty()) {
    attempt.offset = kept;
    attempt.chunk = attempt.part + L".resume";
    headers.emplace(L"Range", L"bytes=" + std::to_wstring(kept) + L"-");
    headers.emplace(L"If-Range", validator_);
  }

  auto relay = std::make_shared<ProgressRelay>();
  relay->offset = attempt.offset;
  std::weak_ptr<int> alive = alive_;
  const uint64_t generation = generation_;
  PostToUIFunction post = post_;
  // Shows the relay's figures on the UI thread; at most one report waits.
  auto report = [relay, post, alive, generation, this] {
    if (relay->posted.exchange(true)) return;
    post([relay, alive, generation, this] {
      relay->posted = false;
      if (alive.expired() || generation != generation_ || !progress_) return;
      int64_t received = 0, total = -1;
      {
        std::lock_guard<std::mutex> lock(relay->lock);
        received = relay->received;
        total = relay->total;
      }
      progress_(received, total);
    });
  };
  auto on_progress = [relay, report](int64_t received, int64_t total) {
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
    }
    report();
  };

  auto on_done = [post, alive, attempt, this](const std::shared_ptr<winhttpx::Response>& done) {
    auto response = std::static_pointer_cast<DownloadResponse>(done);
    auto finish = [post, alive, attempt, response, this] {
      Outcome outcome;
      outcome.generation = attempt.generation;
      try {
        outcome = FinishAttempt(attempt, *response);
      } catch (const std::exception&) {
        // The bytes are in an unknown state: the download fails (and its
        // ".part" goes), but it is still reported.
      }
      post([alive, outcome, this] {
        if (!alive.expired()) OnAttemptFinished(outcome);
      });
    };
    // The file work may take a while (a hash over a large package), so it
    // gets a thread of its own; without one it is done here rather than the
    // attempt never being reported.
    try {
      std::thread(finish).detach();
    } catch (const std::exception&) {
      finish();
    }
  };

  std::shared_ptr<DownloadResponse> response;
  try {
    response = SendAttempt(attempt.url, attempt.chunk.empty() ? attempt.part : attempt.chunk,
                           headers, stall_timeout_ms_, on_progress);
  } catch (const std::exception&) {
    // Nothing was sent; nothing will come of trying the same again.
    Outcome outcome;
    outcome.generation = generation_;
    post_([alive, outcome, this] {
      if (!alive.expired()) OnAttemptFinished(outcome);
    });
    return;
  }
  bool early = false;
  {
    std::lock_guard<std::mutex> lock(relay->lock);
    relay->response = response;
    relay->response_known = true;
    // Figures that came before this point wait for the status, which was
    // written before them (and before they took the lock).
    early = relay->early_received >= 0 &&
            relay->Update(response->status_code(), relay->early_received, relay->early_total);
  }
  if (early) report();
  response->Then(on_done);
}

void PackageDownload::OnAttemptFinished(const Outcome& outcome) {
  if (outcome.generation != generation_ || !running_) return;
  validator_ = outcome.validator;
  if (!outcome.result.succeeded && outcome.retryable && retries_ < kMaxRetries) {
    const DWORD delay = kRetryDelaysMs[retries_++];
    std::weak_ptr<int> alive = alive_;
    const uint64_t generation = generation_;
    UiTask retry = [alive, generation, this] {
      if (!alive.expired() && generation == generation_ && running_) StartAttempt();
    };
    if (schedule_) {
      schedule_(delay, std::move(retry));
    } else {
      PostToUIFunction post = post_;
      try {
        std::thread([post, delay, retry] {
          ::Sleep(delay);
          post(retry);
        }).detach();
      } catch (const std::exception&) {
        Finish(outcome.result);
      }
    }
    return;
  }
  Finish(outcome.result);
}

void PackageDownload::Finish(const Result& result) {
  running_ = false;
  // Kept bytes are only worth something to a retry of this download.
  if (!result.succeeded) ::DeleteFileW(PartPath(package_path_).c_str());
  DoneCallback done = std::move(done_);
  done_ = nullptr;
  progress_ = nullptr;
  if (done) done(result);
}
