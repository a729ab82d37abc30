#include "ui/core/skin_image.h"

#include <windows.h>

#include <cwchar>

#include "ui/core/global_manager.h"
#include "ui/core/path_util.h"
#include "ui/render/display_scale.h"
#include "ui/render/image_info.h"

namespace ui {

namespace {

// "@2x" for 200, "@1.5x" for 150: the factor without decimals when it is
// whole, else with one.
std::wstring VariantPath(const std::wstring& path, int percent) {
  wchar_t factor[32];
  if (percent % 100 == 0) {
    std::swprintf(factor, 32, L"%d", percent / 100);
  } else {
    std::swprintf(factor, 32, L"%.1f", percent / 100.0);
  }
  const size_t name_start = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  const size_t stem_end =
      (dot != std::wstring::npos && (name_start == std::wstring::npos || dot > name_start))
          ? dot
          : path.size();
  return path.substr(0, stem_end) + L"@" + factor + L"x" + path.substr(stem_end);
}

// In the resource archive while it is open, else on disk.
bool ImageFileExists(const std::wstring& path) {
  if (GlobalManager::IsArchiveOpen() && GlobalManager::HasArchiveEntry(path)) return true;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The variants a skin ships, smallest first.
constexpr int kVariantPercents[] = {150, 200};

}  // namespace

std::wstring GetDisplayScalePath(const std::wstring& path) {
  const int scale = DisplayScale::GetPercent();
  if (scale <= 100) return path;
  const std::wstring candidate = VariantPath(path, scale);
  return ImageFileExists(candidate) ? candidate : path;
}

ScaledImageFile ResolveScaledImage(const std::wstring& path) {
  const int target = DisplayScale::GetEffectivePercent();
  ScaledImageFile chosen{path, ImageScale{100, target}};
  if (target <= 100) return chosen;
  const std::wstring exact = VariantPath(path, target);
  if (ImageFileExists(exact)) return ScaledImageFile{exact, ImageScale{target, target}};
  // The nearest larger variant scaled down is sharper than the plain file
  // scaled up; without one, the largest there is.
  for (const int percent : kVariantPercents) {
    const std::wstring variant = VariantPath(path, percent);
    if (!ImageFileExists(variant)) continue;
    chosen = ScaledImageFile{variant, ImageScale{percent, target}};
    if (percent >= target) break;
  }
  return chosen;
}

std::wstring GetFullImagePath(const std::wstring& resource_folder, const std::wstring& file) {
  if (IsAbsolutePath(file)) return file;
  return GlobalManager::GetResourcePath() + resource_folder + file;
}

SIZE GetDisplaySize(const ImageInfo& image) {
  const int target = DisplayScale::GetEffectivePercent();
  const int own = image.scale_percent();
  if (own == target || own <= 0) return SIZE{image.width(), image.height()};
  return SIZE{::MulDiv(image.width(), target, own), ::MulDiv(image.height(), target, own)};
}

bool LoadAttributeImage(const std::wstring& resource_folder, ImageAttribute& attribute) {
  // Finding the variant looks for files; that is done again only when the
  // path or the scale changes, not on every paint.
  const std::wstring full_path = GetFullImagePath(resource_folder, attribute.file);
  const int percent = DisplayScale::GetEffectivePercent();
  if (attribute.resolved_from != full_path || attribute.resolved_percent != percent) {
    const ScaledImageFile source = ResolveScaledImage(full_path);
    attribute.resolved_from = full_path;
    attribute.resolved_percent = percent;
    attribute.resolved_path = source.path;
    attribute.resolved_scale = source.scale;
  }
  if (!attribute.image ||
      attribute.image->path() !=
          GlobalManager::GetImageCacheKey(attribute.resolved_path, attribute.resolved_scale)) {
    attribute.image = GlobalManager::GetImage(attribute.resolved_path, attribute.resolved_scale);
  }
  return attribute.image != nullptr;
}

void PrefetchAttributeImage(const std::wstring& resource_folder, const ImageAttribute& attribute) {
  if (attribute.file.empty()) return;
  const ScaledImageFile source =
      ResolveScaledImage(GetFullImagePath(resource_folder, attribute.file));
  GlobalManager::PrefetchImage(source.path, source.scale);
}

bool DrawImage(IRenderContext* context, ImageAttribute& attribute, const ImagePlacement& placement,
               const std::wstring& modifier, int fade) {
  if (!context || attribute.file.empty()) return false;
  if (!LoadAttributeImage(placement.resource_folder, attribute)) {
    attribute.Init();
    return false;
  }
  return DrawLoadedImage(context, attribute, placement, modifier, fade);
}

}  // namespace ui
