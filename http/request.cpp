#include "http/request.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <thread>

#include "http/text_helpers.h"
#include "http/winhttp_error.h"

namespace winhttpx {
namespace {

// Pieces of a streamed body are at most this long.
constexpr size_t kBodyPieceSize = 0x4000;
// Ignore unknown authorities, wrong usage, wrong names and expired dates.
constexpr DWORD kIgnoreCertificateErrors =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;

// The requests whose notifications the current thread is inside, innermost
// first (a WinHTTP call made from a notification may deliver the next one on
// the same stack).
struct ActiveNotification {
  const Request* request;
  const ActiveNotification* outer;
};
thread_local const ActiveNotification* t_active = nullptr;

bool InsideNotificationOf(const Request* request) {
  for (const ActiveNotification* a = t_active; a; a = a->outer) {
    if (a->request == request) return true;
  }
  return false;
}

template <typename Handler, typename... Args>
void RunIgnoringExceptions(const Handler& handler, Args&&... args) {
  // A handler's exception must not unwind through WinHTTP's callback.
  try {
    handler(std::forward<Args>(args)...);
  } catch (...) {
  }
}

}  // namespace

// Marks one notification as running on this thread for this request.
struct Request::NotificationScope {
  explicit NotificationScope(Request* request) : request_(request), active_{request, t_active} {
    AcquireSRWLockExclusive(&request_->busy_lock_);
    ++request_->running_;
    ReleaseSRWLockExclusive(&request_->busy_lock_);
    t_active = &active_;
  }
  ~NotificationScope() {
    t_active = active_.outer;
    // The last touch of the request: once running_ is zero the destructor
    // may proceed on another thread.
    AcquireSRWLockExclusive(&request_->busy_lock_);
    if (--request_->running_ == 0) WakeAllConditionVariable(&request_->idle_);
    ReleaseSRWLockExclusive(&request_->busy_lock_);
  }
  Request* request_;
  ActiveNotification active_;
};

HINTERNET Request::OpenHandle(HINTERNET connection, const std::wstring& verb,
                              const std::wstring& path, const Options& options) {
  DWORD flags = WINHTTP_FLAG_REFRESH | WINHTTP_FLAG_ESCAPE_DISABLE;
  if (options.tls) flags |= WINHTTP_FLAG_SECURE;
  HINTERNET handle = WinHttpOpenRequest(connection, verb.c_str(), path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags);
  if (!handle) throw TransferError("WinHttpOpenRequest", GetLastError());
  return handle;
}

std::shared_ptr<Request> Request::Create(HINTERNET connection, const std::wstring& verb,
                                         const std::wstring& path, const Options& options) {
  HINTERNET handle = OpenHandle(connection, verb, path, options);
  std::shared_ptr<Request> request(new Request(handle, verb, options), &Request::Destroy);
  request->Bind();
  return request;
}

std::shared_ptr<Request> Request::CreateDeferred(ConnectionOpener opener, const std::wstring& verb,
                                                 const std::wstring& path, const Options& options) {
  std::shared_ptr<Request> request(new Request(nullptr, verb, options), &Request::Destroy);
  request->opener_ = std::move(opener);
  request->path_ = path;
  return request;
}

void Request::Bind() {
  // Every notification, the closing one included, carries the request.
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);
  WinHttpSetOption(handle_, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context));
  if (WinHttpSetStatusCallback(handle_, &Request::StatusCallback,
                               WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS,
                               0) == WINHTTP_INVALID_STATUS_CALLBACK) {
    throw TransferError("WinHttpSetStatusCallback", GetLastError());
  }
  callback_installed_ = true;
}

Request::Request(HINTERNET handle, const std::wstring& verb, const Options& options)
    : HttpHandle(handle),
      verb_(verb),
      options_(options),
      closed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void Request::Destroy(Request* request) {
  if (InsideNotificationOf(request)) {
    // Released by its own notification: finish on another thread, which
    // waits until that notification has returned.
    auto work = [](PTP_CALLBACK_INSTANCE, void* context) {
      Destroy(static_cast<Request*>(context));
    };
    if (!TrySubmitThreadpoolCallback(work, request, nullptr)) {
      std::thread([request] { Destroy(request); }).detach();
    }
    return;
  }
  // If WinHTTP never confirms the close, a pending operation may still write
  // into the request's buffers: keeping the object is then the safe choice.
  if (request->Shutdown()) delete request;
}

