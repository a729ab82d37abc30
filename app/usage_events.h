// Usage events reported to the statistics host: the installation funnel
// ("startup", "installer_launch") and the outcome events that tell how a run
// went (download, unpacking, launch failures, error boxes, closing), each
// with its facts in the payload's "data". Fire and forget: nothing waits for
// or reads the answer, and every failure is swallowed. The events of a
// process go out one after another, from the system's thread pool, so the
// service stores them in the order they happened; at exit the entry waits a
// bounded time for those still on their way.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/json_value.h"

// <windows.h> maps ReportEvent to the event log's ReportEventW; in this
// program the name is ours (the event log's function stays reachable as
// ReportEventW).
#ifdef ReportEvent
#undef ReportEvent
#endif

// The statistics site's identifier of this assistant.
extern const char kStatisticsWebsite[];

// Where events go: the full address of "/api/send", carrying the product and
// channel as query parameters (the payload of the funnel events has no room
// for them), the host name under which the statistics site knows the
// assistant, and whether the operator wants the outcome events.
struct StatisticsTarget {
  std::wstring url;
  std::string hostname;
  bool outcome_events = true;

  // From the deployment settings and product of ProductConfig. UI thread.
  static StatisticsTarget FromProductConfig();
};

// "/api/send" under |stats_url| with "product" and "channel" percent-encoded
// in the query.
std::wstring StatisticsSendAddress(const std::wstring& stats_url, const std::wstring& product,
                                   const std::wstring& channel);

// Whether |name| is one of the funnel events, which every deployment reports;
// the rest are outcome events, which "outcome_events": false switches off.
bool IsFunnelEvent(const std::string& name);

// {"payload": {"data": <data>, "hostname": ..., "name": ..., "website": ...},
//  "type": "event"} on one line, written like every JSON text of the
// assistant (DumpJson).
std::string StatisticsEventBody(const std::string& name, const std::string& hostname,
                                const Json& data = Json::object());

// A duration in seconds as an event reports it: rounded to milliseconds.
Json EventSeconds(double seconds);

// Posts one event now, from the calling thread. Never throws; returns once
// the request is on its way.
void SendStatisticsEvent(const std::string& name, const StatisticsTarget& target,
                         const Json& data = Json::object());

// Queues the event and returns at once (an outcome event the target does not
// want is dropped). The first form reads the target from ProductConfig and
// so belongs to the UI thread; the second may be called from any thread.
// |answered| (may be empty) is called once, on any thread, when the event's
// request has ended one way or another, or at once for a dropped event.
void ReportEvent(const std::string& name, const Json& data = Json::object());
void ReportEvent(const StatisticsTarget& target, const std::string& name,
                 const Json& data = Json::object(), std::function<void()> answered = nullptr);

// Waits until every queued event has been answered (or has failed), at most
// |timeout_ms|; true when none is left. For the process's end, which would
// otherwise cut off the events still on their way (the last one being
// "closed"). Any thread.
bool WaitForPendingEvents(DWORD timeout_ms);
