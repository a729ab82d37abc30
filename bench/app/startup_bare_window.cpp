// The floors of the assistant's start-up benchmark: a process that shows a
// bare 800 x 600 layered window named "Bare", centred on the screen like the
// assistant's, with one white frame, and waits. A click into it or a WM_CLOSE
// ends the process with exit code 0; so does a minute without either, so that
// a benchmark that lost it leaves no window behind.
//
//   startup_bare_window.exe [--gdiplus | --platform URL]
//
// With --gdiplus the first frame also makes the calls into the system that
// the assistant's first frame makes, with nothing of the assistant's own
// around them: GDI+ started, an 800 x 208 picture (its pixels made in
// memory: decoding is the assistant's own work) drawn at the top, the
// welcome page's texts drawn with GDI+ in the assistant's face and sizes,
// and the rich edit library loaded (the page shows a field).
//
// With --platform, the same first frame, and then what the assistant asks of
// the system in its first seconds: the thread joins COM, the multimedia timer
// runs at the animation's period, a shell link is saved, the proxy settings
// are read with one automatic proxy search, and three HTTP requests to URL
// run asynchronously, one after another, each read to its end. Then the
// frame is presented once more, as the assistant presents frames all through
// its first seconds (its fade-in, the texts the service's answers change):
// Wine's UpdateLayeredWindow takes a scratch buffer the size of the whole
// window for every call, dirty rectangle or not, and gives it back before it
// returns, so a present made once the process holds all it holds raises the
// peak by that much.
#include <windows.h>

#include <gdiplus.h>
#include <mmsystem.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <winhttp.h>

#include <cwchar>
#include <memory>
#include <string>

#include "bench/ui/bare_layered_window.h"
#include "bench/ui/welcome_page_floor.h"

namespace {

void CALLBACK OnPulse(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// Saves a shell link to the program into the temporary folder (and removes
// it again).
void SaveShellLink() {
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return;
  }
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  link->SetPath(program);
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t path[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, path);
    wcscat_s(path, L"startup_floor.lnk");
    file->Save(path, TRUE);
    ::DeleteFileW(path);
    file->Release();
  }
  link->Release();
}

// Posted to the UI thread once the requests have ended.
constexpr UINT kRequestsEnded = WM_APP + 1;

// Three asynchronous requests to one URL, each read to its end, one after
// another as the assistant asks its questions, none keeping its connection.
// After the last, |kRequestsEnded| goes to the thread that made them.
class Requests {
 public:
  static constexpr int kCount = 3;

  explicit Requests(const std::wstring& url)
      : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), owner_(::GetCurrentThreadId()) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    wchar_t host[256] = {};
    wchar_t path[1024] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 1024;
    if (::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
      SearchProxy(url);
      session_ = ::WinHttpOpen(L"floor", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    }
    if (session_ != nullptr) connection_ = ::WinHttpConnect(session_, host, parts.nPort, 0);
    path_ = path;
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    SendNext();
  }
  // Whether every request has ended, after waiting up to |ms| for them.
  bool Wait(DWORD ms) { return ::WaitForSingleObject(done_, ms) == WAIT_OBJECT_0; }
  ~Requests() {
    if (connection_ != nullptr) ::WinHttpCloseHandle(connection_);
    if (session_ != nullptr) ::WinHttpCloseHandle(session_);
    ::CloseHandle(done_);
  }
  Requests(const Requests&) = delete;
  Requests& operator=(const Requests&) = delete;

 private:
  struct Transfer {
    Requests* owner = nullptr;
    char buffer[8192] = {};
  };

  // Sends the next request, from the constructor and when the one before has
  // ended; after the last, signals the end.
  void SendNext() {
    while (connection_ != nullptr && next_ < kCount) {
      Transfer& transfer = transfers_[next_++];
      transfer.owner = this;
      HINTERNET request =
          ::WinHttpOpenRequest(connection_, L"GET", path_.c_str(), nullptr, WINHTTP_NO_REFERER,
                               WINHTTP_DEFAULT_ACCEPT_TYPES, secure_);
      if (request == nullptr) continue;
      // As the assistant's direct requests: the connection ends with the
      // response.
      DWORD feature = WINHTTP_DISABLE_KEEP_ALIVE;
      ::WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
      ::WinHttpSetStatusCallback(request, &Requests::OnStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS, 0);
      if (::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                               0, 0, reinterpret_cast<DWORD_PTR>(&transfer))) {
        return;
      }
      Close(request);
    }
    ::SetEvent(done_);
    ::PostThreadMessageW(owner_, kRequestsEnded, 0, 0);
  }

  // Reads the user's proxy settings and, where they ask for it, makes the
  // one automatic search the assistant makes.
  static void SearchProxy(const std::wstring& url) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) return;
    ::GlobalFree(config.lpszAutoConfigUrl);
    ::GlobalFree(config.lpszProxy);
    ::GlobalFree(config.lpszProxyBypass);
    if (!config.fAutoDetect) return;
    HINTERNET search = ::WinHttpOpen(L"floor", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                     WINHTTP_NO_PROXY_BYPASS, 0);
    if (search == nullptr) return;
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    WINHTTP_PROXY_INFO info = {};
    if (::WinHttpGetProxyForUrl(search, url.c_str(), &options, &info)) {
      ::GlobalFree(info.lpszProxy);
      ::GlobalFree(info.lpszProxyBypass);
    }
    ::WinHttpCloseHandle(search);
  }

  static void CALLBACK OnStatus(HINTERNET request, DWORD_PTR context, DWORD status, void*,
                                DWORD length) {
    auto* transfer = reinterpret_cast<Transfer*>(context);
    if (transfer == nullptr) return;
    Requests* self = transfer->owner;
    const bool ended = status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR ||
                       (status == WINHTTP_CALLBACK_STATUS_READ_COMPLETE && length == 0);
    bool going = !ended;
    if (going && status == WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE) {
      going = ::WinHttpReceiveResponse(request, nullptr) != FALSE;
    } else if (going && (status == WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE ||
                         status == WINHTTP_CALLBACK_STATUS_READ_COMPLETE)) {
      going =
          ::WinHttpReadData(request, transfer->buffer, sizeof(transfer->buffer), nullptr) != FALSE;
    }
    if (!going) self->Finish(request);
  }

  static void Close(HINTERNET request) {
    ::WinHttpSetStatusCallback(request, nullptr, 0, 0);
    ::WinHttpCloseHandle(request);
  }

  void Finish(HINTERNET request) {
    Close(request);
    SendNext();
  }

  HANDLE done_;
  const DWORD owner_;
  HINTERNET session_ = nullptr;
  HINTERNET connection_ = nullptr;
  std::wstring path_;
  DWORD secure_ = 0;
  int next_ = 0;  // requests begun
  Transfer transfers_[kCount];
};

