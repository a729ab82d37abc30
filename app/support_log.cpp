#include "app/support_log.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/app_directories.h"
#include "app/json_file.h"
#include "base/pool_work.h"
#include "base/startup_trace.h"
#include "base/utf8.h"
#include "deployment_defaults.h"
#include "http/http_functions.h"

namespace {

constexpr char kCutMark[] = "...";

// |text| cut to at most |limit| bytes (kCutMark included) without splitting
// a UTF-8 sequence.
void CutAt(std::string& text, size_t limit) {
  if (text.size() <= limit) return;
  size_t end = limit - (sizeof(kCutMark) - 1);
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  text += kCutMark;
}

void AppendEscaped(std::string& out, const std::string& text) {
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Replaces each occurrence of |from| in |text|, ASCII letters in any case.
void ReplaceAnyCase(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  std::string lower = text;
  for (char& c : lower) c = LowerAscii(c);
  std::string pattern = from;
  for (char& c : pattern) c = LowerAscii(c);
  std::string out;
  size_t done = 0;
  for (size_t found = lower.find(pattern); found != std::string::npos;
       found = lower.find(pattern, found + pattern.size())) {
    out.append(text, done, found - done);
    out += to;
    done = found + pattern.size();
  }
  if (done == 0) return;
  out.append(text, done, std::string::npos);
  text.swap(out);
}

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return std::wstring();
  return std::wstring(buffer, length);
}

std::wstring ShortPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return std::wstring();
  return std::wstring(buffer, length);
}

// A folder that names the user, as UTF-8, and what the log writes instead.
struct PrivatePrefix {
  std::string text;
  std::string placeholder;
};

// The profile and local application-data folders (which may have been moved
// out of the profile), long and short forms, longest first: a folder inside
// another, or a short form that is a prefix of the long one, is replaced
// before it could leave a remainder behind.
const std::vector<PrivatePrefix>& PrivatePrefixes() {
  static const std::vector<PrivatePrefix> prefixes = [] {
    std::vector<PrivatePrefix> found;
    const auto add = [&found](std::wstring folder, const char* placeholder) {
      while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
      }
      // A drive's root alone would hide every path.
      if (folder.size() < 4) return;
      found.push_back({cbase::Utf16ToUtf8(folder), placeholder});
      const std::string short_form = cbase::Utf16ToUtf8(ShortPath(folder));
      if (!short_form.empty() && short_form != found.back().text) {
        found.push_back({short_form, placeholder});
      }
    };
    add(EnvironmentValue(L"USERPROFILE"), "%USERPROFILE%");
    add(LocalAppDataDirectory(), "%LOCALAPPDATA%");
    std::stable_sort(found.begin(), found.end(),
                     [](const PrivatePrefix& a, const PrivatePrefix& b) {
                       return a.text.size() > b.text.size();
                     });
    return found;
  }();
  return prefixes;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

HANDLE OpenForAppend(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

uint64_t FileSize(HANDLE file) {
  LARGE_INTEGER size = {};
  return ::GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

}  // namespace

SupportLog::Value::Value(const std::wstring& text) : text_(cbase::Utf16ToUtf8(text)) {}

SupportLog::Value::Value(const wchar_t* text)
    : text_(text != nullptr ? cbase::Utf16ToUtf8(text) : std::string()) {}

SupportLog::Value::Value(double value) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f", value);
  text_ = text;
}

SupportLog& SupportLog::Instance() {
  static SupportLog* log = new SupportLog;
  return *log;
}

SupportLog::SupportLog() = default;

SupportLog::~SupportLog() { Stop(); }

void SupportLog::Start(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(lock_);
  if (started_ || stopping_) return;
  started_ = true;
  starting_thread_ = ::GetCurrentThreadId();
  folder_ = folder;
  DrainLater();
}

void SupportLog::Write(const char* event, Fields fields) {
  Line line;
  ::GetSystemTimeAsFileTime(&line.utc);
  line.thread_id = ::GetCurrentThreadId();
  line.text = event != nullptr ? event : "";
  for (const auto& field : fields) {
    line.text += ' ';
    line.text += field.first;
    line.text += '=';
    line.text += FormatValue(HidePrivatePaths(field.second.text()));
  }
  std::unique_lock<std::mutex> hold(lock_);
  if (stopping_ || queue_.size() >= kMaxQueuedLines) return;
  queue_.push_back(std::move(line));
  if (started_ && !draining_ && ::GetCurrentThreadId() != starting_thread_) {
    draining_ = true;
    hold.unlock();
    Drain(false);
    return;
  }
  DrainLater();
}

bool SupportLog::Flush(DWORD timeout_ms) {
  std::unique_lock<std::mutex> hold(lock_);
  // Before Start nothing would ever take the lines.
  if (!started_) return queue_.empty();
  DrainLater();  // in case the pool refused the last one
  return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                           [this] { return queue_.empty() && writing_ == 0; });
}

