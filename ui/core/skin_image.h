// Skin images resolved and drawn: an image attribute's file name turned into
// a full path (the resource path, the window's skin folder, the display-scale
// variant), its decoded image taken from GlobalManager's shared cache, and
// then handed to the renderer. The renderer only draws images it is given;
// finding them is the toolkit core's business.
//
// Free functions over attributes the controls own. UI thread only (the image
// cache and the resource path belong to it).
#pragma once

#include <string>

#include "ui/core/global_manager.h"
#include "ui/render/image_attribute.h"

namespace ui {

class IRenderContext;

// Resource path + the window's skin folder + |file| for relative names,
// |file| alone for absolute ones.
std::wstring GetFullImagePath(const std::wstring& resource_folder, const std::wstring& file);

// The "@2x" / "@1.5x" file next to |path| when the display scale is above
// 100 percent and such a file exists (in the resource archive while it is
// open, or on disk); otherwise |path|.
std::wstring GetDisplayScalePath(const std::wstring& path);

// The file to decode for the image |path| and the scales to decode it at.
// At 100 % (or while lengths do not follow the display scale) that is |path|
// itself; above, the variant made for the display scale, else the nearest
// larger one ("@1.5x" for 125 %, "@2x" for 175 %) scaled down, else the
// largest there is or the plain file, scaled up.
struct ScaledImageFile {
  std::wstring path;
  ImageScale scale;
};
ScaledImageFile ResolveScaledImage(const std::wstring& path);

// The size |image| covers on the window at the current display scale (its
// pixel size when it was decoded for that scale).
SIZE GetDisplaySize(const ImageInfo& image);

// Gets the attribute's image from the cache unless it already holds the one
// for its current full path. False when it cannot be loaded.
bool LoadAttributeImage(const std::wstring& resource_folder, ImageAttribute& attribute);

// Has the attribute's image decoded ahead of the paint that draws it, under
// the file and scale LoadAttributeImage will ask for
// (GlobalManager::PrefetchImage).
void PrefetchAttributeImage(const std::wstring& resource_folder, const ImageAttribute& attribute);

// Loads the attribute's image (see LoadAttributeImage), then draws it as
// DrawLoadedImage does. Returns whether anything was drawn. An image that
// cannot be loaded resets the attribute so it is not tried again.
bool DrawImage(IRenderContext* context, ImageAttribute& attribute, const ImagePlacement& placement,
               const std::wstring& modifier = std::wstring(), int fade = -1);

}  // namespace ui
