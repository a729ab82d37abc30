#include <windows.h>

#include "ui/core/global_manager.h"
#include "ui/render/render.h"
