// <gdiplus.h> needs <windows.h> and <objidl.h> before it; include this instead.
#ifndef UI_RENDER_GDIPLUS_FWD_H_
#define UI_RENDER_GDIPLUS_FWD_H_

#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>

#endif  // UI_RENDER_GDIPLUS_FWD_H_
