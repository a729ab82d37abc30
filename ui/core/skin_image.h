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

#include "ui/render/image_attribute.h"

namespace ui {

class IRenderContext;

// Resource path + the window's skin folder + |file| for relative names,
// |file| alone for absolute ones; then the display-scale variant.
std::wstring GetFullImagePath(const std::wstring& resource_folder, const std::wstring& file);

// The "@2x" / "@1.5x" file next to |path| when the display scale is above
// 100 percent and such a file exists on disk; otherwise |path|.
std::wstring GetDisplayScalePath(const std::wstring& path);

// Gets the attribute's image from the cache unless it already holds the one
// for its current full path. False when it cannot be loaded.
bool LoadAttributeImage(const std::wstring& resource_folder, ImageAttribute& attribute);

// Loads the attribute's image (see LoadAttributeImage), then draws it as
// DrawLoadedImage does. Returns whether anything was drawn. An image that
// cannot be loaded resets the attribute so it is not tried again.
bool DrawImage(IRenderContext* context, ImageAttribute& attribute, const ImagePlacement& placement,
               const std::wstring& modifier = std::wstring(), int fade = -1);

}  // namespace ui
