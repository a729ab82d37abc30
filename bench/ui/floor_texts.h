// Texts a benchmark floor draws through GDI+ the way the skinned windows draw
// theirs: the font made from the wide LOGFONTW (through an HFONT, GDI+ reads
// the face name in the ANSI code page and loses a Chinese one) and made once
// per frame, as a window keeps its fonts; typographic layout; a brush never
// fully opaque, which keeps GDI+ to grey-scale anti-aliasing.
//
// GDI+ must be started; any thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct FloorText {
  std::wstring text;
  LOGFONTW font;
  RECT box;
  bool single_line;
  DWORD color;  // ARGB
};

void DrawFloorTexts(HDC dc, const std::vector<FloorText>& texts);
