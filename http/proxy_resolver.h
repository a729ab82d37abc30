// ProxyResolver: which proxy, if any, a request to a URL goes through, as the
// system's settings say. One per process (ForProcess), read once; any
// thread. Lookup answers without waiting; Resolve may download and run a
// proxy script or search the network for one, so it belongs on a worker
// thread, never on a UI thread.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <map>
#include <mutex>
#include <string>

namespace winhttpx {

// The route of one request: straight to the server, or through |proxy|
// (WinHTTP's proxy list form, "host:port" or "http=a:1;https=b:2") except
// for the hosts |bypass| names.
struct ProxyChoice {
  bool named = false;
  std::wstring proxy;
  std::wstring bypass;
};

class ProxyResolver {
 public:
  struct Settings {
    // WinHTTP follows the system's settings itself
    // (WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY); the rest is then unused.
    bool automatic = false;
    bool auto_detect = false;
    std::wstring pac_url;
    std::wstring proxy;
    std::wstring bypass;
  };

  static ProxyResolver& ForProcess();
  // The current user's settings: WinHTTP's automatic proxy where the system
  // has it, else the Internet settings.
  static Settings ReadSystemSettings();

  explicit ProxyResolver(Settings settings);
  ~ProxyResolver();
  ProxyResolver(const ProxyResolver&) = delete;
  ProxyResolver& operator=(const ProxyResolver&) = delete;

  const Settings& settings() const { return settings_; }
  bool automatic() const { return settings_.automatic; }

  // The choice for |url| when it is known without a script or a search (no
  // such setting, or an answer cached for the URL's host); false otherwise.
  bool Lookup(const std::wstring& url, ProxyChoice* choice);
  // The choice for |url|, running the proxy script or the search when
  // needed; cached per scheme, host and port. May take seconds. One script
  // or search runs at a time: callers that arrive meanwhile wait for it and
  // take its answer when it was for their host.
  ProxyChoice Resolve(const std::wstring& url);

  // For the support log: "direct", "automatic", "proxy <list>",
  // "pac <address>", "auto-detect" (with the fixed proxy or script that
  // backs it up).
  std::wstring Describe() const;

 private:
  bool NeedsScript() const { return settings_.auto_detect || !settings_.pac_url.empty(); }
  ProxyChoice Fixed() const;
  bool RunScript(const std::wstring& url, DWORD flags, ProxyChoice* choice);

  const Settings settings_;
  std::mutex search_lock_;  // held while a script runs or the network is searched
  std::mutex lock_;
  std::map<std::wstring, ProxyChoice> by_host_;
  bool detection_failed_ = false;
  HINTERNET script_session_ = nullptr;  // synchronous, made on first use
};

}  // namespace winhttpx
