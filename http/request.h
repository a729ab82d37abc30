// Request: one HTTP request on a connection, driven by WinHTTP's status
// notifications from sending to the end of the response body.
//
// Ownership: always held by std::shared_ptr (made by Create). The Response
// made by Send/SendToFile owns the request; the request refers back to it
// weakly, so dropping every reference to the response stops the transfer.
// Threads: build and send it on one thread; after Send, notifications run on
// WinHTTP's worker threads. A deferred request (CreateDeferred) is opened and
// sent from a thread-pool thread, so a slow proxy lookup never holds the
// thread that sends it. Releasing the last reference closes the request
// handle and waits for WinHTTP's closing notification, its last one, so no
// pending read or write can still use the request's buffers; when that
// happens inside one of the request's own notifications, the wait is moved to
// a thread-pool thread so that it never waits for itself. With an idle
// timeout the request also keeps a cbase::OneShotTimer, whose callback (on a
// thread-pool thread) counts as one of its notifications.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/one_shot_timer.h"
#include "base/scoped_handle.h"
#include "http/data_sink.h"
#include "http/header_map.h"
#include "http/http_handle.h"
#include "http/proxy_resolver.h"
#include "http/response.h"

namespace winhttpx {

// Supplies a streamed body: asked for up to length bytes at offset (payload
// bytes, framing not counted), answers through sink.Write / sink.Finish.
using BodyProvider = std::function<void(int64_t offset, size_t length, DataSink& sink)>;
using UploadProgressHandler = std::function<void(int64_t sent, int64_t total)>;

class Request : public HttpHandle, public DataSink, public std::enable_shared_from_this<Request> {
 public:
  struct Options {
    bool tls = false;
    // Accept unknown authorities, wrong names and expired certificates.
    // Only for test deployments: it lets anyone on the path replace what
    // the assistant downloads.
    bool ignore_certificate_errors = false;
    // Ends the transfer as Failed with ERROR_WINHTTP_TIMEOUT once WinHTTP
    // has reported nothing for this long (0: never). WinHTTP's own timeouts
    // do not cover every wait: Wine's asynchronous WinHTTP waits for ever
    // for a TLS handshake or an answer that never comes, and closing the
    // handle does not end that wait either.
    DWORD idle_timeout_ms = 0;
    // Sets |proxy| on the request (WINHTTP_OPTION_PROXY), as Windows
    // documents for a route found per URL; otherwise the session's applies.
    bool set_proxy = false;
    ProxyChoice proxy;
    // Lets WinHTTP give a proxy the user's own logon (NTLM, Negotiate):
    // the low autologon policy, and after a 407 one resend with the user's
    // default credentials. Not for streamed bodies, which cannot be resent.
    bool proxy_logon = false;
    // False: the connection ends with the response
    // (WINHTTP_DISABLE_KEEP_ALIVE), for a request whose session closes with
    // it and so would not use the connection again. A proxy's logon (NTLM)
    // needs the connection kept.
    bool keep_alive = true;
  };

  // Opens the connection a deferred request goes out on, and may fill the
  // options' proxy fields; it runs on a thread-pool thread and may take long.
  // |keep_alive| holds whatever the connection needs until the request is
  // gone. Throws std::runtime_error when there is no connection to be had.
  using ConnectionOpener =
      std::function<HINTERNET(Options& options, std::shared_ptr<void>& keep_alive)>;

  // Opens the request and installs the status callback. Throws
  // std::runtime_error "WinHttpOpenRequest failed: ..." or
  // "WinHttpSetStatusCallback failed: ...".
  static std::shared_ptr<Request> Create(HINTERNET connection, const std::wstring& verb,
                                         const std::wstring& path, const Options& options);
  // A request whose connection is opened by |opener| once it is sent;
  // failures to open it end the response as failed.
  static std::shared_ptr<Request> CreateDeferred(ConnectionOpener opener, const std::wstring& verb,
                                                 const std::wstring& path, const Options& options);
  ~Request() override;

  void AddHeaders(const HeaderMap& headers);
  void SetContentType(const std::wstring& content_type) { content_type_ = content_type; }
  // A body given whole; the content length becomes its size.
  void SetBody(std::string body);
  // A streamed body: length -1 sends it chunked.
  void SetBodyProvider(BodyProvider provider, int64_t length = -1);
  void SetUploadProgressHandler(UploadProgressHandler handler);

