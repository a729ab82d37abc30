#pragma once

#include "ui/control/control.h"
#include "ui/toast/toast.h"
