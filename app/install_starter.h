// InstallStarter: the welcome page's side of one run. It holds the channel
// details (ChannelInfo, ChannelInfoReady) and turns a click on "ok1" into a
// start of the installation: at once when the channel reply is in, else the
// button waits ("加载中...", StartWaiting) and the start follows the reply.
// Starting means fetching the installation details from the service and
// handing them to the pipeline.
//
// A failed channel request or a reply that is not JSON shows its message and
// gives the button back; the next click asks the service again.
//
// Owned by the main window, which supplies the hooks; replies come back
// through the window's poster, so they never run after the window is gone.
// UI thread only.
#pragma once

#include <functional>
#include <string>

#include "app/channel_info.h"
#include "app/installation_details.h"
#include "app/post_to_ui.h"
#include "base/thread_checker.h"

class InstallStarter {
 public:
  struct Hooks {
    // Enables or disables "ok1" and sets its text.
    std::function<void(bool enabled, const std::wstring& text)> set_proceed_button;
    // An error box owned by the window (caption "错误", stop icon); returns
    // when it was closed.
    std::function<void(const std::wstring& text)> show_error;
    // Starts the pipeline (InstallationPipeline::StartInstallation).
    std::function<void(const InstallationDetails& details)> start_installation;
  };

  // |channel_address| and |details_address|: ChannelInfoAddress and
  // InstallationDetailsAddress for this product and channel.
  InstallStarter(std::wstring channel_address, std::wstring details_address, PostToUIFunction post,
                 Hooks hooks);

  // The service addresses of ProductConfig's product, channel and service.
  static std::wstring ChannelAddressFromProductConfig();
  static std::wstring DetailsAddressFromProductConfig();

  // Asks for the channel details (again only after a failure), unless a
  // request is under way.
  void RequestChannelInfo();
  // The start's request: asks unless a click has asked already. |answered|
  // is called once the first reply has come, whatever it said, before any
  // error is shown; at once when a reply is in already.
  void RequestChannelInfoAtStart(std::function<void()> answered);
  // Click on "ok1".
  void OnProceed();

  const ChannelInfo& channel_info() const { return channel_info_; }
  bool channel_info_ready() const { return channel_info_ready_; }
  bool start_waiting() const { return start_waiting_; }

 private:
  void OnChannelReply(const ServiceReply& reply);
  void FetchInstallationDetails();
  void OnDetailsReply(const ServiceReply& reply);
  void StopWaiting();

  const std::wstring channel_address_;
  const std::wstring details_address_;
  const PostToUIFunction post_;
  const Hooks hooks_;

  ChannelInfo channel_info_;
  bool channel_info_ready_ = false;
  bool start_waiting_ = false;
  bool channel_request_pending_ = false;
  bool channel_requested_ = false;
  bool details_request_pending_ = false;
  std::function<void()> channel_answered_;
  cbase::ThreadChecker thread_checker_;
};
