// SupportLog: the log support reads when an installation went wrong. One
// line per event of a run ("2026-01-02T03:04:05.678Z tid=1234 request
// method=GET ..."), UTC with milliseconds and the calling thread's id, in
// <folder>\assistant.log; a file that would grow past kMaxFileBytes becomes
// assistant.log.1 (replacing the older one) and a new one starts, so at most
// two generations exist.
//
// Writing never blocks the thread that started the log (the UI thread):
// there Write only formats its fields and queues the line, and a task on the
// system's thread pool (the drain) writes, rotates and flushes whatever is
// queued. Any other thread is off the UI thread already: when no drain is
// under way, its Write writes what is queued itself, into the system's file
// cache, before returning (the next pool drain, or Stop, flushes it). A line
// written from a request's notification then needs no pool worker of its
// own; Wine starts one whenever all are busy, and each costs about 1 MB. One
// drain at a time, so lines keep their order; the log holds no thread of its
// own between lines. A folder that cannot be made or written loses the
// lines silently. Values cannot break the one-line format (control
// characters are escaped, values and lines are capped), and the user's
// profile and local application-data folders are written as "%USERPROFILE%"
// and "%LOCALAPPDATA%", so paths keep no user name.
//
// The process-wide instance (Instance()) is started by App in the downloader
// folder once the window's first frame is out (or the run ends before it), and
// stopped by the process entry after the exit line; lines written before
// Start wait for it. Every member may be called from any thread.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

class SupportLog {
 public:
  // One field's value, formatted when the line is written.
  class Value {
   public:
    Value(const char* text) : text_(text != nullptr ? text : "") {}
    Value(const std::string& text) : text_(text) {}
    Value(const std::wstring& text);
    // Without it a wide literal would turn into a bool.
    Value(const wchar_t* text);
    Value(bool value) : text_(value ? "true" : "false") {}
    Value(double value);
    template <typename T, typename = std::enable_if_t<std::is_integral<T>::value>>
    Value(T value) : text_(std::to_string(value)) {}

    const std::string& text() const { return text_; }

   private:
    std::string text_;
  };
  using Fields = std::initializer_list<std::pair<const char*, Value>>;

  static constexpr uint64_t kMaxFileBytes = 1024 * 1024;
  // A line longer than this is cut (and ends in "..."); so is a value longer
  // than kMaxValueBytes, so that one value leaves room for the others.
  static constexpr size_t kMaxLineBytes = 2048;
  static constexpr size_t kMaxValueBytes = 512;
  // Lines waiting to be written beyond this are dropped.
  static constexpr size_t kMaxQueuedLines = 4096;
  static constexpr wchar_t kFileName[] = L"assistant.log";
  static constexpr wchar_t kOlderFileName[] = L"assistant.log.1";

  // The process-wide log; never destroyed (a thread may still write while the
  // process ends).
  static SupportLog& Instance();

  SupportLog();
  ~SupportLog();
  SupportLog(const SupportLog&) = delete;
  SupportLog& operator=(const SupportLog&) = delete;

  // Writes to |folder| from now on (made if missing), starting with the lines
  // queued so far. Only the first call counts; an empty folder drops every
  // line. The calling thread's writes never wait for the disk.
  void Start(const std::wstring& folder);

  // One line: |event| then each field as key=value. Cheap enough for the
  // thread that started the log, which only queues it; on another thread it
  // is in the file when Write returns, unless a drain was already under way.
  void Write(const char* event, Fields fields = {});

  // Returns once the lines written so far are in the file (or were dropped), at
  // most |timeout_ms|; true when none is left.
  bool Flush(DWORD timeout_ms);

  // Writes what is queued and closes the file; later lines are dropped.
  void Stop();

  // The text of a line as the drain puts it into the file, without the
  // line break: timestamp, thread, then |text| (event and fields) with
  // control characters escaped and the whole cut at kMaxLineBytes.
  static std::string FormatLine(const FILETIME& utc, DWORD thread_id, const std::string& text);

  // |value| as a field shows it: cut at kMaxValueBytes, and quoted (a quote
  // inside as \") when it is empty or holds a space or a quote. Control
  // characters are left to FormatLine.
  static std::string FormatValue(const std::string& value);

  // "host[:port]/path" of an address: no scheme, no user information, no
  // query or fragment (they may carry ids that are the user's business).
  static std::string HostAndPath(const std::wstring& url);

  // Replaces every occurrence of the local application-data folder and of
  // the profile folder (long and short forms, any case) in |text| with
  // "%LOCALAPPDATA%" and "%USERPROFILE%".
  static std::string HidePrivatePaths(const std::string& text);

 private:
  struct Line {
    FILETIME utc;
    DWORD thread_id;
    std::string text;
  };

  // With |lock_| held: hands the queue to the pool unless a drain is on its
  // way (or the log has not started).
  void DrainLater();
  // On a pool thread, in Stop or in a Write off the starting thread: opens
  // the file once, then writes until the queue is empty, or only what is
  // queued now (the rest then goes to a pool drain).
  void Drain(bool until_empty);
  // Writes |batch| to the file, rotating it at the bound, and with |flush|
  // to the disk. Only a drain calls it, without |lock_|.
  void WriteBatch(const std::deque<Line>& batch, bool flush);

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Line> queue_;
  // Lines taken by the drain and not yet in the file.
  size_t writing_ = 0;
  bool started_ = false;
  // The thread that started the log; its writes are left to a pool drain.
  DWORD starting_thread_ = 0;
  bool stopping_ = false;
  // A drain is queued or running; there is never more than one.
  bool draining_ = false;
  // Set by Start; the drain's alone from then on.
  std::wstring folder_;
  bool opened_ = false;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

// The assistant's version as the start-up line reports it.
const char* AssistantVersion();

// How requests find their proxy, as the user's settings say: "direct",
// "automatic", "auto-detect", "pac <address>", "proxy <host:port>" (see
// winhttpx::ProxyInUse). The one place the start-up line asks.
std::string ProxyInUseForLog();

// Seconds since this process was created: how long the user has had the
// program open (the closing event and the exit line). Any thread.
double SecondsSinceProcessStart();
