#include "base/win_message_pump.h"

#include <windows.h>

namespace cbase {

void WinMessagePump::RunWithDispatcher(Delegate* delegate, MessageDispatcher* dispatcher) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  PumpRunState state;
  state.run_depth = state_ ? state_->run_depth + 1 : 1;
  state.should_quit = false;
  state.delegate = delegate;
  state.dispatcher = dispatcher;
  PumpRunState* previous = state_;
  state_ = &state;
  DoRunLoop();
  state_ = previous;
}

void WinMessagePump::Quit() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (state_) state_->should_quit = true;
}

}  // namespace cbase