bool Request::Shutdown() {
  StopIdleTimer();
  if (handle_) {
    HINTERNET handle = handle_;
    handle_ = nullptr;
    if (!callback_installed_ || !closed_) {
      WinHttpCloseHandle(handle);  // nothing of ours will be told
    } else if (!WinHttpCloseHandle(handle)) {
      // Not closed, so no closing notification will come: stop notifications.
      WinHttpSetStatusCallback(handle, nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
    } else if (WaitForSingleObject(closed_.get(), 60000) != WAIT_OBJECT_0) {
      return false;
    }
  }
  AcquireSRWLockExclusive(&busy_lock_);
  while (running_ > 0) SleepConditionVariableSRW(&idle_, &busy_lock_, INFINITE, 0);
  ReleaseSRWLockExclusive(&busy_lock_);
  return true;
}

Request::~Request() {
  Shutdown();
  handlers_.clear();
  provider_ = nullptr;
  upload_progress_ = nullptr;
}

void Request::AddHeaders(const HeaderMap& headers) {
  for (const auto& entry : headers) headers_.insert(entry);
}

void Request::SetBody(std::string body) {
  body_ = std::move(body);
  content_length_ = static_cast<int64_t>(body_.size());
  provider_ = nullptr;
}

void Request::SetBodyProvider(BodyProvider provider, int64_t length) {
  provider_ = std::move(provider);
  content_length_ = length < 0 ? -1 : length;
  body_.clear();
}

void Request::SetUploadProgressHandler(UploadProgressHandler handler) {
  upload_progress_ = std::move(handler);
}

std::wstring Request::BuildHeaderBlock() const {
  HeaderMap headers = headers_;
  if (content_length_ < 0) {
    SetHeader(headers, L"Transfer-Encoding", L"chunked");
  } else {
    SetHeader(headers, L"Content-Length", std::to_wstring(content_length_));
  }
  if (!content_type_.empty()) SetHeader(headers, L"Content-Type", content_type_);
  std::wstring block;
  for (const auto& entry : headers) {
    block += entry.first;
    block += L": ";
    block += entry.second;
    block += L"\r\n";
  }
  block += L"\r\n";
  return block;
}

std::shared_ptr<TextResponse> Request::Send() {
  auto response = std::make_shared<TextResponse>(shared_from_this());
  Start(response);
  return response;
}

std::shared_ptr<DownloadResponse> Request::SendToFile(const std::wstring& path,
                                                      ProgressHandler progress,
                                                      WrittenHandler written) {
  auto response = std::make_shared<DownloadResponse>(shared_from_this(), path, std::move(progress),
                                                     std::move(written));
  Start(response);
  return response;
}

void Request::Start(const std::shared_ptr<Response>& response) {
  if (sent_) throw std::logic_error("A request is sent only once.");
  if (options_.idle_timeout_ms > 0 && !idle_timer_) {
    idle_timer_ = std::make_unique<cbase::OneShotTimer>([this] {
      // Counted like a notification: releasing the response from here moves
      // the request's shutdown to another thread, and the shutdown waits for
      // it.
      NotificationScope scope(this);
      OnIdleTimer();
    });
  }
  sent_ = true;
  header_block_ = BuildHeaderBlock();
  if (content_length_ == -1) {
    finished_ = false;
    body_.clear();
  }
  // The response must be reachable before the first notification can come.
  response_ = response;
  response->state_ = ResponseState::kPending;
  last_activity_ = GetTickCount64();
  try {
    // Armed before anything is sent, so that a request without its watchdog
    // never goes out.
    if (idle_timer_ && !idle_timer_->Arm(options_.idle_timeout_ms)) {
      throw TransferError("timeSetEvent", ERROR_NOT_ENOUGH_MEMORY);
    }
    if (opener_) {
      // Held by the work item until the request is open and sent.
      auto held = std::make_unique<std::shared_ptr<Request>>(shared_from_this());
      if (!TrySubmitThreadpoolCallback(&Request::DeferredWork, held.get(), nullptr)) {
        throw TransferError("TrySubmitThreadpoolCallback", GetLastError());
      }
      held.release();
    } else {
      ApplyOptions();
      SendRequest();
    }
  } catch (...) {
    if (idle_timer_) idle_timer_->Stop();
    response_.reset();
    response->state_ = ResponseState::kBuilding;
    throw;
  }
}

void CALLBACK Request::DeferredWork(PTP_CALLBACK_INSTANCE, void* context) {
  std::unique_ptr<std::shared_ptr<Request>> held(static_cast<std::shared_ptr<Request>*>(context));
  (*held)->OpenDeferred();
}

void Request::OpenDeferred() {
  std::shared_ptr<Response> response = response_.lock();
  if (!response || Completing()) return;
  DWORD error = 0;
  try {
    HINTERNET connection = opener_(options_, keep_alive_);
    std::lock_guard<std::recursive_mutex> lock(transfer_lock_);
    // The idle timeout may have ended the response while the proxy was
    // looked up; the handle is then never opened.
    if (Completing()) return;
    handle_ = OpenHandle(connection, verb_, path_, options_);
    Bind();
    ApplyOptions();
    SendRequest();
    return;
  } catch (const TransferError& e) {
    error = e.error();
  } catch (...) {
    error = ERROR_WINHTTP_INTERNAL_ERROR;
  }
  std::lock_guard<std::recursive_mutex> lock(transfer_lock_);
  Complete(response, ResponseState::kFailed, error);
}

void Request::ApplyOptions() {
  // No option may fail the request.
  WinHttpSetOption(handle_, WINHTTP_OPTION_CLIENT_CERT_CONTEXT, WINHTTP_NO_CLIENT_CERT_CONTEXT, 0);
  if (options_.ignore_certificate_errors) {
    DWORD flags = kIgnoreCertificateErrors;
    WinHttpSetOption(handle_, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
  }
  if (options_.set_proxy) {
    const ProxyChoice& choice = options_.proxy;
    WINHTTP_PROXY_INFO info = {};
    info.dwAccessType =
        choice.named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY;
    if (choice.named) {
      info.lpszProxy = const_cast<wchar_t*>(choice.proxy.c_str());
      if (!choice.bypass.empty())
        info.lpszProxyBypass = const_cast<wchar_t*>(choice.bypass.c_str());
    }
    WinHttpSetOption(handle_, WINHTTP_OPTION_PROXY, &info, sizeof(info));
  }
  if (!options_.keep_alive) {
    DWORD feature = WINHTTP_DISABLE_KEEP_ALIVE;
    WinHttpSetOption(handle_, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
  }
  if (options_.proxy_logon) {
    DWORD policy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_LOW;
    WinHttpSetOption(handle_, WINHTTP_OPTION_AUTOLOGON_POLICY, &policy, sizeof(policy));
  }
}

void Request::SendRequest() {
  const std::wstring& block = header_block_;
  const DWORD total = static_cast<DWORD>(provider_ ? (content_length_ > 0 ? content_length_ : 0)
                                                   : static_cast<int64_t>(body_.size()));
  if (!WinHttpSendRequest(handle_, block.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : block.c_str(),
                          static_cast<DWORD>(block.size()),
                          body_.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body_.data()),
                          static_cast<DWORD>(body_.size()), total,
                          reinterpret_cast<DWORD_PTR>(this))) {
    throw TransferError("WinHttpSendRequest", GetLastError());
  }
}

bool Request::RetryWithLogon(Response& response) {
  if (!options_.proxy_logon || logon_tried_ || provider_) return false;
  DWORD supported = 0;
  DWORD first = 0;
  DWORD target = 0;
  if (!WinHttpQueryAuthSchemes(handle_, &supported, &first, &target) ||
      target != WINHTTP_AUTH_TARGET_PROXY) {
    return false;
  }
  // Only the schemes that carry the user's logon; others need a password
  // the assistant does not have, and the 407 stands.
  DWORD scheme = 0;
  if (supported & WINHTTP_AUTH_SCHEME_NEGOTIATE) {
    scheme = WINHTTP_AUTH_SCHEME_NEGOTIATE;
  } else if (supported & WINHTTP_AUTH_SCHEME_NTLM) {
    scheme = WINHTTP_AUTH_SCHEME_NTLM;
  } else {
    return false;
  }
  if (!WinHttpSetCredentials(handle_, WINHTTP_AUTH_TARGET_PROXY, scheme, nullptr, nullptr,
                             nullptr)) {
    return false;
  }
  logon_tried_ = true;
  response.status_code_ = 0;
  response.headers_.clear();
  SendRequest();
  return true;
}

void Request::StopIdleTimer() {
  if (!idle_timer_) return;
  // A callback running on another thread ends before the pointer is cleared.
  idle_timer_->Stop();
  idle_timer_.reset();
}

void Request::OnIdleTimer() {
  // Without a response the owner has let go and the request is closing.
  std::shared_ptr<Response> response = response_.lock();
  if (!response) return;
  std::lock_guard<std::recursive_mutex> lock(transfer_lock_);
  if (Completing()) return;
  const ULONGLONG idle = GetTickCount64() - last_activity_.load();
  const DWORD limit = options_.idle_timeout_ms;
  if (idle < limit) {
    if (idle_timer_->Arm(static_cast<DWORD>(limit - idle))) return;
    // A transfer that can no longer be watched could wait for ever.
    Complete(response, ResponseState::kFailed, ERROR_NOT_ENOUGH_MEMORY);
    return;
  }
  // WinHTTP may still finish (or never): whatever it reports later finds
  // the response completed.
  Complete(response, ResponseState::kFailed, ERROR_WINHTTP_TIMEOUT);
}

bool Request::Completing() {
  std::lock_guard<std::mutex> lock(handlers_lock_);
  return completing_;
}

void CALLBACK Request::StatusCallback(HINTERNET, DWORD_PTR context, DWORD code, LPVOID info,
                                      DWORD length) {
  auto* request = reinterpret_cast<Request*>(context);
  if (!request) return;
  NotificationScope scope(request);
  request->OnStatus(code, info, length);
}

void Request::OnStatus(DWORD code, LPVOID info, DWORD length) {
  if (code == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    SetEvent(closed_.get());
    return;
  }
  last_activity_ = GetTickCount64();
  // Holding the response keeps it (and this request) alive until the
  // notification has been handled.
  std::shared_ptr<Response> response = response_.lock();
  if (!response) return;  // the caller let go: the transfer stops here
  std::lock_guard<std::recursive_mutex> lock(transfer_lock_);
  // A response that has ended (the idle timeout ended it, say) takes
  // nothing more: no more bytes, progress or WinHTTP calls.
  if (Completing()) return;
  try {
    Advance(response, code, info, length);
  } catch (const TransferError& e) {
    Complete(response, ResponseState::kFailed, e.error());
  } catch (const std::bad_alloc&) {
    Complete(response, ResponseState::kFailed, ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    Complete(response, ResponseState::kFailed, ERROR_INTERNAL_ERROR);
  }
}

void Request::Advance(const std::shared_ptr<Response>& response, DWORD code, LPVOID info,
                      DWORD length) {
  switch (code) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
      if (provider_) {
        ProvideBody();
      } else {
        ReceiveResponse();
      }
      break;
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE: {
      write_pending_ = false;
      bytes_sent_ += *static_cast<DWORD*>(info);
      if (upload_progress_ && content_length_ > 0) upload_progress_(bytes_sent_, content_length_);
      if (!provider_) break;
      const bool all_sent = content_length_ >= 0 && payload_sent_ >= content_length_;
      if (finished_ || all_sent) {
        ReceiveResponse();
      } else {
        ProvideBody();
      }
      break;
    }
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
      ReadHeaders(*response);
      if (response->status_code_ == HTTP_STATUS_PROXY_AUTH_REQ && RetryWithLogon(*response)) break;
      response->OnHeaders();
      QueryDataAvailable();
      break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE: {
      const DWORD available = *static_cast<DWORD*>(info);
      if (available > 0) {
        std::string& buffer = read_buffer_;
        if (buffer.size() < available) buffer.resize(available);
        if (!WinHttpReadData(handle_, &buffer[0], available, nullptr)) {
          throw TransferError("WinHttpReadData", GetLastError());
        }
      } else if (BodyTruncated(*response)) {
        Complete(response, ResponseState::kFailed, ERROR_WINHTTP_CONNECTION_ERROR);
      } else {
        Complete(response, ResponseState::kCompleted, 0);
      }
      break;
    }
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
      if (length > 0) {
        response->body_bytes_ += length;
        response->OnData(static_cast<const char*>(info), length);
      }
      // A read that brought nothing is answered by asking again, which
      // reports the end of the body instead of leaving the request stalled.
      QueryDataAvailable();
      break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
      Complete(response, ResponseState::kFailed,
               static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError);
      break;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
      // A request error follows and completes the response.
      response->state_ = ResponseState::kFailed;
      response->error_code_ = ERROR_WINHTTP_SECURE_FAILURE;
      break;
    default:
      break;
  }
}

void Request::ReceiveResponse() {
  if (!WinHttpReceiveResponse(handle_, nullptr)) {
    throw TransferError("WinHttpReceiveResponse", GetLastError());
  }
}

void Request::QueryDataAvailable() {
  if (!WinHttpQueryDataAvailable(handle_, nullptr)) {
    throw TransferError("WinHttpQueryDataAvailable", GetLastError());
  }
}

void Request::ReadHeaders(Response& response) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(handle_, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    throw TransferError("WinHttpQueryHeaders", GetLastError());
  }
  response.status_code_ = status;

  DWORD bytes = 0;
  if (WinHttpQueryHeaders(handle_, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                          WINHTTP_NO_OUTPUT_BUFFER, &bytes, WINHTTP_NO_HEADER_INDEX) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    throw TransferError("WinHttpQueryHeaders", GetLastError());
  }
  std::wstring raw(bytes / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(handle_, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                           &raw[0], &bytes, WINHTTP_NO_HEADER_INDEX)) {
    throw TransferError("WinHttpQueryHeaders", GetLastError());
  }
  raw.resize(bytes / sizeof(wchar_t));

  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find(L'\n', start);
    if (end == std::wstring::npos) end = raw.size();
    std::wstring line = raw.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.compare(0, 5, L"HTTP/") == 0) continue;
    const size_t colon = line.find(L':');
    if (colon == std::wstring::npos) continue;
    response.headers_.emplace(line.substr(0, colon), TrimBlanks(line.substr(colon + 1)));
  }
}

