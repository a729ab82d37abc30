#include "base/one_shot_timer.h"

#include <mmsystem.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace cbase {

struct OneShotTimer::State : std::enable_shared_from_this<State> {
  explicit State(std::function<void()> callback) : callback(std::move(callback)) {}

  // With |lock| held: makes a new arming, due at |due|, replacing any
  // earlier one.
  bool Queue(ULONGLONG due);
  // With |lock| held: takes the current arming out of the queue.
  void Disarm();
  // On the pool, for the firing of |fired|: runs the callback if that is
  // still the current arming.
  void FireIfCurrent(DWORD_PTR fired);
  static void CALLBACK OnPool(PTP_CALLBACK_INSTANCE, void* context);

  const std::function<void()> callback;
  std::mutex lock;
  std::condition_variable finished;
  // Guarded by |lock|.
  DWORD_PTR token = 0;  // the current arming's entry in the queue; 0: none
  int running = 0;      // callbacks running now
  bool closed = false;  // the object is going: no more armings
};

namespace {

// How often the ticker looks for armings that are due, and so how late one
// may fire. A coarse resolution keeps the system's timer rate as it is.
constexpr UINT kTickMs = 100;
constexpr UINT kResolutionMs = 100;

// A firing on its way to the pool.
struct Firing {
  std::weak_ptr<OneShotTimer::State> state;
  DWORD_PTR token;
};

// Every timer's armings, by due time, and the periodic multimedia timer that
// runs while there are any. The ticker learns no timer's address: a firing
// that comes after its arming was stopped or replaced, or after its object
// went, finds nothing.
struct Armings {
  struct Entry {
    std::weak_ptr<OneShotTimer::State> state;
    std::multimap<ULONGLONG, DWORD_PTR>::iterator at;
  };

  std::mutex lock;
  DWORD_PTR last = 0;
  std::multimap<ULONGLONG, DWORD_PTR> by_due;
  std::unordered_map<DWORD_PTR, Entry> entries;
  UINT ticker = 0;
  bool starting = false;         // an Arm is making the ticker, outside the lock
  std::condition_variable made;  // |starting| has ended
  int ticking = 0;               // ticks between their two locked steps