// What the assistant asks of the system in its first seconds after its first
// frame, on the UI thread. Lives until the window closes.
class AfterFirstFrame {
 public:
  explicit AfterFirstFrame(const std::wstring& url) {
    com_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    TIMECAPS caps;
    ::timeGetDevCaps(&caps, sizeof(caps));
    pulse_ = ::timeSetEvent(16, 1, &OnPulse, 0, TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    SaveShellLink();
    requests_ = std::make_unique<Requests>(url);
  }
  ~AfterFirstFrame() {
    // Requests still running would call into freed memory: those are left
    // to the process's end.
    if (requests_ && !requests_->Wait(10000)) static_cast<void>(requests_.release());
    requests_.reset();
    if (pulse_ != 0) ::timeKillEvent(pulse_);
    if (com_) ::CoUninitialize();
  }
  AfterFirstFrame(const AfterFirstFrame&) = delete;
  AfterFirstFrame& operator=(const AfterFirstFrame&) = delete;

 private:
  bool com_ = false;
  UINT pulse_ = 0;
  std::unique_ptr<Requests> requests_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int width = 800;
  const int height = 600;
  // The command line is read through the shell only when it has options: a
  // bare window loads nothing for it.
  bool gdiplus = false;
  std::wstring url;
  if (std::wcsstr(::GetCommandLineW(), L"--") != nullptr) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    const std::wstring mode = argc >= 2 ? argv[1] : L"";
    gdiplus = mode == L"--gdiplus" || (mode == L"--platform" && argc >= 3);
    if (mode == L"--platform" && argc >= 3) url = argv[2];
    ::LocalFree(argv);
  }

  ULONG_PTR token = 0;
  std::unique_ptr<WelcomePageFloor> page;
  BareLayeredWindow::Painter paint;
  if (gdiplus) {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    page = std::make_unique<WelcomePageFloor>();
    paint = [&page](HDC dc) { page->Paint(dc); };
  }
  BareLayeredWindow::Register();
  BareLayeredWindow window((::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, L"Bare",
                           paint);
  std::unique_ptr<AfterFirstFrame> after;
  if (!url.empty()) after = std::make_unique<AfterFirstFrame>(url);
  const UINT_PTR give_up = ::SetTimer(nullptr, 0, 60 * 1000, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_CLOSE) break;
    if (msg.message == WM_TIMER && msg.wParam == give_up) break;
    if (msg.message == kRequestsEnded && msg.hwnd == nullptr) {
      window.Present();
      continue;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::KillTimer(nullptr, give_up);
  after.reset();
  if (gdiplus) {
    page.reset();
    Gdiplus::GdiplusShutdown(token);
  }
  return 0;
}
