#include "app/package_download.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/file_hash.h"
#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "base/monotonic_clock.h"
#include "base/tick_clock.h"
#include "tests/app/app_test_service.h"
#include "tests/app/test_ui_thread.h"
#include "tests/http/silent_server.h"
#include "tests/support/scoped_temp_dir.h"

namespace {

using testing_support::FileBytes;
using testing_support::PublishPackage;
using testing_support::ScopedTempDir;
using testing_support::TestUiThread;
using winhttpx::testing_support::SilentServer;
using winhttpx::testing_support::TestService;

const std::vector<DWORD> kAllRetries = {1000, 2000, 4000};

// A process clock that moves only by Advance, for the time of the test.
class ScopedFakeClock : public cbase::TickClock {
 public:
  ScopedFakeClock() { cbase::SetTickClockForTesting(this); }
  ~ScopedFakeClock() override { cbase::SetTickClockForTesting(nullptr); }
  int64_t Frequency() override { return 1000; }
  int64_t Now() override { return now_ms_.load(); }
  void AdvanceMs(int64_t ms) { now_ms_ += ms; }

 private:
  std::atomic<int64_t> now_ms_{1000000};
};

// The test thread's own message loop in the UI thread's place: a download
// made here schedules its retries on it, and the poster runs tasks on it.
class LoopUiThread : private cbase::TaskObserver {
 public:
  LoopUiThread() { loop_.AddTaskObserver(this); }
  ~LoopUiThread() override { loop_.RemoveTaskObserver(this); }

  PostToUIFunction poster() {
    std::shared_ptr<cbase::MessageLoopProxy> proxy = loop_.proxy();
    std::shared_ptr<std::atomic<int>> ran = ran_;
    return [proxy, ran](UiTask task) {
      proxy->PostTask([ran, task] {
        task();
        ++*ran;
      });
    };
  }
  // Tasks run from poster() so far.
  int ran() const { return ran_->load(); }

  // Runs the loop until |done| holds (checked after every task, and at
  // least every 10 ms) or |timeout_ms| of real time has passed.
  bool RunUntil(std::function<bool()> done, DWORD timeout_ms) {
    if (done()) return true;
    done_ = std::move(done);
    deadline_ = ::GetTickCount64() + timeout_ms;
    std::atomic<bool> stop{false};
    std::shared_ptr<cbase::MessageLoopProxy> proxy = loop_.proxy();
    std::thread ticker([&stop, proxy] {
      while (!stop) {
        proxy->PostTask([] {});
        ::Sleep(10);
      }
    });
    loop_.Run();
    stop = true;
    ticker.join();
    const bool result = done_();
    done_ = nullptr;
    return result;
  }
  void RunFor(DWORD ms) {
    RunUntil([] { return false; }, ms);
  }

 private:
  void WillProcessTask(const cbase::QueuedTask&) override {}
  void DidProcessTask(const cbase::QueuedTask&) override {
    if (done_ && (done_() || ::GetTickCount64() >= deadline_)) loop_.QuitWhenIdle();
  }

  cbase::MessageLoop loop_;
  std::shared_ptr<std::atomic<int>> ran_ = std::make_shared<std::atomic<int>>(0);
  std::function<bool()> done_;
  ULONGLONG deadline_ = 0;
};
bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What one download did, seen from the UI thread.
struct DownloadRun {
  bool ended = false;
  int done_calls = 0;
  PackageDownload::Result result;
  std::vector<DWORD> delays;
  std::vector<std::pair<int64_t, int64_t>> progress;
  ULONGLONG elapsed_ms = 0;
};

class PackageDownloadTest : public ::testing::Test {
 protected:
  // Downloads |url| into a fresh package path and waits (up to a generous
  // minute) for the end. Retries start at once and their delays are
  // recorded.
  DownloadRun Download(const std::wstring& url,
                       DWORD stall_timeout_ms = PackageDownload::kStallTimeoutMs) {
    DownloadRun run;
    PostToUIFunction post = ui_.poster();
    PackageDownload::RetryScheduler schedule = [this, &run, post](DWORD delay, UiTask task) {
      run.delays.push_back(delay);
      if (before_retry_) before_retry_();
      post(std::move(task));
    };
    PackageDownload download(post, schedule);
    download.set_stall_timeout(stall_timeout_ms);
    package_ = dir_.Child(L"package" + std::to_wstring(++count_) + L".exe");
    const ULONGLONG start = ::GetTickCount64();
    download.Start(
        url, package_, expected_sha256_,
        [&run](int64_t received, int64_t total) { run.progress.emplace_back(received, total); },
        [&run](const PackageDownload::Result& result) {
          ++run.done_calls;
          run.result = result;
        });
    run.ended = ui_.RunUntil([&run] { return run.done_calls > 0; }, 60000);
    run.elapsed_ms = ::GetTickCount64() - start;
    EXPECT_FALSE(download.running());
    return run;
  }

