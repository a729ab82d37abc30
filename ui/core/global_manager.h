// GlobalManager: the process-wide resources of the UI toolkit.
//
// Where skin resources live (a folder, or the embedded resource archive that
// is searched first while it is open), the named fonts, text colours and
// attribute classes declared in global.xml, the language strings and the
// display scale. All members are static: the tables live from start-up to
// Shutdown() and are owned here (fonts are GDI objects deleted on removal).
//
// Threading: everything except the display scale belongs to the UI thread and
// is not locked; debug builds check (cbase::ThreadChecker) that one thread
// uses the tables, the first to touch them until Shutdown(). The
// display scale may be read from any thread.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "ui/render/image_info.h"

namespace ui {

class Control;

// Makes a control for a skin element name the toolkit does not know, or
// returns nullptr.
using CreateControlCallback = std::function<Control*(const std::wstring& element_name)>;

// A named font of the skin. |metrics| starts zeroed; the renderer fills it in
// when it first measures with the font.
struct FontInfo {
  cbase::ScopedFont handle;
  std::wstring face_name;
  int size = 0;
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool strikeout = false;
  TEXTMETRICW metrics = {};
};

class GlobalManager {
 public:
  GlobalManager() = delete;

  // Releases every table: fonts (their handles deleted), colours, classes,
  // language strings, cached layouts, the resource path and the callback. The
  // resource archive is closed too.
  static void Shutdown();

  // --- Resource location ---------------------------------------------------
  // Stores |path|; a non-empty path not ending in "\" or "/" gets a "\".
  static void SetResourcePath(const std::wstring& path);
  static const std::wstring& GetResourcePath();

  // --- Resource archive ------------------------------------------------------
  // Opens the zip archive held in |data| (|size| bytes, kept alive by the
  // caller until CloseResourceArchive) as the resource archive, closing any
  // earlier one. While it is open, resources are looked up in it first.
  static bool OpenResourceArchive(const void* data, size_t size);
  static void CloseResourceArchive();
  static bool IsArchiveOpen();
  // The bytes of the entry for |path| (normalised to the archive's form);
  // empty for an empty entry. Nothing when the archive is closed, the path is
  // empty, the entry is missing, or it cannot be unpacked.
  static std::optional<std::vector<unsigned char>> GetArchiveData(const std::wstring& path);
  // Whether the open archive holds an entry for |path| (nothing is unpacked).
  static bool HasArchiveEntry(const std::wstring& path);

  // --- Fonts -----------------------------------------------------------------
  // Creates a GDI font from the stock GUI font with |face_name| ("system"
  // stands for the platform's UI face), height -size (scaled when the display
  // scale is on), and stores it under |id| ("0", "1", ... for an empty id,
  // from the number of fonts stored). Returns the handle, or nullptr when the
  // font could not be created (then nothing is stored).
  static HFONT AddFont(const std::wstring& id, const std::wstring& face_name, int size, bool bold,
                       bool underline, bool italic, bool strikeout, bool is_default);
  // An empty id means the default font; an unknown id gives nullptr.
  static HFONT GetFont(const std::wstring& id);
  static FontInfo* GetFontInfo(const std::wstring& id);
  static const std::wstring& GetDefaultFontId();
  static void RemoveAllFonts();

  // --- Text colours ------------------------------------------------------------
  static void AddTextColor(const std::wstring& name, DWORD argb);
  // |value| as written in global.xml: "#" and hexadecimal AARRGGBB. The first
  // character is not checked; an empty value is not stored.
  static void AddTextColor(const std::wstring& name, const std::wstring& value);
  // 0 for an unknown name.
  static DWORD GetTextColor(const std::wstring& name);
  // Names of the colours text starts with, and disabled text with
  // ("defaultfontcolor" and "disabledfontcolor" of global.xml); initially
  // "textdefaultcolor" and "textdefaultdisablecolor".
  static const std::wstring& GetDefaultTextColor();
  static void SetDefaultTextColor(const std::wstring& name);
  static const std::wstring& GetDefaultDisabledTextColor();
  static void SetDefaultDisabledTextColor(const std::wstring& name);

