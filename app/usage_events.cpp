#include "app/usage_events.h"

#include <exception>
#include <thread>

#include "app/json_value.h"
#include "app/product_config.h"
#include "app/service_request.h"
#include "http/http_functions.h"
#include "http/text_helpers.h"

const char kStatisticsWebsite[] = "5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28";

StatisticsTarget StatisticsTarget::FromProductConfig() {
  const ProductConfig& config = ProductConfig::Instance();
  StatisticsTarget target;
  target.url = ServiceAddress(config.stats_url(), L"/api/send");
  target.hostname = winhttpx::Utf16ToUtf8(config.stats_hostname());
  return target;
}

std::string StatisticsEventBody(const std::string& name, const std::string& hostname) {
  Json payload = Json::object();
  payload["data"] = Json::object();
  payload["hostname"] = hostname;
  payload["name"] = name;
  payload["website"] = kStatisticsWebsite;
  Json body = Json::object();
  body["payload"] = payload;
  body["type"] = "event";
  // The same one-line writer as the configuration files: members in key
  // order, ", " and ": " as separators.
  return DumpJson(body);
}

void SendStatisticsEvent(const std::string& name, const StatisticsTarget& target) {
  try {
    winhttpx::HttpPost(target.url, StatisticsEventBody(name, target.hostname), L"application/json")
        ->Then([](const std::shared_ptr<winhttpx::Response>&) {});
  } catch (...) {
    // Events are best effort: a deployment without a statistics host, or
    // one that cannot be reached, must not disturb the assistant.
  }
}

void ReportEvent(const std::string& name) {
  ReportEvent(name, StatisticsTarget::FromProductConfig());
}

void ReportEvent(const std::string& name, const StatisticsTarget& target) {
  try {
    std::thread([name, target] { SendStatisticsEvent(name, target); }).detach();
  } catch (const std::exception&) {
    // No thread could be made: the event is lost, like a failed request.
  }
}
