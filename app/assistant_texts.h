// The texts the assistant shows the user from code (skin texts live in the
// skin and the language file). Kept in one place so the window, the
// pipeline and the channel request say the same thing.
#pragma once

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

// Texts of the "ok1" button while a start waits, and once it may be pressed.
inline constexpr wchar_t kProceedWaitingText[] = L"\u52A0\u8F7D\u4E2D...";  // 加载中...
inline constexpr wchar_t kProceedText[] = L"\u4E0B\u4E00\u6B65";            // 下一步
