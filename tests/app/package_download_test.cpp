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
    PackageDownload::RetryScheduler schedule = [&run, post](DWORD delay, UiTask task) {
      run.delays.push_back(delay);
      post(std::move(task));
    };
    PackageDownload download(post, schedule);
    download.set_stall_timeout(stall_timeout_ms);
    package_ = dir_.Child(L"package" + std::to_wstring(++count_) + L".exe");
    const ULONGLONG start = ::GetTickCount64();
    download.Start(
        url, package_, "",
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
};

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

}  // namespace
