#include "../core/window.h"
