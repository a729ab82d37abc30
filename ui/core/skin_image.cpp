#include "ui/core/skin_image.h"

#include <windows.h>

#include <cwchar>

#include "ui/core/global_manager.h"
#include "ui/core/path_util.h"
#include "ui/render/display_scale.h"
#include "ui/render/image_info.h"

namespace ui {

std::wstring GetDisplayScalePath(const std::wstring& path) {
  const int scale = DisplayScale::GetPercent();
  if (scale <= 100) return path;

  wchar_t factor[32];
  if (scale % 100 == 0) {
    std::swprintf(factor, 32, L"%d", scale / 100);
  } else {
    std::swprintf(factor, 32, L"%.1f", scale / 100.0);
  }
  const size_t name_start = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  const size_t stem_end =
      (dot != std::wstring::npos && (name_start == std::wstring::npos || dot > name_start))
          ? dot
          : path.size();
  const std::wstring candidate =
      path.substr(0, stem_end) + L"@" + factor + L"x" + path.substr(stem_end);
  const DWORD attributes = ::GetFileAttributesW(candidate.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return candidate;
  }
  return path;
}

std::wstring GetFullImagePath(const std::wstring& resource_folder, const std::wstring& file) {
  if (IsAbsolutePath(file)) return GetDisplayScalePath(file);
  return GetDisplayScalePath(GlobalManager::GetResourcePath() + resource_folder + file);
}

bool LoadAttributeImage(const std::wstring& resource_folder, ImageAttribute& attribute) {
  const std::wstring full_path = GetFullImagePath(resource_folder, attribute.file);
  if (!attribute.image || attribute.image->path() != GlobalManager::GetImageCacheKey(full_path)) {
    attribute.image = GlobalManager::GetImage(full_path);
  }
  return attribute.image != nullptr;
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
