#include "base/win_io_message_pump.h"

#include <windows.h>

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "base/message_loop.h"
#include "base/monotonic_clock.h"

namespace cbase {
namespace {

// One end of an overlapped pipe whose reads complete on the I/O loop.
class PipeReader : public IOHandler {
 public:
  PipeReader(const wchar_t* name, std::vector<std::string>* log) : log_(log) {
    server_ = CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                               PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    client_ = CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  ~PipeReader() override {
    CloseHandle(client_);
    CloseHandle(server_);
  }
  bool ok() const { return server_ != INVALID_HANDLE_VALUE && client_ != INVALID_HANDLE_VALUE; }
  HANDLE server() const { return server_; }

  void StartRead() {
    std::memset(&context_, 0, sizeof(context_));
    context_.handler = this;
    ReadFile(server_, buffer_, sizeof(buffer_), nullptr, &context_.overlapped);
  }
  void Write(const std::string& text) {
    DWORD written = 0;
    WriteFile(client_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }

  void OnIOCompleted(IOContext* context, DWORD bytes, DWORD error) override {
    EXPECT_EQ(context, &context_);
    log_->push_back("read '" + std::string(buffer_, bytes) + "' error " + std::to_string(error) +
                    (MessageLoop::current() ? " on loop" : ""));
    if (on_read) on_read();
  }
  std::function<void()> on_read;

 private:
  std::vector<std::string>* log_;
  HANDLE server_;
  HANDLE client_;
  IOContext context_;
  char buffer_[64];
};

struct RecordingIOObserver : IOObserver {
  explicit RecordingIOObserver(std::vector<std::string>* log) : log(log) {}
  void WillProcessIOEvent() override { log->push_back("will"); }
  void DidProcessIOEvent() override { log->push_back("did"); }
  std::vector<std::string>* log;
};

TEST(WinIOMessagePumpTest, CompletionsReachTheirHandlerBetweenObserversAmongTasks) {
  std::vector<std::string> log;
  IOMessageLoop loop;
  PipeReader reader(L"\\\\.\\pipe\\cbase_io_test_1", &log);
  ASSERT_TRUE(reader.ok());
  ASSERT_TRUE(loop.RegisterIOHandler(reader.server(), &reader));
  RecordingIOObserver observer(&log);
  loop.AddIOObserver(&observer);
  reader.on_read = [&] { loop.QuitWhenIdle(); };
  reader.StartRead();
  loop.PostTask([&] { log.push_back("task"); });
  std::thread writer([&] {
    Sleep(5);
    reader.Write("hello");
  });
  loop.Run();
  writer.join();
  loop.RemoveIOObserver(&observer);
  EXPECT_EQ(log, (std::vector<std::string>{"task", "will", "read 'hello' error 0 on loop", "did"}));
}

TEST(WinIOMessagePumpTest, WaitForOneHandlerKeepsOtherCompletionsForTheLoop) {
  std::vector<std::string> log;
  IOMessageLoop loop;
  PipeReader first(L"\\\\.\\pipe\\cbase_io_test_2a", &log);
  PipeReader second(L"\\\\.\\pipe\\cbase_io_test_2b", &log);
  ASSERT_TRUE(first.ok() && second.ok());
  ASSERT_TRUE(loop.RegisterIOHandler(first.server(), &first));
  ASSERT_TRUE(loop.RegisterIOHandler(second.server(), &second));
  first.StartRead();
  second.StartRead();
  first.Write("one");
  second.Write("two");
  // Whatever order the port hands them out in, only `second` is handled now.
  while (log.empty()) ASSERT_TRUE(loop.WaitForIOCompletion(5000, &second));
  EXPECT_EQ(log, (std::vector<std::string>{"read 'two' error 0 on loop"}));
  first.on_read = [&] { loop.QuitWhenIdle(); };
  loop.Run();
  EXPECT_EQ(log.back(), "read 'one' error 0 on loop");
}

TEST(WinIOMessagePumpTest, ManyScheduleWorkGiveOneWakeUpPacket) {
  WinIOMessagePump pump;
  struct Counting : MessagePump::Delegate {
    WinIOMessagePump* pump;
    int work_calls = 0;
    bool DoWork() override {
      ++work_calls;
      return false;
    }
    bool DoDelayedWork(int64_t* next) override {
      *next = 0;
      return false;
    }
    bool DoIdleWork() override {
      pump->Quit();
      return false;
    }
  } delegate;
  delegate.pump = &pump;
  for (int i = 0; i < 100; ++i) pump.ScheduleWork();
  pump.Run(&delegate);
  // Turn 1 takes the wake-up packet, turn 2 finds nothing and quits. With a
  // packet per ScheduleWork there would be a turn per packet.
  EXPECT_EQ(delegate.work_calls, 2);
}

}  // namespace
}  // namespace cbase
