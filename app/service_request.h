// GET requests to the operator's service whose reply is handled on the UI
// thread: the channel details, the installation details and the attribution
// id all take this road. Also the addresses of the service's endpoints.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "app/post_to_ui.h"

// What came back. |status| is 0 when no complete answer arrived (the
// request could not be sent, the connection failed or the body was cut off).
struct ServiceReply {
  DWORD status = 0;
  std::string body;

  bool succeeded() const { return status >= 200 && status <= 299; }
};

// |base| (a deployment setting such as "http://127.0.0.1:8080", a trailing
// "/" tolerated) + |path| + the query built from |query| (keys in order,
// values percent-encoded).
std::wstring ServiceAddress(const std::wstring& base, const std::wstring& path,
                            const std::map<std::wstring, std::wstring>& query = {});

// Sends GET |url| and posts |handler| with the reply through |post|. Returns
// at once, from any thread. A request that cannot even be started (a bad
// address, an unsupported scheme) is answered the same way, with status 0.
void FetchOnUI(const std::wstring& url, const PostToUIFunction& post,
               std::function<void(const ServiceReply& reply)> handler);