  // --- Attribute classes -------------------------------------------------------
  static void AddClass(const std::wstring& name, const std::wstring& attributes);
  // "" for an unknown class.
  static std::wstring GetClassAttributes(const std::wstring& name);

  // --- Control factory hook ------------------------------------------------------
  static void SetGlobalCreateControlCallback(const CreateControlCallback& callback);
  static const CreateControlCallback& GetGlobalCreateControlCallback();

  // --- Decoded images -----------------------------------------------------------
  // The shared image for |full_path|: the cached one while some holder keeps
  // it alive, otherwise decoded afresh (from the resource archive while it is
  // open and holds the file, else from disk). nullptr when it cannot be
  // decoded. The cache holds weak references only: an image lives exactly as
  // long as some control holds it, and its release removes its cache entry.
  // |scale| says which display scale the file is drawn for and which one to
  // decode it at (see ImageScale); a resampled image is cached apart.
  static std::shared_ptr<ImageInfo> GetImage(const std::wstring& full_path,
                                             ImageScale scale = ImageScale());
  // Starts decoding the image GetImage(full_path, scale) gives on the thread
  // pool, for a window's first paint: nothing when it is cached or being
  // decoded, or when decoding it needs GDI+ (only PNG files kept at their
  // own scale are decoded ahead). GetImage then takes that decoding, waiting
  // for it if it is still running.
  static void PrefetchImage(const std::wstring& full_path, ImageScale scale = ImageScale());
  // Whether a decoding begun by PrefetchImage is held for the image.
  static bool IsImagePrefetched(const std::wstring& full_path, ImageScale scale = ImageScale());
  // Drops the decodings GetImage has not taken (a window's first frame is
  // out: what it did not draw is not kept).
  static void DropPrefetchedImages();
  // The cache key of |full_path| (and the path() of the image it gives): the
  // disk normalisation, then the archive one while the archive is open, then
  // the target scale when the image is resampled.
  static std::wstring GetImageCacheKey(const std::wstring& full_path,
                                       ImageScale scale = ImageScale());

  // --- Layout cache ---------------------------------------------------------------
  // The first control of the layout file |path| (under the resource path),
  // made with |callback| for element names the toolkit does not know. The
  // first request parses the file and keeps its builder; later requests
  // build from the parsed document again. nullptr when the file does not
  // load or yields no control (nothing is cached then).
  static Control* CreateBoxWithCache(const std::wstring& path,
                                     const CreateControlCallback& callback);
  // Whether a parsed layout is kept for |path|.
  static bool IsLayoutCached(const std::wstring& path);

  // --- Language strings -----------------------------------------------------------
  // Loads the table from |path|: from the resource archive while it is open
  // (no fallback to disk then), otherwise from the file.
  static bool LoadStringTable(const std::wstring& path);
  static bool LoadStringTableFromFile(const std::wstring& path);
  // |data| holds the file's bytes.
  static bool LoadStringTableFromMemory(const std::vector<unsigned char>& data);
  static std::wstring GetText(const std::wstring& id);

  // --- Display scale ------------------------------------------------------------------
  // Percent (initially 100) and the adapt-to-DPI flag (initially off), kept
  // by ui::DisplayScale. The assistant turns scaling on at start-up with its
  // monitor's scale and changes the percent on WM_DPICHANGED.
  static int GetDpiScale();
  static bool IsAdaptDpi();
  static void SetDisplayScale(int percent, bool adapt_dpi);
  // |length| × percent / 100, rounded, when the flag is on and percent is not
  // 100; otherwise unchanged.
  static int ScaleLength(int length);
  // Left and top scaled; width and height scaled and added back.
  static void ScaleRect(RECT& rect);
};

}  // namespace ui
