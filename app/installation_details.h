// InstallationDetails: the service's description of the product package,
// handed to the installation pipeline. A plain record; any thread.
#pragma once

#include <string>

#include "app/json_value.h"

struct InstallationDetails {
  std::wstring download_url;  // where the package comes from
  std::wstring launch_cmd;    // launch command template
  std::wstring tutorial_url;  // "tutorial_url", or "help_url" when that is not a string
  // False when neither "tutorial_url" nor "help_url" is a string: the
  // pipeline then keeps the tutorial address it had.
  bool has_tutorial_url = false;
  // "sha256": the package's SHA-256 in hexadecimal, lower case; "" when the
  // service sent none (the package is then not checked).
  std::string sha256;

  // Reads the JSON object; absent or mistyped keys (and text that is not
  // valid UTF-8) give empty fields.
  static InstallationDetails FromJson(const Json& value);
};

// The service's installation details for a product and channel:
// GET "/api/installation?channel=<channel>&product=<product>".
std::wstring InstallationDetailsAddress(const std::wstring& service_url,
                                        const std::wstring& product, const std::wstring& channel);