  // With |lock| held: adds |token|'s entry; false, with nothing added, when
  // there is no memory for it.
  bool Insert(DWORD_PTR token, ULONGLONG due, std::weak_ptr<OneShotTimer::State> state) {
    try {
      const auto at = by_due.emplace(due, token);
      try {
        entries.emplace(token, Entry{std::move(state), at});
      } catch (const std::bad_alloc&) {
        by_due.erase(at);
        return false;
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // With |lock| held: removes |token|'s entry. Answers the ticker to kill
  // (after the lock is let go) when nothing is left for it.
  UINT Remove(DWORD_PTR token) {
    const auto found = entries.find(token);
    if (found != entries.end()) {
      by_due.erase(found->second.at);
      entries.erase(found);
    }
    return TakeIdleTicker();
  }

  UINT TakeIdleTicker() {
    // A tick under way may put refused firings back: it decides then.
    if (!entries.empty() || ticking > 0) return 0;
    // Only a ticker still in the system's list is ever killed: a periodic
    // timer stays there until then, so its number is nobody else's.
    return std::exchange(ticker, 0);
  }

  static void CALLBACK OnTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
};

Armings& TheArmings() {
  static Armings* armings = new Armings;  // ticks may come past exit
  return *armings;
}

void StopTicker(UINT ticker) {
  if (ticker != 0) timeKillEvent(ticker);
}

// The timer whose callback this thread runs: Stop from inside it must not
// wait for itself.
thread_local const OneShotTimer::State* t_firing = nullptr;

void CALLBACK Armings::OnTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  Armings& armings = TheArmings();
  std::vector<Firing> due;
  {
    std::lock_guard<std::mutex> hold(armings.lock);
    const ULONGLONG now = ::GetTickCount64();
    while (!armings.by_due.empty() && armings.by_due.begin()->first <= now) {
      const DWORD_PTR token = armings.by_due.begin()->second;
      const auto entry = armings.entries.find(token);
      if (entry == armings.entries.end()) {
        armings.by_due.erase(armings.by_due.begin());
        continue;
      }
      try {
        due.push_back(Firing{entry->second.state, token});
      } catch (const std::bad_alloc&) {
        break;  // the entry stays for the next tick
      }
      armings.by_due.erase(entry->second.at);
      armings.entries.erase(entry);
    }
    ++armings.ticking;
  }
  for (Firing& firing : due) {
    std::unique_ptr<Firing> handed(new (std::nothrow) Firing(firing));
    if (handed &&
        ::TrySubmitThreadpoolCallback(&OneShotTimer::State::OnPool, handed.get(), nullptr)) {
      handed.release();
      firing.token = 0;  // on its way
    }
  }
  UINT idle = 0;
  {
    std::lock_guard<std::mutex> hold(armings.lock);
    // What the pool took nothing of waits for the next tick (never run here,
    // where it would hold up the animations); without memory even for that,
    // it is lost like an arming that could not be made.
    for (Firing& firing : due) {
      if (firing.token != 0) armings.Insert(firing.token, 0, std::move(firing.state));
    }
    --armings.ticking;
    // With nothing armed the ticker goes, whichever ticker this tick is
    // (a late tick of one killed a moment ago finds the next): a Disarm
    // during the tick left that to it.
    idle = armings.TakeIdleTicker();
  }
  StopTicker(idle);
}

}  // namespace

bool OneShotTimer::State::Queue(ULONGLONG due) {
  Armings& armings = TheArmings();
  std::unique_lock<std::mutex> hold(armings.lock);
  // The earlier arming goes once the new one is in: a lone watchdog armed
  // again keeps the ticker it has.
  const DWORD_PTR earlier = std::exchange(token, 0);
  const DWORD_PTR next = armings.last + 1 == 0 ? 1 : armings.last + 1;
  if (!armings.Insert(next, due, weak_from_this())) {
    token = earlier;
    hold.unlock();
    Disarm();
    return false;
  }
  armings.last = next;
  token = next;
  if (earlier != 0) armings.Remove(earlier);  // never the last: the ticker stays
  // An Arm that finds the ticker being made waits to see it made; if the
  // making failed, it tries itself. Either way no arming is left without a
  // ticker while Arm answers true.
  armings.made.wait(hold, [&] { return !armings.starting; });
  if (armings.ticker != 0) return true;
  armings.starting = true;
  hold.unlock();
  // Made outside the lock, which the ticker's thread takes: the system may
  // hold its own lock while it calls a ticker.
  const UINT made = timeSetEvent(kTickMs, kResolutionMs, &Armings::OnTick, 0,
                                 TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
  hold.lock();
  armings.starting = false;
  armings.made.notify_all();
  UINT idle = 0;
  if (made != 0) {
    armings.ticker = made;
    idle = armings.TakeIdleTicker();  // everything was stopped meanwhile
  } else {
    armings.Remove(token);
    token = 0;
  }
  hold.unlock();
  StopTicker(idle);
  return made != 0;
}

void OneShotTimer::State::Disarm() {
  if (token == 0) return;
  UINT idle = 0;
  {
    Armings& armings = TheArmings();
    std::lock_guard<std::mutex> hold(armings.lock);
    idle = armings.Remove(token);
  }
  token = 0;
  StopTicker(idle);
}

void CALLBACK OneShotTimer::State::OnPool(PTP_CALLBACK_INSTANCE, void* context) {
  std::unique_ptr<Firing> firing(static_cast<Firing*>(context));
  try {
    if (std::shared_ptr<State> state = firing->state.lock()) state->FireIfCurrent(firing->token);
  } catch (...) {
    // Nothing above a pool callback can take it.
  }
}

void OneShotTimer::State::FireIfCurrent(DWORD_PTR fired) {
  std::unique_lock<std::mutex> hold(lock);
  if (closed || token != fired) return;
  token = 0;
  ++running;
  const State* outer = t_firing;
  t_firing = this;
  hold.unlock();
  // Counted out even when the callback throws: Stop waits for the count.
  struct Finish {
    State& state;
    std::unique_lock<std::mutex>& hold;
    const State* outer;
    ~Finish() {
      hold.lock();
      t_firing = outer;
      --state.running;
      state.finished.notify_all();
    }
  } finish{*this, hold, outer};
  callback();
}

OneShotTimer::OneShotTimer(std::function<void()> callback)
    : state_(std::make_shared<State>(std::move(callback))) {}

OneShotTimer::~OneShotTimer() {
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    // A callback that arms the timer while the destructor waits for it is
    // refused.
    state_->closed = true;
  }
  Stop();
}

bool OneShotTimer::Arm(DWORD delay_ms) {
  std::lock_guard<std::mutex> hold(state_->lock);
  if (state_->closed) return false;
  return state_->Queue(::GetTickCount64() + delay_ms);
}

void OneShotTimer::Stop() {
  State& state = *state_;
  std::unique_lock<std::mutex> hold(state.lock);
  state.Disarm();
  // From inside its own callback nothing is waited for: two callbacks of
  // the timer that each waited for the other would wait for ever.
  if (t_firing == &state) return;
  state.finished.wait(hold, [&] { return state.running == 0; });
}

}  // namespace cbase
