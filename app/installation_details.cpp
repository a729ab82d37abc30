#include "app/installation_details.h"

#include "app/utf8.h"

InstallationDetails InstallationDetails::FromJson(const Json& value) {
  InstallationDetails details;
  details.download_url = Utf8ToUtf16(JsonString(value, "download_url"));
  details.launch_cmd = Utf8ToUtf16(JsonString(value, "launch_cmd"));
  const char* tutorial_key =
      JsonMember(value, "tutorial_url").is_string() ? "tutorial_url" : "help_url";
  details.tutorial_url = Utf8ToUtf16(JsonString(value, tutorial_key));
  return details;
}
