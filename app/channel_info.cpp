#include "app/channel_info.h"

#include <utility>

#include "app/assistant_texts.h"
#include "app/json_value.h"
#include "base/utf8.h"

ChannelReplyOutcome ApplyChannelReply(const ServiceReply& reply, ChannelInfo& info,
                                      std::wstring* message) {
  if (!reply.succeeded()) {
    if (message) {
      *message = kChannelRequestFailedText + std::to_wstring(reply.status) + L"\n" +
                 cbase::Utf8ToUtf16(reply.body);
    }
    return ChannelReplyOutcome::kHttpFailure;
  }
  const Json body = ParseJson(reply.body);
  if (body.is_null()) {
    if (message) *message = kJsonParseFailedText;
    return ChannelReplyOutcome::kNotJson;
  }
  const Json& service = JsonMember(body, "custom_service");
  if (service.is_string()) info.custom_service = service.get<std::string>();
  const Json& qq = JsonMember(body, "custom_service_qq");
  if (qq.is_string()) info.custom_service_qq = qq.get<std::string>();
  const Json& product = JsonMember(body, "product");
  if (product.is_object() && JsonMember(product, "display_name").is_string()) {
    info.help_url = JsonString(product, "help_url");
  }
  return ChannelReplyOutcome::kHandled;
}

std::wstring ChannelInfoAddress(const std::wstring& service_url, const std::wstring& product,
                                const std::wstring& channel) {
  return ServiceAddress(service_url, L"/api/channel",
                        {{L"channel", channel}, {L"product", product}});
}

void RequestChannelInfo(const std::wstring& address, const PostToUIFunction& post,
                        std::function<void(const ServiceReply& reply)> handler) {
  FetchOnUI(address, post, std::move(handler));
}
