// Response, TextResponse, DownloadResponse: what comes back for one sent
// Request. A response owns its request (the request only refers back
// weakly), so the response's owners decide how long both live.
//
// Threads: the On* hooks, progress handlers and completion handlers run on
// WinHTTP's worker threads. Read the state, status code, headers and body
// after completion, from a completion handler or a thread it handed them to.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "http/header_map.h"

namespace winhttpx {

class Request;
class Response;

enum class ResponseState : uint32_t { kBuilding = 0, kPending = 1, kFailed = 2, kCompleted = 4 };

// Called with the response once it has completed or failed.
using CompletionHandler = std::function<void(const std::shared_ptr<Response>&)>;
// Called with the bytes received so far and the announced total (-1 while
// unknown).
using ProgressHandler = std::function<void(int64_t received, int64_t total)>;
// Called with each piece of a downloaded body once the file has taken it,
// in order, before the next piece is written; with the response for its
// status and headers. A hash of the file can so be made without reading it
// back. (Should the file then fail to close, the response fails.)
using WrittenHandler =
    std::function<void(const Response& response, const char* bytes, size_t count)>;

class Response : public std::enable_shared_from_this<Response> {
 public:
  explicit Response(std::shared_ptr<Request> request);
  virtual ~Response();
  Response(const Response&) = delete;
  Response& operator=(const Response&) = delete;

  // Runs handler once the response has completed or failed: handlers run in
  // the order they were attached, on the thread that completes the response.
  // A handler attached after completion runs at once on the calling thread.
  std::shared_ptr<Response> Then(CompletionHandler handler);

  ResponseState state() const { return state_.load(); }
  // 0 until headers were read: a request that got no answer keeps 0.
  DWORD status_code() const { return status_code_; }
  // The WinHTTP or system error of a failed request, else 0.
  DWORD error_code() const { return error_code_; }
  const HeaderMap& headers() const { return headers_; }
  const std::shared_ptr<Request>& request() const { return request_; }
  // Body bytes received (before any decoding; the client asks for none).
  int64_t body_bytes() const { return body_bytes_; }

  // The received body, for responses that keep it.
  virtual std::string Body() const { return std::string(); }

 protected:
  virtual void OnHeaders() {}
  virtual void OnData(const char* /*bytes*/, size_t /*count*/) {}
  virtual void OnComplete() {}
  // Turns a completion into a failure (for example the body could not be
  // stored); only from OnComplete.
  void MarkFailed(DWORD error);

 private:
  friend class Request;

  std::atomic<ResponseState> state_{ResponseState::kBuilding};
  DWORD status_code_ = 0;
  DWORD error_code_ = 0;
  HeaderMap headers_;
  std::shared_ptr<Request> request_;
  int64_t body_bytes_ = 0;
};

// Keeps the whole body in memory.
class TextResponse : public Response {
 public:
  using Response::Response;
  std::string Body() const override { return body_; }

 protected:
  void OnData(const char* bytes, size_t count) override { body_.append(bytes, count); }

 private:
  std::string body_;
};

// Writes the body to a file and reports progress.
class DownloadResponse : public Response {
 public:
  // Opens path for writing (truncating, binary). Throws std::runtime_error
  // "Failed to open file: <path>" when it cannot. |written| may be empty.
  DownloadResponse(std::shared_ptr<Request> request, const std::wstring& path,
                   ProgressHandler progress, WrittenHandler written = nullptr);
  ~DownloadResponse() override;

  const std::wstring& path() const { return path_; }
  // From "Content-Length", -1 when the server sent none.
  int64_t content_length() const { return content_length_; }
  int64_t received() const { return received_; }

 protected:
  void OnHeaders() override;
  void OnData(const char* bytes, size_t count) override;
  void OnComplete() override;

 private:
  // Writes the gathered bytes to the file; false when that failed.
  bool FlushPending();

  std::wstring path_;
  cbase::ScopedHandle file_;
  // A write failed: the file has a hole, and nothing more goes into it.
  bool write_failed_ = false;
  // Pieces arrive 8 KiB at a time; gathering them saves a system call per
  // piece, which costs about a third of the throughput under Wine.
  std::string pending_;
  int64_t content_length_ = -1;
  int64_t received_ = 0;
  ProgressHandler progress_;
  WrittenHandler written_;
};

}  // namespace winhttpx
