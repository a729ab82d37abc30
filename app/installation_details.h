// InstallationDetails: the service's description of the product package,
// handed to the installation pipeline. A plain record; any thread.
#pragma once

#include <string>

#include "app/json_value.h"

struct InstallationDetails {
  std::wstring download_url;  // where the package comes from
  std::wstring launch_cmd;    // launch command template
  std::wstring tutorial_url;  // "tutorial_url", or "help_url" when that is not a string

  // Reads the JSON object; absent or mistyped keys (and text that is not
  // valid UTF-8) give empty fields.
  static InstallationDetails FromJson(const Json& value);
};
