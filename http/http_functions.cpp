#include "http/http_functions.h"

#include "http/http_client.h"
#include "http/http_session.h"
#include "http/url_helpers.h"

namespace winhttpx {
namespace {

struct Connection {
  std::shared_ptr<HttpSession> session;
  std::shared_ptr<HttpClient> client;
  std::wstring path;
};

Connection Connect(const std::wstring& url) {
  Connection c;
  const std::wstring base = UrlBase(url);
  c.path = UrlPath(url);
  c.session = std::make_shared<HttpSession>();
  const UrlAuthority authority = ParseUrlAuthority(base);
  c.client =
      std::make_shared<HttpClient>(*c.session, authority.host, authority.port, authority.tls);
  return c;
}

// Keeps the session and the response alive until the transfer has ended.
template <typename ResponseType>
std::shared_ptr<ResponseType> Hold(std::shared_ptr<HttpSession> session,
                                   std::shared_ptr<ResponseType> response) {
  std::shared_ptr<Response> held = response;
  response->Then([session, held](const std::shared_ptr<Response>&) {});
  return response;
}

}  // namespace

std::shared_ptr<TextResponse> HttpGet(const std::wstring& url, const HeaderMap& headers,
                                      DWORD idle_timeout_ms) {
  Connection c = Connect(url);
  c.client->SetIdleTimeout(idle_timeout_ms);
  auto response = c.client->Get(c.path, headers);
  return Hold(std::move(c.session), std::move(response));
}

std::shared_ptr<TextResponse> HttpPost(const std::wstring& url, const std::string& body,
                                       const std::wstring& content_type, const HeaderMap& headers,
                                       DWORD idle_timeout_ms) {
  Connection c = Connect(url);
  c.client->SetIdleTimeout(idle_timeout_ms);
  auto response = c.client->Post(c.path, body, content_type, headers);
  return Hold(std::move(c.session), std::move(response));
}

std::shared_ptr<DownloadResponse> HttpDownload(const std::wstring& url, const std::wstring& file,
                                               ProgressHandler progress, const HeaderMap& headers,
                                               DWORD idle_timeout_ms) {
  Connection c = Connect(url);
  c.client->SetIdleTimeout(idle_timeout_ms);
  auto response = c.client->Download(c.path, file, std::move(progress), headers);
  return Hold(std::move(c.session), std::move(response));
}

}  // namespace winhttpx
