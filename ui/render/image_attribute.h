// One image slot of a control (background, state images, progress bar...):
// the image attribute string of the skin parsed into placement, slicing, fade
// and tiling, the shared decoded image, and the play state of animations.
//
// The string is either a bare file name or key='value' pairs:
//   file='../public/bk/bk_shadow.png' corner='30,30,30,30' fade='200'
// Owned by its control; UI thread only.
#ifndef UI_RENDER_IMAGE_ATTRIBUTE_H_
#define UI_RENDER_IMAGE_ATTRIBUTE_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "ui/render/image_info.h"

namespace ui {

class IRenderContext;

struct ImageAttribute {
  std::wstring image_string;
  std::wstring file;
  RECT dest = {-1, -1, -1, -1};    // relative to the control; -1 = not set
  RECT source = {-1, -1, -1, -1};  // part of the image; -1 = not set
  RECT corner = {0, 0, 0, 0};      // nine-grid insets kept unstretched
  BYTE fade = 255;
  bool xtiled = false;
  bool ytiled = false;
  // Animations: -1 plays forever, n > 0 plays n loops, 0 waits to be started.
  int play_count = -1;

  std::shared_ptr<ImageInfo> image;  // decoded on first draw
  // Which file and scale |image| comes from (ui/core's LoadAttributeImage),
  // and the full path and display percent that choice was made for.
  std::wstring resolved_from;
  int resolved_percent = 0;
  std::wstring resolved_path;
  ImageScale resolved_scale;
  int current_frame = 0;
  int loops_played = 0;
  bool playing = false;

  // Back to the defaults, dropping the image.
  void Init();
  // Resets, then takes |text| as both the image string and the file and
  // parses it: a bare file name stays the file, a file='...' pair replaces it.
  void SetImageString(const std::wstring& text);
  // Applies the key='value' pairs of |text| on top of the current values.
  // Parsing ends silently at the first malformed pair; what came before stays.
  void ModifyAttribute(const std::wstring& text);

  // Interval of the current frame in milliseconds; 0 for still images.
  int GetFrameInterval() const;
};

// Where a control draws its images.
struct ImagePlacement {
  RECT control_rect = {};
  RECT paint_rect = {};  // the part being repainted
  // The window's skin folder (relative to the resource path), e.g. "basic\";
  // read when the image is resolved, not when it is drawn.
  std::wstring resource_folder;
  // The control's background image, and how to start playing it when it is
  // an animation that should play by itself (both optional).
  const ImageAttribute* background = nullptr;
  std::function<void()> start_background;
};

// Draws the current frame of the image |attribute| already holds (the toolkit
// core resolves and loads it, see ui/core/skin_image.h) with an optional
// |modifier| string (parsed onto a copy) and a |fade| that overrides the
// attribute's unless it is -1. Returns whether anything was drawn: false
// without an image, and when the placement's background animation is started
// instead (its first tick paints).
bool DrawLoadedImage(IRenderContext* context, const ImageAttribute& attribute,
                     const ImagePlacement& placement, const std::wstring& modifier = std::wstring(),
                     int fade = -1);

// Whether |background| is an animation that should start playing by itself
// now: several frames, a play count other than 0, not playing yet.
bool ShouldStartPlaying(const ImageAttribute& background);

// What a control's animation timer does after one tick.
struct FrameStep {
  bool keep_playing = false;
  bool repaint = false;
  int restart_interval = 0;  // > 0: restart the timer with this interval (ms)
};

// Starts playing a multi-frame image. Returns the timer interval for the
// current frame, or 0 when the image cannot play (it then stays stopped).
int StartPlaying(ImageAttribute& attribute);
// One timer tick: advances to the next frame, counting loops.
FrameStep AdvanceFrame(ImageAttribute& attribute);

}  // namespace ui

#endif  // UI_RENDER_IMAGE_ATTRIBUTE_H_
