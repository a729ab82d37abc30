#pragma once

#include <windows.h>

#include "base/tick_clock.h"
#include "ui/animation/timer_pulse.h"
