#include "app/usage_events.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "app/json_value.h"
#include "app/product_config.h"
#include "app/service_request.h"
#include "app/support_log.h"
#include "base/monotonic_clock.h"
#include "base/one_shot_timer.h"
#include "base/pool_work.h"
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

// The sender: events wait in |queue| and go out one at a time, each once the
// one before has been answered (or kOrderWaitMs has passed), so they reach
// the service in the order they were reported. Each is posted from a task
// on the system's thread pool (cbase::RunOnPool), whose threads the requests
// use anyway: a thread of its own would cost about 1 MB under Wine for an
// event or two.
// Never destroyed: an event may still be on its way while the process ends.
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
  // An event is on its way and the next waits for it: the one numbered
  // |current|.
  bool sending = false;
  uint64_t current = 0;
  // Queued or sent but not yet answered.
  int pending = 0;
  // Ends the wait for an event that gets no answer, the one numbered
  // |waiting_for|, at |wait_ends| (GetTickCount64); made with the first.
  std::unique_ptr<cbase::OneShotTimer> order_wait;
  uint64_t waiting_for = 0;
  ULONGLONG wait_ends = 0;

  static Sender& Get() {
    static Sender* sender = new Sender;
    return *sender;
  }

  void Add(Item item) {
    std::unique_lock<std::mutex> hold(lock);
    queue.push_back(std::move(item));
    ++pending;
    if (!sending) SendNext(hold);
  }

  // The next queued event to the pool, with |hold| held and none on its way.
  // An event that cannot be handed over is lost, like a failed request.
  void SendNext(std::unique_lock<std::mutex>& hold) {
    sending = false;
    std::vector<Item> lost;
    while (!queue.empty()) {
      auto item = std::make_shared<Item>(std::move(queue.front()));
      queue.pop_front();
      const uint64_t number = current + 1;
      if (cbase::RunOnPool([this, item, number] { Post(std::move(*item), number); })) {
        sending = true;
        current = number;
        break;
      }
      lost.push_back(std::move(*item));
    }
    if (lost.empty()) return;
    // As for an answered event: the reporters first, then the count.
    hold.unlock();
    for (const Item& item : lost) {
      if (item.answered) item.answered();
    }
    hold.lock();
    pending -= static_cast<int>(lost.size());
    changed.notify_all();
  }

  // On a pool thread: event |number| goes out, and the next follows its
  // answer or the end of the wait.
  void Post(Item item, uint64_t number) {
    StartOrderWait(number);
    std::function<void()> reported = std::move(item.answered);
    Send(item, [this, number, reported] {
      // Before the count drops: whoever waits for the queue to empty also
      // finds the reporters told.
      if (reported) reported();
      std::unique_lock<std::mutex> hold(lock);
      --pending;
      changed.notify_all();
      if (sending && number == current) SendNext(hold);
    });
  }

  void StartOrderWait(uint64_t number) {
    std::lock_guard<std::mutex> hold(lock);
    waiting_for = number;
    wait_ends = GetTickCount64() + kOrderWaitMs;
    ArmOrderWait(kOrderWaitMs);
  }

  // With |lock| held.
  void ArmOrderWait(DWORD delay_ms) {
    // Unarmed, the answer alone moves the queue on.
    if (order_wait == nullptr) {
      try {
        order_wait = std::make_unique<cbase::OneShotTimer>([this] { OrderWaitOver(); });
      } catch (const std::bad_alloc&) {
        return;
      }
    }
    order_wait->Arm(delay_ms);
  }

  // The event on its way has had its time: the next goes without waiting
  // for its answer. A wait that ends as its event is answered may find the
  // next event's wait begun: the rest of that wait is armed again.
  void OrderWaitOver() {
    std::unique_lock<std::mutex> hold(lock);
    if (!sending || waiting_for != current) return;
    const ULONGLONG now = GetTickCount64();
    if (now >= wait_ends) {
      SendNext(hold);
    } else {
      ArmOrderWait(static_cast<DWORD>(wait_ends - now));
    }
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
