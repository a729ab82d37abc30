#include "app/support_log.h"

#include <windows.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_directories.h"
#include "base/pool_work.h"
#include "base/utf8.h"
#include "tests/support/scoped_temp_dir.h"

namespace {

using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(cbase::Utf16ToSystemCodePage(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The lines of a log file; false when the file does not end in a line break
// (a torn last line).
bool SplitLines(const std::string& text, std::vector<std::string>& lines) {
  size_t start = 0;
  for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return start == text.size();
}

// "YYYY-MM-DDTHH:MM:SS.mmmZ tid=<digits> " at the start of |line|.
bool HasLineHead(const std::string& line) {
  static const char kPattern[] = "####-##-##T##:##:##.###Z tid=";
  const size_t length = sizeof(kPattern) - 1;
  if (line.size() < length + 2) return false;
  for (size_t i = 0; i < length; ++i) {
    const char want = kPattern[i];
    if (want == '#' ? (line[i] < '0' || line[i] > '9') : line[i] != want) return false;
  }
  size_t i = length;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  return i > length && i < line.size() && line[i] == ' ';
}

FILETIME FileTimeOf(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
  SYSTEMTIME time = {};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  time.wMilliseconds = ms;
  FILETIME file_time = {};
  ::SystemTimeToFileTime(&time, &file_time);
  return file_time;
}

TEST(SupportLogFormatTest, LineStartsWithUtcMillisecondsAndThread) {
  const FILETIME time = FileTimeOf(2026, 1, 2, 3, 4, 5, 67);
  EXPECT_EQ("2026-01-02T03:04:05.067Z tid=4242 startup version=1",
            SupportLog::FormatLine(time, 4242, "startup version=1"));
}

TEST(SupportLogFormatTest, ControlCharactersCannotBreakTheLine) {
  const FILETIME time = FileTimeOf(2026, 1, 2, 3, 4, 5, 6);
  const char kHostile[] = "a\r\nfake line\x1b[2J\x7f\tend\0x";
  const std::string line =
      SupportLog::FormatLine(time, 1, std::string(kHostile, sizeof(kHostile) - 1));
  EXPECT_EQ(std::string::npos, line.find_first_of(std::string("\r\n\x1b\x7f\t\0", 6)));
  EXPECT_NE(std::string::npos, line.find("a\\x0D\\x0Afake line\\x1B[2J\\x7F\\x09end\\x00x"));
}

TEST(SupportLogFormatTest, LongLinesAndValuesAreCutOnCharacterBoundaries) {
  const FILETIME time = FileTimeOf(2026, 1, 2, 3, 4, 5, 6);
  // Three-byte characters: a cut in the middle of one would leave a torn
  // sequence.
  std::string wide;
  for (int i = 0; i < 2000; ++i) wide += "\xE4\xB8\xAD";
  const std::string line = SupportLog::FormatLine(time, 1, "x " + wide);
  EXPECT_LE(line.size(), SupportLog::kMaxLineBytes);
  EXPECT_EQ("...", line.substr(line.size() - 3));
  EXPECT_EQ(cbase::Utf16ToUtf8(cbase::Utf8ToUtf16(line)), line);

  const std::string value = SupportLog::FormatValue(wide);
  EXPECT_LE(value.size(), SupportLog::kMaxValueBytes + 2);
  EXPECT_FALSE(cbase::Utf8ToUtf16(value).empty());
}

TEST(SupportLogFormatTest, ValuesWithSpacesOrQuotesAreQuoted) {
  EXPECT_EQ("plain", SupportLog::FormatValue("plain"));
  EXPECT_EQ("\"\"", SupportLog::FormatValue(""));
  EXPECT_EQ("\"a b\"", SupportLog::FormatValue("a b"));
  // A value cannot fake a field of its own.
  EXPECT_EQ("\"x\\\" status=200\"", SupportLog::FormatValue("x\" status=200"));
}

TEST(SupportLogFormatTest, AddressesKeepHostAndPathOnly) {
  EXPECT_EQ("127.0.0.1:8080/api/channel",
            SupportLog::HostAndPath(L"http://127.0.0.1:8080/api/channel?bd_vid=secret#x"));
  EXPECT_EQ("example.com/p", SupportLog::HostAndPath(L"https://user:pw@example.com/p"));
  EXPECT_EQ("example.com", SupportLog::HostAndPath(L"https://example.com?q=1"));
  EXPECT_EQ("", SupportLog::HostAndPath(L""));
}

TEST(SupportLogFormatTest, TheUsersFoldersAreHiddenInAnyCase) {
  wchar_t profile[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
  ASSERT_GT(length, 3u);
  const std::string path = cbase::Utf16ToUtf8(std::wstring(profile, length));
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(::toupper(static_cast<unsigned char>(c)));
  const std::string hidden =
      SupportLog::HidePrivatePaths("cmd=\"" + path + "\\AppData\\x.exe\" " + upper + "\\y");
  EXPECT_EQ("cmd=\"%USERPROFILE%\\AppData\\x.exe\" %USERPROFILE%\\y", hidden);

  // Local application data, inside the profile or not, is named on its own.
  const std::string local = cbase::Utf16ToUtf8(LocalAppDataDirectory());
  ASSERT_FALSE(local.empty());
  EXPECT_EQ("%LOCALAPPDATA%\\fernwick\\Fernwick.exe",
            SupportLog::HidePrivatePaths(local + "fernwick\\Fernwick.exe"));

  wchar_t short_form[MAX_PATH];
  const DWORD short_length = ::GetShortPathNameW(profile, short_form, MAX_PATH);
  if (short_length > 0 && short_length < MAX_PATH) {
    EXPECT_EQ("%USERPROFILE%\\z",
              SupportLog::HidePrivatePaths(
                  cbase::Utf16ToUtf8(std::wstring(short_form, short_length)) + "\\z"));
  }
}

class SupportLogFileTest : public testing::Test {
 protected:
  // Neither the folder nor its parent exists before the log starts.
  std::wstring LogFolder() const { return folder_.Child(L"downloader\\logs"); }
  std::wstring LogPath() const { return LogFolder() + L"\\" + SupportLog::kFileName; }
  std::wstring OlderPath() const { return LogFolder() + L"\\" + SupportLog::kOlderFileName; }

  ScopedTempDir folder_;
};

TEST_F(SupportLogFileTest, LinesBeforeStartComeFirstAndFieldsAreFormatted) {
  SupportLog log;
  // A wide literal is text, not a pointer that turns into "true".
  log.Write(
      "startup",
      {{"product", std::wstring(L"fern wick")}, {"caption", L"\u9519\u8BEF"}, {"scale", 100}});
  log.Start(LogFolder());
  log.Write("exit", {{"code", 0}, {"seconds", 1.5}, {"ok", true}});
  log.Stop();
  // Lines after the end are dropped, not written by a writer that is gone.
  log.Write("late");

  std::vector<std::string> lines;
  const std::string text = ReadFile(LogPath());
  ASSERT_TRUE(SplitLines(text, lines)) << text.size() << ": " << text.substr(0, 300);
  ASSERT_EQ(2u, lines.size());
  EXPECT_TRUE(HasLineHead(lines[0]));
  EXPECT_NE(
      std::string::npos,
      lines[0].find(" startup product=\"fern wick\" caption=\xE9\x94\x99\xE8\xAF\xAF scale=100"));
  EXPECT_NE(std::string::npos, lines[1].find(" exit code=0 seconds=1.500 ok=true"));
}

TEST_F(SupportLogFileTest, LinesAfterAQuietSpellAreWrittenAndStopLetsGoOfTheFile) {
  SupportLog log;
  log.Start(LogFolder());
  for (int round = 0; round < 3; ++round) {
    log.Write("line", {{"n", round}});
    // Each line on disk before the next: every one needs a fresh drain.
    ASSERT_TRUE(log.Flush(5000)) << round;
    ::Sleep(30);
  }
  log.Write("last");
  log.Stop();

  std::vector<std::string> lines;
  ASSERT_TRUE(SplitLines(ReadFile(LogPath()), lines));
  ASSERT_EQ(4u, lines.size());
  for (int round = 0; round < 3; ++round) {
    EXPECT_NE(std::string::npos, lines[round].find(" line n=" + std::to_string(round))) << round;
  }
  EXPECT_NE(std::string::npos, lines[3].find(" last"));
  // Closed: nobody else may hold it now.
  HANDLE only = ::CreateFileW(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, only);
  if (only != INVALID_HANDLE_VALUE) ::CloseHandle(only);
}

TEST_F(SupportLogFileTest, RotatesAtTheBoundKeepingTwoGenerations) {
  SupportLog log;
  log.Start(LogFolder());
  const std::string filler(900, 'f');
  // About 2.5 MB: the first file is rotated twice.
  const int count = 2600;
  for (int i = 0; i < count; ++i) {
    log.Write("line", {{"n", i}, {"filler", filler}});
    if (i % 1000 == 999) {
      ASSERT_TRUE(log.Flush(10000));
    }
  }
  log.Stop();

  const std::string current = ReadFile(LogPath());
  const std::string older = ReadFile(OlderPath());
  EXPECT_LE(current.size(), SupportLog::kMaxFileBytes);
  EXPECT_LE(older.size(), SupportLog::kMaxFileBytes);
  // A file is only rotated once it could not take the next line.
  EXPECT_GT(older.size(), SupportLog::kMaxFileBytes - 1000);
  EXPECT_FALSE(Exists(LogFolder() + L"\\assistant.log.2"));

  std::vector<std::string> lines;
  ASSERT_TRUE(SplitLines(older, lines));
  ASSERT_TRUE(SplitLines(current, lines));
  // The newest lines, whole and in order, with nothing between the files.
  ASSERT_FALSE(lines.empty());
  const int first = count - static_cast<int>(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_TRUE(HasLineHead(lines[i])) << i;
    ASSERT_NE(std::string::npos,
              lines[i].find(" line n=" + std::to_string(first + static_cast<int>(i)) + " "))
        << i;
  }
}

TEST_F(SupportLogFileTest, AnUnwritableFolderIsSkippedSilently) {
  // A file stands where the folder would be made.
  ASSERT_TRUE(WriteBytes(folder_.Child(L"blocked"), "x"));
  SupportLog log;
  log.Start(folder_.Child(L"blocked\\logs"));
  for (int i = 0; i < 100; ++i) log.Write("line", {{"n", i}});
  EXPECT_TRUE(log.Flush(5000));
  log.Stop();
  EXPECT_FALSE(Exists(folder_.Child(L"blocked\\logs")));

  SupportLog nowhere;
  nowhere.Start(L"");
  nowhere.Write("line");
  EXPECT_TRUE(nowhere.Flush(5000));
}

TEST_F(SupportLogFileTest, LinesFromSeveralThreadsStayWholeAndInOrder) {
  SupportLog log;
  log.Start(LogFolder());
  constexpr int kThreads = 6;
  constexpr int kLines = 400;
  std::vector<std::thread> threads;
  std::vector<DWORD> ids(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, &ids, t] {
      ids[t] = ::GetCurrentThreadId();
      for (int i = 0; i < kLines; ++i) {
        log.Write("line", {{"thread", t}, {"n", i}, {"text", std::string(50 + t * 20, 'a' + t)}});
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  log.Stop();

  std::vector<std::string> lines;
  const std::string text = ReadFile(LogPath());
  ASSERT_TRUE(SplitLines(text, lines)) << text.size() << ": " << text.substr(0, 300);
  ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
  std::map<int, int> next;
  for (const std::string& line : lines) {
    ASSERT_TRUE(HasLineHead(line)) << line;
    int thread = -1, n = -1;
    const size_t at = line.find(" line thread=");
    ASSERT_NE(std::string::npos, at) << line;
    ASSERT_EQ(2, std::sscanf(line.c_str() + at, " line thread=%d n=%d", &thread, &n)) << line;
    ASSERT_GE(thread, 0);
    ASSERT_LT(thread, kThreads);
    EXPECT_NE(std::string::npos, line.find("tid=" + std::to_string(ids[thread]) + " "));
    EXPECT_EQ(next[thread]++, n);
    EXPECT_NE(std::string::npos,
              line.find(" text=" + std::string(50 + thread * 20, static_cast<char>('a' + thread))));
  }
}

TEST_F(SupportLogFileTest, ALineWrittenOffTheStartingThreadIsInTheFileWhenWriteReturns) {
  SupportLog log;
  log.Start(LogFolder());
  log.Write("first");  // the starting thread's line is left to the pool
  ASSERT_TRUE(log.Flush(5000));
  // The process's pool tasks run one at a time: while one is held, no pool
  // drain can write anything. The event is closed by whichever of the test
  // and the task lets go last.
  const std::shared_ptr<void> release(::CreateEventW(nullptr, TRUE, FALSE, nullptr), ::CloseHandle);
  struct Release {
    HANDLE event;
    ~Release() { ::SetEvent(event); }
  } let_go{release.get()};
  ASSERT_TRUE(cbase::RunOnPool([release] { ::WaitForSingleObject(release.get(), 10000); }));
  // As from a request's notification: no drain is under way, so the writer
  // writes its line itself.
  std::string seen;
  std::thread([&] {
    log.Write("request", {{"status", 200}});
    seen = ReadFile(LogPath());
  }).join();
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitLines(seen, lines)) << seen;
  ASSERT_EQ(2u, lines.size()) << seen;
  EXPECT_NE(std::string::npos, lines[1].find(" request status=200")) << seen;

  // The starting thread only queues, even with no drain under way: its line
  // waits for the pool.
  log.Write("later");
  EXPECT_EQ(seen, ReadFile(LogPath()));
  ::SetEvent(release.get());
  ASSERT_TRUE(log.Flush(5000));
  lines.clear();
  ASSERT_TRUE(SplitLines(ReadFile(LogPath()), lines));
  ASSERT_EQ(3u, lines.size());
  EXPECT_NE(std::string::npos, lines[2].find(" later"));
  log.Stop();
}

TEST_F(SupportLogFileTest, WritingALineIsCheapForTheCaller) {
  SupportLog log;
  log.Start(LogFolder());
  const std::wstring path = folder_.Child(L"installer\\package.zip");
  constexpr int kWrites = 2000;
  const auto started = std::chrono::steady_clock::now();
  for (int i = 0; i < kWrites; ++i) {
    log.Write("request", {{"method", "GET"},
                          {"url", SupportLog::HostAndPath(L"http://127.0.0.1:8080/api/channel")},
                          {"status", 200},
                          {"path", path}});
  }
  const double each_us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - started)
          .count() /
      kWrites;
  log.Stop();
  std::printf("SupportLog::Write: %.1f us per line\n", each_us);
  EXPECT_LT(each_us, 200.0);
}

}  // namespace
