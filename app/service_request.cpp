#include "app/service_request.h"

#include <exception>
#include <memory>
#include <utility>

#include "app/support_log.h"
#include "base/monotonic_clock.h"
#include "http/http_functions.h"
#include "http/url_helpers.h"

namespace {

void LogRequest(const std::wstring& url, DWORD status, DWORD error, size_t bytes,
                int64_t elapsed_us) {
  SupportLog::Instance().Write("request", {{"method", "GET"},
                                           {"url", SupportLog::HostAndPath(url)},
                                           {"status", status},
                                           {"error", error},
                                           {"bytes", bytes},
                                           {"ms", elapsed_us / 1000}});
}

}  // namespace

std::wstring ServiceAddress(const std::wstring& base, const std::wstring& path,
                            const std::map<std::wstring, std::wstring>& query) {
  std::wstring address = base;
  while (!address.empty() && address.back() == L'/') address.pop_back();
  return address + path + winhttpx::BuildQuery(query);
}

void FetchOnUI(const std::wstring& url, const PostToUIFunction& post,
               std::function<void(const ServiceReply& reply)> handler) {
  auto shared_handler =
      std::make_shared<std::function<void(const ServiceReply&)>>(std::move(handler));
  std::shared_ptr<winhttpx::TextResponse> response;
  try {
    response = winhttpx::HttpGet(url);
  } catch (const std::exception&) {
    LogRequest(url, 0, 0, 0, 0);
    post([shared_handler] { (*shared_handler)(ServiceReply()); });
    return;
  }
  const int64_t started = cbase::MonotonicNow();
  auto log = [url, started](DWORD status, DWORD error, size_t bytes) {
    LogRequest(url, status, error, bytes, cbase::MonotonicNow() - started);
  };
  response->Then([post, shared_handler, log](const std::shared_ptr<winhttpx::Response>& done) {
    ServiceReply reply;
    if (done->state() == winhttpx::ResponseState::kCompleted) reply.status = done->status_code();
    reply.body = done->Body();
    log(reply.status, done->error_code(), reply.body.size());
    post([shared_handler, reply] { (*shared_handler)(reply); });
  });
}
