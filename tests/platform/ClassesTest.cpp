#include "platform/Classes.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Process.h"

namespace {

class Worker : public TThread {
 public:
  ~Worker() override { Stop(); }  // Body is ours: the worker ends before it goes
  std::function<void(Worker&)> Body;
  using TThread::Synchronize;

 protected:
  void Execute() override { Body(*this); }
};

// Serves the worker's calls until `done` or the time limit.
template <typename Pred>
bool ServeUntil(Pred done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    if (!TThread::CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(Thread, SynchronizedCallsRunOnTheMainThreadAndReturnTheirErrors) {
  Worker w;
  std::atomic<int> state{0};
  bool ranOnMain = false, caught = false;
  w.Body = [&](Worker& self) {
    self.Synchronize([&] { ranOnMain = TThread::IsMainThread(); });
    try {
      self.Synchronize([] { throw EConvertError("bad"); });
    } catch (const EConvertError&) {
      caught = true;
    }
    state = 1;
  };
  bool terminatedOnMain = false;
  w.OnTerminate = [&](TThread&) { terminatedOnMain = TThread::IsMainThread(); };
  w.Start();
  ASSERT_TRUE(ServeUntil([&] { return w.Finished(); }));
  w.WaitFor();
  EXPECT_TRUE(ranOnMain);
  EXPECT_TRUE(caught);
  EXPECT_TRUE(terminatedOnMain);
  EXPECT_EQ(state.load(), 1);
  EXPECT_FALSE(w.FatalException);
}

TEST(Thread, AnExceptionEndingExecuteIsKept) {
  Worker w;
  w.Body = [](Worker&) { throw EOSError("gone"); };
  w.Start();
  w.WaitFor();
  ASSERT_TRUE(w.FatalException);
  try {
    std::rethrow_exception(w.FatalException);
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message(), "gone");
  }
}

TEST(Thread, ALowerPriorityWorkerRunsOneNiceStepBelowTheProcess) {
  errno = 0;
  const int own = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
  ASSERT_EQ(errno, 0);
  for (auto [priority, expected] : {std::pair{TThread::TPriority::Normal, own}, {TThread::TPriority::Lower, own + 1}}) {
    Worker w;
    int seen = -100;
    w.Body = [&](Worker&) { seen = ::getpriority(PRIO_PROCESS, id_t(::gettid())); };
    w.Priority = priority;
    w.Start();
    w.WaitFor();
    EXPECT_EQ(seen, own >= 19 ? own : expected);
  }
}

TEST(Thread, DestroyingAWorkerBlockedInSynchronizeCompletes) {
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done) std::abort();  // the destructor deadlocked
  });
  std::atomic<int> calls{0};
  {
    Worker w;
    w.Body = [&](Worker& self) {
      while (!self.Terminated()) self.Synchronize([&] { ++calls; });
    };
    w.Start();
    while (calls == 0) TThread::CheckSynchronize();
  }  // nothing serves the worker but the destructor's wait
  done = true;
  watchdog.join();
  EXPECT_GT(calls.load(), 0);
}

TEST(Process, CommandLinesSplitAsWindowsSplitsThem) {
  using V = std::vector<WideString>;
  EXPECT_EQ(SplitCommandLine(u"notepad a.txt"), (V{u"notepad", u"a.txt"}));
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\x.exe\" \"a b\" c"), (V{u"C:\\Program Files\\x.exe", u"a b", u"c"}));
  EXPECT_EQ(SplitCommandLine(u"p a\\\\\\\"b c\\d \"e\"\"f\""), (V{u"p", u"a\\\"b", u"c\\d", u"e\"f"}));
  EXPECT_EQ(SplitCommandLine(u"p \"\" x"), (V{u"p", u"", u"x"}));
  EXPECT_EQ(SplitCommandLine(u""), (V{u""}));
}

TEST(Process, StartsProgramsAndReportsThoseThatCannotStart) {
  EXPECT_NO_THROW(CreateProcess(u"true --ignored"));
  try {
    CreateProcess(u"sorvane-no-such-program x");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message().rfind("System Error.  Code: 2.\r\n", 0), 0u) << e.Message();
  }
  EXPECT_THROW(CreateProcess(u""), EOSError);
}
}  // namespace
