// Usage events: the installation funnel ("startup", "installer_launch")
// reported to the statistics host. Fire and forget: each event is sent from
// a short-lived thread of its own, nothing waits for or reads the answer, and
// every failure is swallowed.
#pragma once

#include <windows.h>

#include <string>

// <windows.h> maps ReportEvent to the event log's ReportEventW; in this
// program the name is ours (the event log's function stays reachable as
// ReportEventW).
#ifdef ReportEvent
#undef ReportEvent
#endif

// The statistics site's identifier of this assistant.
extern const char kStatisticsWebsite[];

// Where events go: the full address of "/api/send" and the host name under
// which the statistics site knows the assistant.
struct StatisticsTarget {
  std::wstring url;
  std::string hostname;

  // From the deployment settings of ProductConfig. UI thread.
  static StatisticsTarget FromProductConfig();
};

// {"payload": {"data": {}, "hostname": ..., "name": ..., "website": ...},
//  "type": "event"} on one line, written like every JSON text of the
// assistant (DumpJson).
std::string StatisticsEventBody(const std::string& name, const std::string& hostname);

// Posts one event (the body of the event thread). Never throws; returns once
// the request is on its way.
void SendStatisticsEvent(const std::string& name, const StatisticsTarget& target);

// Returns at once; the event is sent from a new detached thread. The first
// form reads the target from ProductConfig and so belongs to the UI thread;
// the second may be called from any thread.
void ReportEvent(const std::string& name);
void ReportEvent(const std::string& name, const StatisticsTarget& target);