  // Checks a download that failed after every retry without any answer.
  void ExpectFailedWithoutAnswer(const DownloadRun& run, const std::string& what) {
    ASSERT_TRUE(run.ended) << what;
    EXPECT_EQ(1, run.done_calls) << what;
    EXPECT_FALSE(run.result.succeeded) << what;
    EXPECT_EQ(0u, run.result.status) << what;
    EXPECT_EQ(kAllRetries, run.delays) << what;
    EXPECT_TRUE(run.progress.empty()) << what;
    EXPECT_FALSE(Exists(package_)) << what;
    EXPECT_FALSE(Exists(PackageDownload::PartPath(package_))) << what;
  }

  ScopedTempDir dir_;
  TestUiThread ui_;
  std::wstring package_;
  int count_ = 0;
  // What Download expects the package's hash to be ("" for no check), and
  // what it does before each retry.
  std::string expected_sha256_;
  std::function<void()> before_retry_;
};

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251 + seed) % 256);
  return bytes;
}

std::string HashOf(const std::string& bytes) {
  std::unique_ptr<Sha256> hash = Sha256::Create();
  if (!hash || !hash->Update(bytes.data(), bytes.size())) return std::string();
  return hash->FinishHex();
}

std::wstring UntrustedAddress() {
  return L"https://localhost:" + std::to_wstring(TestService::Get().untrusted_https_port) +
         L"/packages/app.exe";
}

TEST_F(PackageDownloadTest, AnUntrustedCertificateEndsInFailureEveryTime) {
  if (!TestService::Get().available || TestService::Get().untrusted_https_port <= 0) {
    GTEST_SKIP() << "no reference service with an untrusted certificate";
  }
  // The refusal comes in a few milliseconds; the end must come every time.
  for (int i = 0; i < 50; ++i) {
    const DownloadRun run = Download(UntrustedAddress());
    ExpectFailedWithoutAnswer(run, "run " + std::to_string(i));
    if (::testing::Test::HasFailure()) break;
  }
}

TEST_F(PackageDownloadTest, AnUntrustedCertificateEndsWhenTheRetryDelaysHavePassed) {
  if (!TestService::Get().available || TestService::Get().untrusted_https_port <= 0) {
    GTEST_SKIP() << "no reference service with an untrusted certificate";
  }
  // The retries wait on the thread's message loop, in real time.
  LoopUiThread loop;
  PackageDownload download(loop.poster());
  int done_calls = 0;
  PackageDownload::Result result;
  const ULONGLONG start = ::GetTickCount64();
  download.Start(UntrustedAddress(), dir_.Child(L"untrusted.exe"), "", nullptr,
                 [&](const PackageDownload::Result& r) {
                   ++done_calls;
                   result = r;
                 });
  ASSERT_TRUE(loop.RunUntil([&] { return done_calls > 0; }, 60000));
  const ULONGLONG elapsed_ms = ::GetTickCount64() - start;
  EXPECT_EQ(1, done_calls);
  EXPECT_FALSE(result.succeeded);
  // 1 + 2 + 4 seconds of waiting, and little more: four refusals are quick.
  EXPECT_GE(elapsed_ms, 7000u);
  EXPECT_LT(elapsed_ms, 20000u);
}

