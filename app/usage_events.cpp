#include "app/usage_events.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/json_value.h"
#include "app/product_config.h"
#include "app/service_request.h"
#include "app/support_log.h"
#include "base/monotonic_clock.h"
#include "base/utf8.h"
#include "http/http_functions.h"

const char kStatisticsWebsite[] = "5e1d7c3a-2b94-4f60-8a1e-73c9d04b6f28";

StatisticsTarget StatisticsTarget::FromProductConfig() {
  const ProductConfig& config = ProductConfig::Instance();
  StatisticsTarget target;
  target.url = StatisticsSendAddress(config.stats_url(), config.product(), config.channel());
  target.hostname = cbase::Utf16ToUtf8(config.stats_hostname());
  target.outcome_events = config.outcome_events();
  return target;
}

std::wstring StatisticsSendAddress(const std::wstring& stats_url, const std::wstring& product,
                                   const std::wstring& channel) {
  return ServiceAddress(stats_url, L"/api/send", {{L"product", product}, {L"channel", channel}});
}

bool IsFunnelEvent(const std::string& name) {
  return name == "startup" || name == "installer_launch";
}

std::string StatisticsEventBody(const std::string& name, const std::string& hostname,
                                const Json& data) {
  Json payload = Json::object();
  payload["data"] = data;
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

Json EventSeconds(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return 0;
  return std::round(seconds * 1000) / 1000;
}

namespace {

// The sender: events wait in |queue| and a thread sends them one at a time,
// each after the one before has been answered (or kOrderWaitMs has passed),
// so they reach the service in the order they were reported. The thread is
// made when an event arrives and none is running, and ends when the queue is
// empty. Never destroyed: a sender thread may still run while the process
// ends.
struct Sender {
  struct Item {
    StatisticsTarget target;
    std::string name;
    Json data;
    std::function<void()> answered;  // the reporter's, may be empty
  };

  // How long an event that gets no answer holds up the next one.
  static constexpr DWORD kOrderWaitMs = 5000;

  std::mutex lock;
  std::condition_variable changed;
  std::deque<Item> queue;
  bool running = false;
  // Queued or sent but not yet answered.
  int pending = 0;

  static Sender& Get() {
    static Sender* sender = new Sender;
    return *sender;
  }

  void Add(Item item) {
    std::unique_lock<std::mutex> hold(lock);
    queue.push_back(std::move(item));
    ++pending;
    if (running) return;
    running = true;
    try {
      std::thread([this] { Run(); }).detach();
    } catch (const std::exception&) {
      // No thread could be made: the queued events are lost, like failed
      // requests.
      std::deque<Item> lost;
      lost.swap(queue);
      pending -= static_cast<int>(lost.size());
      running = false;
      changed.notify_all();
      hold.unlock();
      for (const Item& item : lost) {
        if (item.answered) item.answered();
      }
    }
  }

  void Run() {
    std::unique_lock<std::mutex> hold(lock);
    while (!queue.empty()) {
      Item item = std::move(queue.front());
      queue.pop_front();
      hold.unlock();
      // Shared with the completion, which may come after this thread has
      // moved on.
      auto answered = std::make_shared<bool>(false);
      std::function<void()> reported = std::move(item.answered);
      Send(item, [this, answered, reported] {
        // Before the count drops: whoever waits for the queue to empty also
        // finds the reporters told.
        if (reported) reported();
        std::lock_guard<std::mutex> done(lock);
        *answered = true;
        --pending;
        changed.notify_all();
      });
      hold.lock();
      changed.wait_for(hold, std::chrono::milliseconds(kOrderWaitMs), [&] { return *answered; });
    }
    running = false;
  }

  // Posts the event and calls |answered| once, when its request has ended
  // one way or another.
  static void Send(const Item& item, const std::function<void()>& answered) {
    const int64_t started = cbase::MonotonicNow();
    try {
      winhttpx::HttpPost(item.target.url,
                         StatisticsEventBody(item.name, item.target.hostname, item.data),
                         L"application/json")
          ->Then([answered, item, started](const std::shared_ptr<winhttpx::Response>& done) {
            SupportLog::Instance().Write("request",
                                         {{"method", "POST"},
                                          {"url", SupportLog::HostAndPath(item.target.url)},
                                          {"event", item.name},
                                          {"status", done->status_code()},
                                          {"error", done->error_code()},
                                          {"ms", (cbase::MonotonicNow() - started) / 1000}});
            answered();
          });
    } catch (...) {
      // Events are best effort: a deployment without a statistics host, or
      // one that cannot be reached, must not disturb the assistant.
      answered();
    }
  }

  bool WaitUntilIdle(DWORD timeout_ms) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                            [this] { return pending == 0; });
  }
};

}  // namespace

void SendStatisticsEvent(const std::string& name, const StatisticsTarget& target,
                         const Json& data) {
  Sender::Send({target, name, data, nullptr}, [] {});
}

void ReportEvent(const std::string& name, const Json& data) {
  ReportEvent(StatisticsTarget::FromProductConfig(), name, data);
}

void ReportEvent(const StatisticsTarget& target, const std::string& name, const Json& data,
                 std::function<void()> answered) {
  if (!target.outcome_events && !IsFunnelEvent(name)) {
    if (answered) answered();
    return;
  }
  Sender::Get().Add({target, name, data, std::move(answered)});
}

bool WaitForPendingEvents(DWORD timeout_ms) { return Sender::Get().WaitUntilIdle(timeout_ms); }
