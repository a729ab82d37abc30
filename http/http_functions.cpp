#include "http/http_functions.h"

#include "http/http_client.h"
#include "http/http_session.h"
#include "http/proxy_resolver.h"
#include "http/request.h"
#include "http/url_helpers.h"

namespace winhttpx {
namespace {

// The session and connection one URL's request goes out on.
struct Route {
  std::shared_ptr<HttpSession> session;
  std::shared_ptr<HttpClient> client;
};

std::shared_ptr<Route> OpenRoute(const UrlAuthority& authority, bool automatic,
                                 const ProxyChoice& choice) {
  auto route = std::make_shared<Route>();
  route->session = automatic ? std::make_shared<HttpSession>(HttpSession::AutomaticProxy())
                             : std::make_shared<HttpSession>(choice);
  route->client =
      std::make_shared<HttpClient>(*route->session, authority.host, authority.port, authority.tls);
  return route;
}

void UseChoice(const ProxyChoice& choice, Request::Options* options) {
  options->set_proxy = true;
  options->proxy = choice;
  options->proxy_logon = choice.named;
  // On Windows the request's session closes its connections with it, so a
  // kept one is never used again. Wine keeps them half a minute in a cache
  // all sessions share, with a pool thread (about 1 MB there) watching it.
  // Going direct, the connection ends with the response.
  options->keep_alive = choice.named;
}

// A request for |url| on its own session, routed as the system's proxy
// settings say. When that takes a proxy script or a search that has not run
// for the URL's host yet, the request is opened on a thread-pool thread once
// sent; |route| is then left empty.
std::shared_ptr<Request> NewRequest(const std::wstring& verb, const std::wstring& url,
                                    DWORD idle_timeout_ms, std::shared_ptr<Route>* route) {
  const UrlAuthority authority = ParseUrlAuthority(UrlBase(url));
  Request::Options options;
  options.tls = authority.tls;
  options.idle_timeout_ms = idle_timeout_ms;
  ProxyResolver& resolver = ProxyResolver::ForProcess();
  ProxyChoice choice;
  if (resolver.automatic()) {
    options.proxy_logon = true;
    *route = OpenRoute(authority, true, choice);
    return Request::Create((*route)->client->handle(), verb, UrlPath(url), options);
  }
  if (resolver.Lookup(url, &choice)) {
    UseChoice(choice, &options);
    *route = OpenRoute(authority, false, choice);
    return Request::Create((*route)->client->handle(), verb, UrlPath(url), options);
  }
  auto opener = [&resolver, authority, url](Request::Options& opened,
                                            std::shared_ptr<void>& keep_alive) {
    const ProxyChoice resolved = resolver.Resolve(url);
    UseChoice(resolved, &opened);
    std::shared_ptr<Route> made = OpenRoute(authority, false, resolved);
    keep_alive = made;
    return made->client->handle();
  };
  return Request::CreateDeferred(std::move(opener), verb, UrlPath(url), options);
}

// Keeps the route and the response alive until the transfer has ended.
template <typename ResponseType>
std::shared_ptr<ResponseType> Hold(std::shared_ptr<Route> route,
                                   std::shared_ptr<ResponseType> response) {
  std::shared_ptr<Response> held = response;
  response->Then([route, held](const std::shared_ptr<Response>&) {});
  return response;
}

}  // namespace

std::shared_ptr<TextResponse> HttpGet(const std::wstring& url, const HeaderMap& headers,
                                      DWORD idle_timeout_ms) {
  std::shared_ptr<Route> route;
  auto request = NewRequest(L"GET", url, idle_timeout_ms, &route);
  request->AddHeaders(headers);
  return Hold(std::move(route), request->Send());
}

std::shared_ptr<TextResponse> HttpPost(const std::wstring& url, const std::string& body,
                                       const std::wstring& content_type, const HeaderMap& headers,
                                       DWORD idle_timeout_ms) {
  std::shared_ptr<Route> route;
  auto request = NewRequest(L"POST", url, idle_timeout_ms, &route);
  request->AddHeaders(headers);
  request->SetContentType(content_type);
  request->SetBody(body);
  return Hold(std::move(route), request->Send());
}

std::shared_ptr<DownloadResponse> HttpDownload(const std::wstring& url, const std::wstring& file,
                                               ProgressHandler progress, const HeaderMap& headers,
                                               DWORD idle_timeout_ms, WrittenHandler written) {
  std::shared_ptr<Route> route;
  auto request = NewRequest(L"GET", url, idle_timeout_ms, &route);
  request->AddHeaders(headers);
  return Hold(std::move(route), request->SendToFile(file, std::move(progress), std::move(written)));
}

std::wstring ProxyInUse() { return ProxyResolver::ForProcess().Describe(); }

}  // namespace winhttpx
