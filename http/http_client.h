// HttpClient: one WinHTTP connection (host, port, TLS flag) on a session,
// making the requests sent to it. Shared (std::shared_ptr); create requests
// from one thread at a time. Responses made through Post and Download are
// kept alive for the client's lifetime (TrackResponse).
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "http/header_map.h"
#include "http/http_handle.h"
#include "http/http_session.h"
#include "http/request.h"
#include "http/response.h"

namespace winhttpx {

class HttpClient : public HttpHandle {
 public:
  // Throws std::runtime_error "WinHttpConnect failed: ...".
  HttpClient(const HttpSession& session, const std::wstring& host, int port, bool tls);
  ~HttpClient() override;

  bool tls() const { return tls_; }
  // Merged into every text request; empty unless a caller fills it.
  HeaderMap& default_headers() { return default_headers_; }

  // Off by default, and it must stay off outside test deployments: with it a
  // request accepts certificates of unknown authorities, for other names or
  // out of date, so anyone on the path could answer in the server's place.
  void SetIgnoreCertificateErrors(bool ignore) { ignore_certificate_errors_ = ignore; }
  bool ignore_certificate_errors() const { return ignore_certificate_errors_; }

  // The idle timeout of the requests made from now on (Request::Options;
  // 0, the default, leaves only WinHTTP's own timeouts).
  void SetIdleTimeout(DWORD milliseconds) { idle_timeout_ms_ = milliseconds; }
  DWORD idle_timeout() const { return idle_timeout_ms_; }

  std::shared_ptr<Request> NewRequest(const std::wstring& verb, const std::wstring& path);
  std::shared_ptr<Request> NewGetRequest(const std::wstring& path) {
    return NewRequest(L"GET", path);
  }
  std::shared_ptr<Request> NewPostRequest(const std::wstring& path) {
    return NewRequest(L"POST", path);
  }

  // GET with the default headers and headers added.
  std::shared_ptr<TextResponse> Get(const std::wstring& path, const HeaderMap& headers);
  std::shared_ptr<TextResponse> Post(const std::wstring& path, const std::string& body,
                                     const std::wstring& content_type, const HeaderMap& headers);
  // GET into |file| with |headers| added (the default headers are for text
  // requests and stay out).
  std::shared_ptr<DownloadResponse> Download(const std::wstring& path, const std::wstring& file,
                                             ProgressHandler progress,
                                             const HeaderMap& headers = {});

  void TrackResponse(std::shared_ptr<Response> response);

 private:
  bool tls_;
  bool ignore_certificate_errors_ = false;
  DWORD idle_timeout_ms_ = 0;
  HeaderMap default_headers_;
  std::mutex responses_lock_;
  std::vector<std::shared_ptr<Response>> responses_;
};

}  // namespace winhttpx