TEST_F(PackageDownloadTest, ARetryRunsWhenItsTimeComesAndNeverForADestroyedDownload) {
  ScopedFakeClock clock;
  LoopUiThread loop;
  for (const bool destroy : {false, true}) {
    // The first connection is closed at once; a retry would be the second.
    SilentServer server(1);
    ASSERT_NE(0, server.port());
    auto download = std::make_unique<PackageDownload>(loop.poster());
    download->set_stall_timeout(300);
    int done_calls = 0;
    const int ran_before = loop.ran();
    download->Start(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/packages/app.exe",
                    dir_.Child(L"retry.exe"), "", nullptr,
                    [&](const PackageDownload::Result&) { ++done_calls; });
    // The refused attempt has been reported: its retry now waits on the loop.
    ASSERT_TRUE(loop.RunUntil([&] { return loop.ran() > ran_before; }, 20000)) << destroy;
    EXPECT_TRUE(download->running()) << destroy;
    // Real time passing does not make it due; only the loop's clock does.
    loop.RunFor(300);
    EXPECT_EQ(1, server.accepted()) << destroy;

    if (destroy) download.reset();
    clock.AdvanceMs(PackageDownload::kRetryDelaysMs[0]);
    if (destroy) {
      loop.RunFor(500);
      EXPECT_EQ(1, server.accepted());
    } else {
      EXPECT_TRUE(loop.RunUntil([&] { return server.accepted() == 2; }, 10000));
    }
    EXPECT_EQ(0, done_calls) << destroy;
  }
}

TEST_F(PackageDownloadTest, AServerThatGoesSilentAfterRefusingStillEndsTheDownload) {
  for (const bool tls : {true, false}) {
    // Two connections closed at once, then two that never hear a byte (for
    // HTTPS: a TLS handshake that never gets an answer).
    SilentServer server(2);
    ASSERT_NE(0, server.port());
    const std::wstring url = (tls ? L"https://localhost:" : L"http://127.0.0.1:") +
                             std::to_wstring(server.port()) + L"/packages/app.exe";
    const DownloadRun run = Download(url, 300);
    ExpectFailedWithoutAnswer(run, tls ? "https" : "http");
    EXPECT_EQ(4, server.accepted());
  }
}

TEST_F(PackageDownloadTest, OnlyTheBodyOfASuccessfulAnswerMovesTheBar) {
  REQUIRE_APP_SERVICE();
  const std::string bytes(20000, 'p');
  const std::wstring url = PublishPackage(L"bar.exe", bytes);

  // An error page is not the package: a missing package and a busy server
  // (tried again) leave the bar alone.
  for (const wchar_t* fault : {L"?fault_status=404", L"?fault_status=503"}) {
    const DownloadRun failed = Download(url + fault);
    ASSERT_TRUE(failed.ended) << fault;
    EXPECT_FALSE(failed.result.succeeded) << fault;
    EXPECT_NE(0u, failed.result.status) << fault;
    EXPECT_TRUE(failed.progress.empty()) << fault;
  }

  const DownloadRun done = Download(url);
  ASSERT_TRUE(done.ended);
  EXPECT_TRUE(done.result.succeeded);
  EXPECT_EQ(bytes, FileBytes(package_));
  ASSERT_FALSE(done.progress.empty());
  EXPECT_EQ(std::make_pair(int64_t{20000}, int64_t{20000}), done.progress.back());
}

// The hash is made while the bytes are written, so every way the bytes of
// the ".part" file come together must end in the hash of the whole package.
TEST_F(PackageDownloadTest, AResumedDownloadIsCheckedAgainstTheWholePackage) {
  REQUIRE_APP_SERVICE();
  const std::string bytes = Pattern(300000, 1);
  const std::wstring url = PublishPackage(L"hashed_resume.bin", bytes);
  for (const bool right : {true, false}) {
    expected_sha256_ = right ? HashOf(bytes) : HashOf(bytes + "x");
    // Dropped after a third; the second attempt asks for the rest.
    ASSERT_TRUE(testing_support::QueueFault(L"/packages/hashed_resume.bin", {{"drop", 100000}}, 1));
    const DownloadRun run = Download(url);
    testing_support::ClearFaults();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(std::vector<DWORD>{1000}, run.delays);
    EXPECT_TRUE(run.result.resumed);
    EXPECT_EQ(206u, run.result.status);
    EXPECT_EQ(right, run.result.succeeded);
    EXPECT_EQ(right, run.result.held != nullptr);
    if (right) {
      EXPECT_EQ(bytes, FileBytes(package_));
      EXPECT_EQ(expected_sha256_, run.result.sha256);
    } else {
      // A mismatch stays a mismatch: no package, no kept bytes.
      EXPECT_FALSE(Exists(package_));
    }
    EXPECT_FALSE(Exists(PackageDownload::PartPath(package_)));
  }
}

