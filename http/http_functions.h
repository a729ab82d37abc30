// The application's network entry points: one URL, one session, one request,
// routed as the user's proxy settings say (ProxyResolver).
// Each returns the response at once; attach a handler with Then, which runs
// on a WinHTTP worker thread when the transfer ends. The session and the
// response stay alive until then even if the caller keeps no reference.
// Any thread. Throws what URL parsing and request building throw
// (std::invalid_argument, std::out_of_range, std::runtime_error).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "http/header_map.h"
#include "http/response.h"

namespace winhttpx {

// How long a text request (a service reply, an event) may go without a word
// from the server before it ends as failed (ERROR_WINHTTP_TIMEOUT). WinHTTP's
// own timeouts do not end an asynchronous request on every system: a server
// that accepts and then stays silent would otherwise hold it for ever.
constexpr DWORD kTextRequestIdleTimeoutMs = 30000;

std::shared_ptr<TextResponse> HttpGet(const std::wstring& url, const HeaderMap& headers = {},
                                      DWORD idle_timeout_ms = kTextRequestIdleTimeoutMs);
std::shared_ptr<TextResponse> HttpPost(const std::wstring& url, const std::string& body,
                                       const std::wstring& content_type,
                                       const HeaderMap& headers = {},
                                       DWORD idle_timeout_ms = kTextRequestIdleTimeoutMs);
// The body goes to |file|. |headers| go with the request (a Range and
// If-Range to resume, say); with |idle_timeout_ms| > 0 a transfer that hears
// nothing for that long ends as failed (ERROR_WINHTTP_TIMEOUT). |written|
// sees each piece of the body as it reaches the file.
std::shared_ptr<DownloadResponse> HttpDownload(const std::wstring& url, const std::wstring& file,
                                               ProgressHandler progress,
                                               const HeaderMap& headers = {},
                                               DWORD idle_timeout_ms = 0,
                                               WrittenHandler written = nullptr);

// How these requests find their proxy, for the support log ("direct",
// "automatic", "proxy 127.0.0.1:3128", "pac http://...").
std::wstring ProxyInUse();

}  // namespace winhttpx