void SupportLog::Stop() {
  std::unique_lock<std::mutex> hold(lock_);
  if (stopping_) return;
  stopping_ = true;
  changed_.wait(hold, [this] { return !draining_; });
  // Lines the pool would not take are written here, at the end.
  if (started_ && !queue_.empty()) {
    draining_ = true;
    hold.unlock();
    Drain(true);
    hold.lock();
  }
  queue_.clear();
  if (file_ != INVALID_HANDLE_VALUE) {
    // Lines a writer left in the file cache go to the disk too.
    ::FlushFileBuffers(file_);
    ::CloseHandle(file_);
  }
  file_ = INVALID_HANDLE_VALUE;
}

void SupportLog::DrainLater() {
  if (!started_ || draining_ || queue_.empty()) return;
  draining_ = cbase::RunOnPool([this] { Drain(true); });
}

void SupportLog::Drain(bool until_empty) {
  std::unique_lock<std::mutex> hold(lock_);
  try {
    if (!opened_) {
      opened_ = true;
      const std::wstring folder = folder_;
      hold.unlock();
      // The downloader folder itself may not exist yet on a first run.
      HANDLE file = INVALID_HANDLE_VALUE;
      if (!folder.empty()) {
        CreateFolderTree(folder);
        file = OpenForAppend(folder + L"\\" + kFileName);
      }
      hold.lock();
      file_ = file;
      size_ = file != INVALID_HANDLE_VALUE ? FileSize(file) : 0;
    }
    while (!queue_.empty()) {
      std::deque<Line> batch;
      batch.swap(queue_);
      writing_ = batch.size();
      hold.unlock();
      // A writer's own drain leaves the lines in the system's file cache:
      // the answer it is handling should not wait for the disk.
      WriteBatch(batch, until_empty);
      hold.lock();
      writing_ = 0;
      if (!until_empty) break;
    }
  } catch (...) {
    // Logging is best effort: a batch that could not be formatted (no
    // memory) is lost, and the log goes on.
    if (!hold.owns_lock()) hold.lock();
    writing_ = 0;
  }
  draining_ = false;
  changed_.notify_all();
  // A writer drains what it found; lines that came meanwhile go to the pool.
  DrainLater();
}

void SupportLog::WriteBatch(const std::deque<Line>& batch, bool flush) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  const std::wstring path = folder_ + L"\\" + kFileName;
  const std::wstring older = folder_ + L"\\" + kOlderFileName;
  for (const Line& line : batch) {
    const std::string text = FormatLine(line.utc, line.thread_id, line.text) + "\r\n";
    if (size_ > 0 && size_ + text.size() > kMaxFileBytes) {
      ::CloseHandle(file_);
      ::MoveFileExW(path.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING);
      file_ = OpenForAppend(path);
      if (file_ == INVALID_HANDLE_VALUE) return;
      // Another process may have started the new file already.
      size_ = FileSize(file_);
    }
    if (!WriteAll(file_, text)) break;
    size_ += text.size();
  }
  if (flush) ::FlushFileBuffers(file_);
}

std::string SupportLog::FormatLine(const FILETIME& utc, DWORD thread_id, const std::string& text) {
  SYSTEMTIME time = {};
  ::FileTimeToSystemTime(&utc, &time);
  char head[64];
  std::snprintf(head, sizeof(head), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ tid=%lu ", time.wYear,
                time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
                static_cast<unsigned long>(thread_id));
  std::string line = head;
  AppendEscaped(line, text);
  CutAt(line, kMaxLineBytes);
  return line;
}

std::string SupportLog::FormatValue(const std::string& value) {
  std::string text = value;
  CutAt(text, kMaxValueBytes);
  const bool quoted = text.empty() || text.find_first_of(" \"") != std::string::npos;
  if (!quoted) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::string SupportLog::HidePrivatePaths(const std::string& text) {
  std::string out = text;
  for (const PrivatePrefix& prefix : PrivatePrefixes()) {
    ReplaceAnyCase(out, prefix.text, prefix.placeholder);
  }
  return out;
}

std::string SupportLog::HostAndPath(const std::wstring& url) {
  std::wstring rest = url;
  const size_t scheme = rest.find(L"://");
  if (scheme != std::wstring::npos) rest.erase(0, scheme + 3);
  rest.erase((std::min)(rest.find_first_of(L"?#"), rest.size()));
  const size_t path = (std::min)(rest.find(L'/'), rest.size());
  const size_t user = rest.rfind(L'@', path);
  if (user != std::wstring::npos) rest.erase(0, user + 1);
  return cbase::Utf16ToUtf8(rest);
}

double SecondsSinceProcessStart() { return cbase::StartupTrace::ProcessAgeMs() / 1000.0; }

const char* AssistantVersion() { return ASSISTANT_VERSION; }

std::string ProxyInUseForLog() { return cbase::Utf16ToUtf8(winhttpx::ProxyInUse()); }
