#include "http/response.h"

#include <cwchar>
#include <stdexcept>

#include "base/utf8.h"
#include "http/request.h"
#include "http/winhttp_error.h"

namespace winhttpx {
namespace {

constexpr size_t kWriteBufferSize = 1 << 20;

}  // namespace

Response::Response(std::shared_ptr<Request> request) : request_(std::move(request)) {}

Response::~Response() = default;

std::shared_ptr<Response> Response::Then(CompletionHandler handler) {
  std::shared_ptr<Response> self = shared_from_this();
  if (handler) request_->Attach(std::move(handler), self);
  return self;
}

void Response::MarkFailed(DWORD error) {
  error_code_ = error;
  state_ = ResponseState::kFailed;
}

DownloadResponse::DownloadResponse(std::shared_ptr<Request> request, const std::wstring& path,
                                   ProgressHandler progress, WrittenHandler written)
    : Response(std::move(request)),
      path_(path),
      progress_(std::move(progress)),
      written_(std::move(written)) {
  // Shared as the C runtime's files are, so a reader may look while it grows.
  file_.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_)
    throw std::runtime_error("Failed to open file: " + cbase::Utf16ToSystemCodePage(path));
}

DownloadResponse::~DownloadResponse() = default;

void DownloadResponse::OnHeaders() {
  const std::wstring* value = FindHeader(headers(), L"Content-Length");
  if (!value) return;
  wchar_t* end = nullptr;
  const long long length = std::wcstoll(value->c_str(), &end, 10);
  if (end != value->c_str() && *end == L'\0' && length >= 0) content_length_ = length;
}

bool DownloadResponse::FlushPending() {
  if (!pending_.empty() && !write_failed_) {
    DWORD written = 0;
    write_failed_ = !file_ ||
                    !::WriteFile(file_.get(), pending_.data(), static_cast<DWORD>(pending_.size()),
                                 &written, nullptr) ||
                    written != pending_.size();
    // Only what reached the file: a hash of it must not count a lost piece.
    if (!write_failed_ && written_) written_(*this, pending_.data(), pending_.size());
  }
  pending_.clear();
  return !write_failed_;
}

void DownloadResponse::OnData(const char* bytes, size_t count) {
  received_ += static_cast<int64_t>(count);
  if (pending_.capacity() < kWriteBufferSize) pending_.reserve(kWriteBufferSize);
  pending_.append(bytes, count);
  // A package with a hole in it must not pass for a downloaded one.
  if (pending_.size() >= kWriteBufferSize && !FlushPending()) {
    throw TransferError("WriteFile", ERROR_WRITE_FAULT);
  }
  if (progress_) progress_(received_, content_length_);
}

void DownloadResponse::OnComplete() {
  if (file_) {
    const bool flushed = FlushPending();
    const bool closed = ::CloseHandle(file_.release()) != FALSE;
    if ((!flushed || !closed) && state() == ResponseState::kCompleted) {
      MarkFailed(ERROR_WRITE_FAULT);
    }
  }
  if (progress_) progress_(received_, content_length_);
}

}  // namespace winhttpx
