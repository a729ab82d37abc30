// The advertising attribution id (AttributionId, "bd_vid"): which click
// brought the user. Taken from the executable's own file name when the
// download link put it there ("<product>_<id>_<rest>.exe"), else from the
// InstallerConfig of an earlier run, else asked from the service. Every
// failure is silent: the id then stays empty.
#pragma once

#include <functional>
#include <string>

#include "app/post_to_ui.h"

// The id a file name carries: the middle one when splitting at "_" (runs of
// "_" and leading or trailing ones give no empty pieces) yields exactly three
// pieces, and only if it is 1 to 128 printable ASCII characters without
// quotes, slashes or backslashes; "" otherwise.
std::wstring AttributionIdFromFileName(const std::wstring& file_name);

// Where the id may come from.
struct AttributionSources {
  std::wstring executable_name;  // file name only, extension included
  std::wstring config_path;      // the InstallerConfig file
  std::wstring request_url;      // the service's "/api/get-bdvid"

  // The module that holds this code, InstallerConfigPath() and the service
  // address of ProductConfig. UI thread.
  static AttributionSources ForThisProcess();
};

using AttributionCallback = std::function<void(const std::wstring& id)>;

// UI thread. Calls |found| with the id whenever one is found: from the file
// name (which also stores it in the InstallerConfig), then from the
// InstallerConfig; when that holds none, the service is asked and its reply
// handled on the UI thread through |post|. |ended| (may be empty) is called
// once when nothing more will be found: at once when no question was asked,
// else after the reply, whatever it said, was handled. Never throws.
void ResolveAttribution(const AttributionSources& sources, const PostToUIFunction& post,
                        AttributionCallback found, std::function<void()> ended = nullptr);

// The service's reply {"success": true, "bdvid": "<id>"}: stores the id in
// the InstallerConfig at |config_path| and calls |found|. Anything else is
// ignored; the HTTP status is not consulted. UI thread.
void HandleAttributionReply(const std::string& body, const std::wstring& config_path,
                            const AttributionCallback& found);
