// InstallerConfig: the assistant's per-user key store, config.json in the
// DownloaderDirectory. It remembers across runs where the downloaded
// installer lies, how to launch it, the tutorial address and the attribution
// id. Every write is a merge: a writer replaces only its own keys and keys
// it does not know survive. UI thread only; the file is read on each Get.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/json_file.h"
#include "base/thread_checker.h"

class InstallerConfig {
 public:
  // Keys the assistant uses.
  static constexpr const char* kInstaller = "installer";       // "installer\<file name>"
  static constexpr const char* kLaunchCommand = "launch_cmd";  // may hold {target_dir}, {installer}
  static constexpr const char* kTutorialUrl = "tutorial_url";
  static constexpr const char* kAttributionId = "bd_vid";

  // The store at InstallerConfigPath().
  InstallerConfig();
  explicit InstallerConfig(std::wstring path);

  // The text under |key|; "" when the file is missing, unreadable or
  // malformed, or the key is absent, not a string or not valid UTF-8.
  std::wstring Get(const std::string& key) const;
  // Merge-writes |values| (stored as UTF-8). False when the file could not be
  // written; the old content then stays.
  bool Set(const std::map<std::string, std::wstring>& values) const;
  // The same write made ready now, to take effect at its Commit (see
  // PendingJsonMerge): for a record that must wait for a long task.
  std::unique_ptr<PendingJsonMerge> Prepare(
      const std::map<std::string, std::wstring>& values) const;

  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  cbase::ThreadChecker thread_checker_;
};