TEST_F(PackageDownloadTest, ResumedPiecesThatDropThemselvesStillAddUpToTheRightHash) {
  REQUIRE_APP_SERVICE();
  const std::string bytes = Pattern(400000, 2);
  const std::wstring url = PublishPackage(L"hashed_drops.bin", bytes);
  expected_sha256_ = HashOf(bytes);
  // Every answer, the resumed ones too, is cut after 60,000 bytes: the
  // kept hash goes from attempt to attempt five times.
  ASSERT_TRUE(testing_support::QueueFault(L"/packages/hashed_drops.bin", {{"drop", 60000}}, 5));
  std::vector<size_t> kept;
  before_retry_ = [&] { kept.push_back(FileBytes(PackageDownload::PartPath(package_)).size()); };
  const DownloadRun run = Download(url);
  testing_support::ClearFaults();
  ASSERT_TRUE(run.ended);
  EXPECT_TRUE(run.result.succeeded);
  EXPECT_EQ((std::vector<size_t>{60000, 120000, 180000, 240000, 300000}), kept);
  EXPECT_EQ(bytes, FileBytes(package_));
  ASSERT_FALSE(run.progress.empty());
  EXPECT_EQ(std::make_pair(int64_t{400000}, int64_t{400000}), run.progress.back());
}

TEST_F(PackageDownloadTest, APackageChangedBeforeTheResumptionIsHashedFromItsFirstByte) {
  REQUIRE_APP_SERVICE();
  const std::string first = Pattern(300000, 3);
  const std::string second = Pattern(250000, 4);
  const std::wstring url = PublishPackage(L"hashed_changed.bin", first);
  // Between the drop and the retry the package changes: If-Range no longer
  // matches and the server sends the whole new package with 200.
  before_retry_ = [&] { PublishPackage(L"hashed_changed.bin", second); };
  for (const bool expect_new : {true, false}) {
    PublishPackage(L"hashed_changed.bin", first);
    expected_sha256_ = HashOf(expect_new ? second : first);
    ASSERT_TRUE(
        testing_support::QueueFault(L"/packages/hashed_changed.bin", {{"drop", 100000}}, 1));
    const DownloadRun run = Download(url);
    testing_support::ClearFaults();
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(std::vector<DWORD>{1000}, run.delays);
    EXPECT_EQ(200u, run.result.status);
    EXPECT_FALSE(run.result.resumed);
    EXPECT_EQ(expect_new, run.result.succeeded);
    EXPECT_EQ(expect_new, Exists(package_));
    EXPECT_EQ(expect_new ? second : std::string(), FileBytes(package_));
  }
}

TEST_F(PackageDownloadTest, KeptBytesThatChangedOnDiskAreNotResumedFrom) {
  REQUIRE_APP_SERVICE();
  const std::string bytes = Pattern(300000, 5);
  const std::wstring url = PublishPackage(L"hashed_tampered.bin", bytes);
  expected_sha256_ = HashOf(bytes);
  ASSERT_TRUE(testing_support::QueueFault(L"/packages/hashed_tampered.bin", {{"drop", 100000}}, 1));
  // Something adds to the kept bytes behind the download's back: they no
  // longer match the hash kept for them, so the retry starts over.
  before_retry_ = [&] {
    const std::wstring part = PackageDownload::PartPath(package_);
    testing_support::WriteBytes(part, FileBytes(part) + "junk");
  };
  const DownloadRun run = Download(url);
  testing_support::ClearFaults();
  ASSERT_TRUE(run.ended);
  EXPECT_TRUE(run.result.succeeded);
  EXPECT_FALSE(run.result.resumed);
  EXPECT_EQ(200u, run.result.status);
  EXPECT_EQ(bytes, FileBytes(package_));
}

}  // namespace
