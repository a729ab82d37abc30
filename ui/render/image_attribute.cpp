#include "ui/render/image_attribute.h"

#include <cwchar>

#include "ui/render/display_scale.h"
#include "ui/render/render.h"

namespace ui {

namespace {

bool IsBlank(wchar_t c) { return c <= 32; }

// Four integers separated by one arbitrary character each. Missing numbers
// read as 0; reading never runs past the end of |value|.
RECT ParseRect(const std::wstring& value) {
  LONG numbers[4] = {0, 0, 0, 0};
  const wchar_t* p = value.c_str();
  const wchar_t* const end = p + value.size();
  for (LONG& number : numbers) {
    if (p >= end) break;
    wchar_t* next = nullptr;
    number = std::wcstol(p, &next, 10);
    p = next;
    if (p < end) ++p;  // the separator
  }
  return RECT{numbers[0], numbers[1], numbers[2], numbers[3]};
}

// Each of the four numbers × |percent| / 100, rounded.
RECT ScaleInsets(const RECT& rect, int percent) {
  if (percent == 100) return rect;
  return RECT{::MulDiv(rect.left, percent, 100), ::MulDiv(rect.top, percent, 100),
              ::MulDiv(rect.right, percent, 100), ::MulDiv(rect.bottom, percent, 100)};
}

int ParseInt(const std::wstring& value) {
  return static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
}

}  // namespace

void ImageAttribute::Init() { *this = ImageAttribute(); }

void ImageAttribute::SetImageString(const std::wstring& text) {
  Init();
  image_string = text;
  file = text;
  ModifyAttribute(text);
}

void ImageAttribute::ModifyAttribute(const std::wstring& text) {
  bool scale_dest = true;  // each parse starts scaling dest
  const size_t size = text.size();
  size_t pos = 0;
  while (true) {
    while (pos < size && IsBlank(text[pos])) ++pos;
    if (pos >= size) return;

    const size_t key_start = pos;
    while (pos < size && text[pos] != L'=' && !IsBlank(text[pos])) ++pos;
    const std::wstring key = text.substr(key_start, pos - key_start);

    while (pos < size && IsBlank(text[pos])) ++pos;
    if (pos >= size || text[pos] != L'=') return;
    ++pos;
    while (pos < size && IsBlank(text[pos])) ++pos;
    if (pos >= size || text[pos] != L'\'') return;
    ++pos;
    const size_t close = text.find(L'\'', pos);
    if (close == std::wstring::npos) return;
    const std::wstring value = text.substr(pos, close - pos);
    pos = close + 1;

    if (!value.empty()) {
      if (key == L"file" || key == L"res") {
        file = value;
      } else if (key == L"destscale") {
        scale_dest = value == L"true";
      } else if (key == L"dest") {
        dest = ParseRect(value);
        if (scale_dest) DisplayScale::ScaleRect(dest);
      } else if (key == L"source") {
        source = ParseRect(value);
      } else if (key == L"corner") {
        corner = ParseRect(value);
      } else if (key == L"fade") {
        fade = static_cast<BYTE>(ParseInt(value));
      } else if (key == L"xtiled") {
        xtiled = value == L"true";
      } else if (key == L"ytiled") {
        ytiled = value == L"true";
      } else if (key == L"playcount") {
        play_count = ParseInt(value);
      }
    }

    // Pairs are separated by at least one space.
    if (pos >= size || text[pos] != L' ') return;
  }
}

int ImageAttribute::GetFrameInterval() const {
  return image ? image->GetFrameInterval(current_frame) : 0;
}

bool DrawLoadedImage(IRenderContext* context, const ImageAttribute& attribute,
                     const ImagePlacement& placement, const std::wstring& modifier, int fade) {
  if (!context || !attribute.image) return false;

  ImageAttribute drawn = attribute;
  if (!modifier.empty()) drawn.ModifyAttribute(modifier);

  const RECT& control = placement.control_rect;
  RECT dest = control;
  if (drawn.dest.left != -1 && drawn.dest.top != -1 && drawn.dest.right != -1 &&
      drawn.dest.bottom != -1) {
    dest = RECT{control.left + drawn.dest.left, control.top + drawn.dest.top,
                control.left + drawn.dest.right, control.top + drawn.dest.bottom};
  }
  const ImageInfo& image = *attribute.image;
  // The skin gives source rectangles and corners in pixels of the image at
  // 100 %; the image may be drawn for another scale.
  const int image_percent = image.scale_percent();
  RECT source = drawn.source;
  if (source.left == -1 || source.top == -1 || source.right == -1 || source.bottom == -1) {
    source = RECT{0, 0, image.width(), image.height()};
  } else {
    source = ScaleInsets(source, image_percent);
  }
  const RECT source_corners = ScaleInsets(drawn.corner, image_percent);
  const RECT dest_corners = ScaleInsets(drawn.corner, DisplayScale::GetEffectivePercent());

  // An animated background starts its timer instead; the first tick paints.
  if (placement.background && placement.start_background &&
      ShouldStartPlaying(*placement.background)) {
    placement.start_background();
    return false;
  }

  HBITMAP frame = image.GetFrame(attribute.current_frame);
  if (!frame) frame = image.GetFrame(0);
  context->DrawImage(placement.paint_rect, frame, image.has_alpha(), dest, source, source_corners,
                     dest_corners, fade == -1 ? drawn.fade : static_cast<BYTE>(fade), drawn.xtiled,
                     drawn.ytiled);
  return true;
}

namespace {

bool MayContinue(const ImageAttribute& attribute) {
  if (attribute.play_count > 0) return attribute.loops_played < attribute.play_count;
  if (attribute.play_count == 0) return attribute.playing;
  return true;
}

}  // namespace

bool ShouldStartPlaying(const ImageAttribute& background) {
  // An animation that has played all its loops rests on its last frame.
  const bool played_out =
      background.play_count > 0 && background.loops_played >= background.play_count;
  return background.image && background.image->GetFrameCount() > 1 && background.play_count != 0 &&
         !background.playing && !played_out;
}

int StartPlaying(ImageAttribute& attribute) {
  if (!attribute.image || attribute.image->GetFrameCount() < 2) return 0;
  attribute.playing = true;
  if (!MayContinue(attribute)) {
    attribute.playing = false;
    return 0;
  }
  const int interval = attribute.GetFrameInterval();
  if (interval == 0) attribute.playing = false;
  return interval;
}

FrameStep AdvanceFrame(ImageAttribute& attribute) {
  FrameStep step;
  if (!attribute.image || attribute.image->GetFrameCount() < 2 || !MayContinue(attribute)) {
    attribute.playing = false;
    return step;
  }
  const int old_interval = attribute.GetFrameInterval();
  const int last = attribute.image->GetFrameCount() - 1;
  if (attribute.current_frame < last) {
    ++attribute.current_frame;
  } else {
    ++attribute.loops_played;
    if (!MayContinue(attribute)) {
      // The last loop ended: the animation stays on its last frame.
      attribute.playing = false;
      step.repaint = true;
      return step;
    }
    attribute.current_frame = 0;
  }
  const int new_interval = attribute.GetFrameInterval();
  if (old_interval == 0 || new_interval == 0) {
    attribute.playing = false;
    return step;
  }
  step.keep_playing = true;
  step.repaint = true;
  if (new_interval != old_interval) step.restart_interval = new_interval;
  return step;
}

}  // namespace ui