  // Sends the request (once). Throws std::runtime_error when WinHTTP refuses
  // it (or no idle timer can be made); later failures arrive through the
  // response.
  std::shared_ptr<TextResponse> Send();
  // Like Send, the body going to path. The file is opened before anything is
  // sent: "Failed to open file: <path>" is thrown with nothing on the wire.
  std::shared_ptr<DownloadResponse> SendToFile(const std::wstring& path, ProgressHandler progress,
                                               WrittenHandler written = nullptr);

  // The header block handed to WinHTTP: the request's headers plus
  // Content-Length (or Transfer-Encoding: chunked) and Content-Type.
  std::wstring BuildHeaderBlock() const;

  const std::wstring& verb() const { return verb_; }
  const HeaderMap& headers() const { return headers_; }
  int64_t content_length() const { return content_length_; }

  // DataSink, for the body provider (notification thread only).
  bool Write(const char* bytes, size_t count) override;
  void Finish() override;

 private:
  friend class Response;
  struct NotificationScope;

  Request(HINTERNET handle, const std::wstring& verb, const Options& options);
  static HINTERNET OpenHandle(HINTERNET connection, const std::wstring& verb,
                              const std::wstring& path, const Options& options);
  // Installs the status callback on the open handle.
  void Bind();
  static void CALLBACK DeferredWork(PTP_CALLBACK_INSTANCE instance, void* context);
  void OpenDeferred();
  void ApplyOptions();
  // Throws TransferError.
  void SendRequest();
  // After a 407: answers with the user's logon and resends, once.
  bool RetryWithLogon(Response& response);
  static void Destroy(Request* request);
  // Closes the handle and waits for the closing notification and for every
  // running notification; false when WinHTTP never confirmed the close.
  bool Shutdown();
  static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD code, LPVOID info,
                                      DWORD length);
  void StopIdleTimer();
  void OnIdleTimer();
  bool Completing();

  void Start(const std::shared_ptr<Response>& response);
  void OnStatus(DWORD code, LPVOID info, DWORD length);
  void Advance(const std::shared_ptr<Response>& response, DWORD code, LPVOID info, DWORD length);
  void ReceiveResponse();
  void QueryDataAvailable();
  void ReadHeaders(Response& response);
  void ProvideBody();
  bool BodyTruncated(const Response& response) const;
  void Complete(const std::shared_ptr<Response>& response, ResponseState state, DWORD error);
  void Attach(CompletionHandler handler, const std::shared_ptr<Response>& response);

  std::string body_;
  HeaderMap headers_;
  std::wstring content_type_;
  int64_t content_length_ = 0;
  int64_t bytes_sent_ = 0;    // as written, chunk framing included
  int64_t payload_sent_ = 0;  // the provider's offset
  BodyProvider provider_;
  bool finished_ = false;
  bool write_pending_ = false;
  std::weak_ptr<Response> response_;
  // Filled by WinHttpReadData; owned here, not by the response, because a
  // pending read may outlive the response until the handle has closed.
  std::string read_buffer_;
  UploadProgressHandler upload_progress_;

  std::wstring verb_;
  Options options_;
  bool sent_ = false;
  std::wstring header_block_;
  bool logon_tried_ = false;

  // Deferred requests only.
  ConnectionOpener opener_;
  std::wstring path_;
  std::shared_ptr<void> keep_alive_;

  // Completion and handler attachment are guarded together so that a
  // handler attached at any moment runs exactly once.
  std::mutex handlers_lock_;
  std::vector<CompletionHandler> handlers_;
  bool completing_ = false;
  bool handlers_done_ = false;

  // What a notification does with the response, and the idle timer's
  // ending of it, happen one at a time (notifications may nest on a thread).
  std::recursive_mutex transfer_lock_;
  std::unique_ptr<cbase::OneShotTimer> idle_timer_;
  std::atomic<ULONGLONG> last_activity_{0};  // tick count of the last notification

  bool callback_installed_ = false;
  cbase::ScopedHandle closed_;  // set by the closing notification

  // Notifications currently running (they may nest or overlap); the
  // destructor waits for zero. SRW primitives need no clean-up, so the
  // last notification may leave while the destructor takes over.
  SRWLOCK busy_lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE idle_ = CONDITION_VARIABLE_INIT;
  int running_ = 0;
};

}  // namespace winhttpx
