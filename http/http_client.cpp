#include "http/http_client.h"

#include "http/winhttp_error.h"

namespace winhttpx {

HttpClient::HttpClient(const HttpSession& session, const std::wstring& host, int port, bool tls)
    : HttpHandle(
          WinHttpConnect(session.handle(), host.c_str(), static_cast<INTERNET_PORT>(port), 0)),
      tls_(tls) {
  if (!handle_) ThrowLastError("WinHttpConnect");
}

HttpClient::~HttpClient() {
  {
    std::lock_guard<std::mutex> lock(responses_lock_);
    responses_.clear();
  }
  Close();
}

std::shared_ptr<Request> HttpClient::NewRequest(const std::wstring& verb,
                                                const std::wstring& path) {
  Request::Options options;
  options.tls = tls_;
  options.ignore_certificate_errors = ignore_certificate_errors_;
  options.idle_timeout_ms = idle_timeout_ms_;
  return Request::Create(handle_, verb, path, options);
}

std::shared_ptr<TextResponse> HttpClient::Get(const std::wstring& path, const HeaderMap& headers) {
  auto request = NewGetRequest(path);
  request->AddHeaders(default_headers_);
  request->AddHeaders(headers);
  auto response = request->Send();
  TrackResponse(response);
  return response;
}

std::shared_ptr<TextResponse> HttpClient::Post(const std::wstring& path, const std::string& body,
                                               const std::wstring& content_type,
                                               const HeaderMap& headers) {
  auto request = NewPostRequest(path);
  request->AddHeaders(default_headers_);
  request->AddHeaders(headers);
  request->SetContentType(content_type);
  request->SetBody(body);
  auto response = request->Send();
  TrackResponse(response);
  return response;
}

std::shared_ptr<DownloadResponse> HttpClient::Download(const std::wstring& path,
                                                       const std::wstring& file,
                                                       ProgressHandler progress,
                                                       const HeaderMap& headers) {
  auto request = NewGetRequest(path);
  request->AddHeaders(headers);
  auto response = request->SendToFile(file, std::move(progress));
  TrackResponse(response);
  return response;
}

void HttpClient::TrackResponse(std::shared_ptr<Response> response) {
  std::lock_guard<std::mutex> lock(responses_lock_);
  responses_.push_back(std::move(response));
}

}  // namespace winhttpx
