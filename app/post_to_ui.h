// How work finished on other threads comes back to the UI thread: the main
// window hands its poster (PostToUI) to the code that starts network
// requests, and completion handlers post their continuation through it.
#pragma once

#include <functional>

using UiTask = std::function<void()>;

// Runs |task| later on the UI thread. Callable from any thread, and still
// callable after the window it posts to has gone: the task is then dropped
// without running. Tasks posted from one thread run in posting order.
using PostToUIFunction = std::function<void(UiTask task)>;
