#include "app/service_request.h"

#include <exception>
#include <memory>
#include <utility>

#include "http/http_functions.h"
#include "http/url_helpers.h"

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
    post([shared_handler] { (*shared_handler)(ServiceReply()); });
    return;
  }
  response->Then([post, shared_handler](const std::shared_ptr<winhttpx::Response>& done) {
    ServiceReply reply;
    if (done->state() == winhttpx::ResponseState::kCompleted) reply.status = done->status_code();
    reply.body = done->Body();
    post([shared_handler, reply] { (*shared_handler)(reply); });
  });
}
