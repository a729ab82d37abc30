// ChannelInfo: what the service says about this product on this
// distribution channel (customer-service contact and help address), and the
// rules by which its reply is read.
#pragma once

#include <string>

#include "app/post_to_ui.h"
#include "app/service_request.h"

// All UTF-8; empty until a reply fills them.
struct ChannelInfo {
  std::string custom_service;     // text of the customer-service QR code
  std::string custom_service_qq;  // QQ number
  std::string help_url;           // first tutorial address
};

enum class ChannelReplyOutcome {
  kHandled,      // the fields were read
  kHttpFailure,  // status outside 200-299 (0: no answer)
  kNotJson,      // the body does not parse
};

// Reads |reply| into |info|. "custom_service" and "custom_service_qq" are
// taken when they are strings; "product" only when it is an object whose
// "display_name" is a string, and then its "help_url" ("" when absent or not
// a string). Members that are absent or of another type leave their field
// alone. For the two failures |message| (optional) receives the text to show:
// "请求失败，HTTP 状态码：" + status + "\n" + body, or "JSON 解析失败！".
ChannelReplyOutcome ApplyChannelReply(const ServiceReply& reply, ChannelInfo& info,
                                      std::wstring* message);

// The channel request: GET "/api/channel?channel=<channel>&product=<product>"
// on the service at |service_url|.
std::wstring ChannelInfoAddress(const std::wstring& service_url, const std::wstring& product,
                                const std::wstring& channel);

// Sends the channel request and hands the reply to |handler| on the UI thread
// through |post|. Returns at once; any thread.
void RequestChannelInfo(const std::wstring& address, const PostToUIFunction& post,
                        std::function<void(const ServiceReply& reply)> handler);
