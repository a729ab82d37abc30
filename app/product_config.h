// ProductConfig: which product this copy of the assistant installs.
//
// Read once at start-up from resources/config.json, inside the embedded
// resource archive when it is open, else beside the executable. The file is
// a JSON object whose "product", "channel", "name" and "intro" strings fill
// the fields; a key that is missing or not a string (or not valid UTF-8)
// leaves its field as it was. One process-wide instance (Instance()), created
// empty on first use; UI thread only.
//
// The deployment settings travel in the same file, so that a rebranded copy
// can also point at another operator: "service_url" and "stats_url" (base
// addresses without a trailing "/"; the fixed paths such as "/api/channel"
// are appended) and "stats_hostname" (the name under which the statistics
// site knows this assistant). Absent keys keep the defaults the build was
// configured with. "outcome_events" (true or false, absent is true) says
// whether the outcome events beyond the funnel are reported.
#pragma once

#include <string>

#include "base/thread_checker.h"

class ProductConfig {
 public:
  static ProductConfig& Instance();

  // Stores |directory| (the executable's folder, ending in a separator) and
  // reads the file. False when the text is empty or is not JSON; true
  // otherwise, also when keys are missing.
  bool Load(const std::wstring& directory);

  const std::wstring& directory() const { return directory_; }
  const std::wstring& product() const { return product_; }
  const std::wstring& channel() const { return channel_; }
  const std::wstring& name() const { return name_; }
  const std::wstring& intro() const { return intro_; }

  const std::wstring& service_url() const { return service_url_; }
  const std::wstring& stats_url() const { return stats_url_; }
  const std::wstring& stats_hostname() const { return stats_hostname_; }
  bool outcome_events() const { return outcome_events_; }

  // The build's defaults of the three deployment settings.
  static const wchar_t kDefaultServiceUrl[];
  static const wchar_t kDefaultStatsUrl[];
  static const wchar_t kDefaultStatsHostname[];

 private:
  std::string ReadText() const;

  std::wstring directory_;
  std::wstring product_;
  std::wstring channel_;
  std::wstring name_;
  std::wstring intro_;
  std::wstring service_url_ = kDefaultServiceUrl;
  std::wstring stats_url_ = kDefaultStatsUrl;
  std::wstring stats_hostname_ = kDefaultStatsHostname;
  bool outcome_events_ = true;
  // Bound by the first Instance() call; checked on every one.
  cbase::ThreadChecker thread_checker_;
};
