// The texts the assistant shows the user from code (skin texts live in the
// skin and the language file). Kept in one place so the window, the
// pipeline and the channel request say the same thing.
#pragma once

#include <cstddef>
#include <string>

// Message boxes, all with the caption kErrorCaption (desktop_shell.h).
// Followed by the status in decimal, "\n" and the reply's body.
inline constexpr wchar_t kChannelRequestFailedText[] =
    L"\u8BF7\u6C42\u5931\u8D25\uFF0CHTTP \u72B6\u6001\u7801\uFF1A";  // 请求失败，HTTP 状态码：
inline constexpr wchar_t kJsonParseFailedText[] =
    L"JSON \u89E3\u6790\u5931\u8D25\uFF01";  // JSON 解析失败！
inline constexpr wchar_t kDownloadFailedText[] = L"\u4E0B\u8F7D\u5931\u8D25\uFF01";  // 下载失败！
// 配置文件不存在或格式错误！
inline constexpr wchar_t kConfigMissingText[] =
    L"\u914D\u7F6E\u6587\u4EF6\u4E0D\u5B58\u5728\u6216\u683C\u5F0F\u9519\u8BEF\uFF01";
// 安装文件路径不存在！
inline constexpr wchar_t kInstallerNotRecordedText[] =
    L"\u5B89\u88C5\u6587\u4EF6\u8DEF\u5F84\u4E0D\u5B58\u5728\uFF01";
// 安装文件不存在！\n路径：, followed by the path.
inline constexpr wchar_t kInstallerMissingText[] =
    L"\u5B89\u88C5\u6587\u4EF6\u4E0D\u5B58\u5728\uFF01\n\u8DEF\u5F84\uFF1A";
// 启动安装程序失败！
inline constexpr wchar_t kLaunchFailedText[] =
    L"\u542F\u52A8\u5B89\u88C5\u7A0B\u5E8F\u5931\u8D25\uFF01";
// 获取安装信息失败！ (the installation details could not be obtained)
inline constexpr wchar_t kInstallationDetailsFailedText[] =
    L"\u83B7\u53D6\u5B89\u88C5\u4FE1\u606F\u5931\u8D25\uFF01";
// 解压安装包失败！ (the package could not be unpacked: beyond the bounds a
// package may take)
inline constexpr wchar_t kUnpackFailedText[] = L"\u89E3\u538B\u5B89\u88C5\u5305\u5931\u8D25\uFF01";
// 磁盘空间不足，无法解压安装包！ (not enough disk space to unpack the package)
inline constexpr wchar_t kNotEnoughSpaceText[] =
    L"\u78C1\u76D8\u7A7A\u95F4\u4E0D\u8DB3\uFF0C\u65E0\u6CD5\u89E3\u538B\u5B89\u88C5"
    L"\u5305\uFF01";

// The key the "error_shown" event reports for a message box's text: one short
// stable key per text above (texts followed by a status or a path are known
// by their start), "other" for any other text. The text itself is never
// reported.
inline const char* ErrorKeyForText(const std::wstring& text) {
  struct Known {
    const wchar_t* text;
    const char* key;
  };
  static const Known kKnown[] = {
      {kChannelRequestFailedText, "channel_request_failed"},
      {kJsonParseFailedText, "json_parse_failed"},
      {kDownloadFailedText, "download_failed"},
      {kConfigMissingText, "config_missing"},
      {kInstallerNotRecordedText, "installer_not_recorded"},
      {kInstallerMissingText, "installer_missing"},
      {kLaunchFailedText, "launch_failed"},
      {kInstallationDetailsFailedText, "installation_details_failed"},
      {kUnpackFailedText, "unpack_failed"},
      {kNotEnoughSpaceText, "not_enough_space"},
  };
  for (const Known& known : kKnown) {
    if (text.compare(0, std::char_traits<wchar_t>::length(known.text), known.text) == 0) {
      return known.key;
    }
  }
  return "other";
}

// The install overlay's status line while a launch checks, unpacks and starts
// the package.
inline constexpr wchar_t kCheckingPackageText[] =
    L"\u6B63\u5728\u6821\u9A8C\u5B89\u88C5\u5305...";  // 正在校验安装包...
inline constexpr wchar_t kUnpackingPackageText[] =
    L"\u6B63\u5728\u89E3\u538B\u5B89\u88C5\u5305...";  // 正在解压安装包...
inline constexpr wchar_t kStartingInstallerText[] =
    L"\u6B63\u5728\u542F\u52A8\u5B89\u88C5\u7A0B\u5E8F...";  // 正在启动安装程序...

// Texts of the "ok1" button while a start waits, and once it may be pressed.
inline constexpr wchar_t kProceedWaitingText[] = L"\u52A0\u8F7D\u4E2D...";  // 加载中...
inline constexpr wchar_t kProceedText[] = L"\u4E0B\u4E00\u6B65";            // 下一步
