#include "app/install_starter.h"

#include <utility>

#include "app/assistant_texts.h"
#include "app/product_config.h"
#include "base/utf8.h"

InstallStarter::InstallStarter(std::wstring channel_address, std::wstring details_address,
                               PostToUIFunction post, Hooks hooks)
    : channel_address_(std::move(channel_address)),
      details_address_(std::move(details_address)),
      post_(std::move(post)),
      hooks_(std::move(hooks)) {}

std::wstring InstallStarter::ChannelAddressFromProductConfig() {
  const ProductConfig& config = ProductConfig::Instance();
  return ChannelInfoAddress(config.service_url(), config.product(), config.channel());
}

std::wstring InstallStarter::DetailsAddressFromProductConfig() {
  const ProductConfig& config = ProductConfig::Instance();
  return InstallationDetailsAddress(config.service_url(), config.product(), config.channel());
}

void InstallStarter::RequestChannelInfo() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (channel_request_pending_ || channel_info_ready_) return;
  channel_request_pending_ = true;
  channel_requested_ = true;
  // The reply runs through the window's poster: |this| lives as long as the
  // window, and a reply to a closed window is dropped.
  ::RequestChannelInfo(channel_address_, post_,
                       [this](const ServiceReply& reply) { OnChannelReply(reply); });
}

void InstallStarter::RequestChannelInfoAtStart(std::function<void()> answered) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (channel_requested_ && !channel_request_pending_) {
    if (answered) answered();
    return;
  }
  channel_answered_ = std::move(answered);
  RequestChannelInfo();
}

void InstallStarter::OnProceed() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (channel_info_ready_) {
    FetchInstallationDetails();
    return;
  }
  if (start_waiting_) return;
  start_waiting_ = true;
  if (hooks_.set_proceed_button) hooks_.set_proceed_button(false, kProceedWaitingText);
  // After a failed request nothing is under way any more: ask again.
  RequestChannelInfo();
}

void InstallStarter::OnChannelReply(const ServiceReply& reply) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  channel_request_pending_ = false;
  if (channel_answered_) std::exchange(channel_answered_, nullptr)();
  std::wstring message;
  const ChannelReplyOutcome outcome = ApplyChannelReply(reply, channel_info_, &message);
  if (outcome != ChannelReplyOutcome::kHandled) {
    if (hooks_.show_error) hooks_.show_error(message);
    StopWaiting();
    return;
  }
  channel_info_ready_ = true;
  if (start_waiting_) {
    StopWaiting();
    FetchInstallationDetails();
  }
}

void InstallStarter::StopWaiting() {
  if (!start_waiting_) return;
  start_waiting_ = false;
  if (hooks_.set_proceed_button) hooks_.set_proceed_button(true, kProceedText);
}

void InstallStarter::FetchInstallationDetails() {
  if (details_request_pending_) return;
  details_request_pending_ = true;
  // The details take a round trip; the button must not start a second one.
  if (hooks_.set_proceed_button) hooks_.set_proceed_button(false, kProceedWaitingText);
  FetchOnUI(details_address_, post_, [this](const ServiceReply& reply) { OnDetailsReply(reply); });
}

void InstallStarter::OnDetailsReply(const ServiceReply& reply) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  details_request_pending_ = false;
  if (hooks_.set_proceed_button) hooks_.set_proceed_button(true, kProceedText);
  const Json body = reply.succeeded() ? ParseJson(reply.body) : Json();
  InstallationDetails details = InstallationDetails::FromJson(body);
  if (!body.is_object() || details.download_url.empty()) {
    if (hooks_.show_error) hooks_.show_error(kInstallationDetailsFailedText);
    return;
  }
  // The channel's help address is the tutorial until the package names one.
  if (!details.has_tutorial_url && !channel_info_.help_url.empty()) {
    details.tutorial_url = cbase::Utf8ToUtf16(channel_info_.help_url);
    details.has_tutorial_url = true;
  }
  if (hooks_.start_installation) hooks_.start_installation(details);
}