bool Request::BodyTruncated(const Response& response) const {
  // A body that ends before its announced length was cut off (for example
  // the connection dropped); it must not pass for a complete one.
  const std::wstring* value = FindHeader(response.headers_, L"Content-Length");
  if (!value || verb_ == L"HEAD") return false;
  const DWORD status = response.status_code_;
  if (status / 100 == 1 || status == 204 || status == 304) return false;
  wchar_t* end = nullptr;
  const long long announced = std::wcstoll(value->c_str(), &end, 10);
  if (end == value->c_str() || *end != L'\0' || announced < 0) return false;
  return response.body_bytes_ < announced;
}

void Request::ProvideBody() {
  size_t length = kBodyPieceSize;
  if (content_length_ >= 0) {
    const int64_t remaining = content_length_ - payload_sent_;
    if (remaining < static_cast<int64_t>(kBodyPieceSize)) {
      length = static_cast<size_t>(remaining > 0 ? remaining : 0);
    }
  }
  provider_(payload_sent_, length, *this);
  // Nothing written means nothing will ever complete the upload.
  if (!write_pending_) throw TransferError("BodyProvider", ERROR_INVALID_DATA);
}

bool Request::Write(const char* bytes, size_t count) {
  if (count == 0 || write_pending_) return false;
  if (content_length_ < 0) {
    char size[20];
    std::snprintf(size, sizeof(size), "%zx\r\n", count);
    body_.assign(size);
    body_.append(bytes, count);
    body_.append("\r\n");
  } else {
    const int64_t remaining = content_length_ - payload_sent_;
    if (static_cast<int64_t>(count) > remaining) count = static_cast<size_t>(remaining);
    if (count == 0) return false;
    body_.assign(bytes, count);
  }
  if (!WinHttpWriteData(handle_, body_.data(), static_cast<DWORD>(body_.size()), nullptr)) {
    throw TransferError("WinHttpWriteData", GetLastError());
  }
  write_pending_ = true;
  payload_sent_ += static_cast<int64_t>(count);
  return true;
}

