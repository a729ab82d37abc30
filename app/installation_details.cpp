#include "app/installation_details.h"

#include <cctype>

#include "app/service_request.h"
#include "base/utf8.h"

InstallationDetails InstallationDetails::FromJson(const Json& value) {
  InstallationDetails details;
  details.download_url = cbase::Utf8ToUtf16(JsonString(value, "download_url"));
  details.launch_cmd = cbase::Utf8ToUtf16(JsonString(value, "launch_cmd"));
  const char* tutorial_key =
      JsonMember(value, "tutorial_url").is_string() ? "tutorial_url" : "help_url";
  details.has_tutorial_url = JsonMember(value, tutorial_key).is_string();
  details.tutorial_url = cbase::Utf8ToUtf16(JsonString(value, tutorial_key));
  details.sha256 = JsonString(value, "sha256");
  for (char& c : details.sha256) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return details;
}

std::wstring InstallationDetailsAddress(const std::wstring& service_url,
                                        const std::wstring& product, const std::wstring& channel) {
  return ServiceAddress(service_url, L"/api/installation",
                        {{L"channel", channel}, {L"product", product}});
}