void Request::Finish() {
  if (content_length_ >= 0 || finished_ || write_pending_) return;
  body_.assign("0\r\n\r\n");
  if (!WinHttpWriteData(handle_, body_.data(), static_cast<DWORD>(body_.size()), nullptr)) {
    throw TransferError("WinHttpWriteData", GetLastError());
  }
  write_pending_ = true;
  finished_ = true;
}

void Request::Complete(const std::shared_ptr<Response>& response, ResponseState state,
                       DWORD error) {
  {
    std::lock_guard<std::mutex> lock(handlers_lock_);
    if (completing_) return;  // completes once, whatever reports it next
    completing_ = true;
  }
  if (state == ResponseState::kFailed) {
    if (error != 0) response->error_code_ = error;
  }
  response->state_ = state;
  try {
    response->OnComplete();
  } catch (...) {
  }
  for (;;) {
    std::vector<CompletionHandler> batch;
    {
      std::lock_guard<std::mutex> lock(handlers_lock_);
      if (handlers_.empty()) {
        handlers_done_ = true;
        break;
      }
      batch.swap(handlers_);
    }
    for (const CompletionHandler& handler : batch) RunIgnoringExceptions(handler, response);
  }
}

void Request::Attach(CompletionHandler handler, const std::shared_ptr<Response>& response) {
  {
    std::lock_guard<std::mutex> lock(handlers_lock_);
    if (!handlers_done_) {
      handlers_.push_back(std::move(handler));
      return;
    }
  }
  handler(response);
}

}  // namespace winhttpx
