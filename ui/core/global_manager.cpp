#include "ui/core/global_manager.h"

#include <windows.h>

#include <versionhelpers.h>

#include <cwchar>
#include <new>
#include <set>
#include <stdexcept>

#include "archive/zip_reader.h"
#include "base/thread_checker.h"
#include "base/utf8.h"
#include "ui/core/path_util.h"
#include "ui/core/prefetched_images.h"
#include "ui/core/string_table.h"
#include "ui/core/window_builder.h"
#include "ui/render/display_scale.h"
#include "ui/render/image_info.h"
#include "ui/render/png_decoder.h"

namespace ui {
namespace {

struct GlobalState {
  std::wstring resource_path;
  std::map<std::wstring, FontInfo> fonts;
  std::wstring default_font_id;
  std::map<std::wstring, DWORD> text_colors;
  std::map<std::wstring, std::wstring> classes;
  CreateControlCallback create_control;
  StringTable strings;
  ZipReader* archive = nullptr;
  // Weak references: the holders own the images.
  std::map<std::wstring, std::weak_ptr<ImageInfo>> images;
  // Decodings begun ahead of a first paint, by cache key; made by the first
  // PrefetchImage, on the thread that owns the tables until Shutdown.
  std::unique_ptr<PrefetchedImages> prefetched;
  // Parsed child layouts by file path.
  std::map<std::wstring, std::unique_ptr<WindowBuilder>> layouts;
  // Layouts being built: a layout that shows itself would never end.
  std::set<std::wstring> layouts_in_progress;
};

GlobalState& State() {
  static GlobalState state;
  return state;
}

// The tables are not locked: one thread (the UI thread, the first to use
// them) owns them until Shutdown().
cbase::ThreadChecker& OwnerThread() {
  static cbase::ThreadChecker checker;
  return checker;
}

void CheckThread() { CBASE_DCHECK_ON_THREAD(OwnerThread()); }

const wchar_t* SystemFaceName() {
  static const bool vista_or_later = IsWindowsVistaOrGreater();
  return vista_or_later ? L"\u5FAE\u8F6F\u96C5\u9ED1" /* 微软雅黑 */
                        : L"\u65B0\u5B8B\u4F53" /* 新宋体 */;
}

}  // namespace

void GlobalManager::Shutdown() {
  CheckThread();
  CloseResourceArchive();
  RemoveAllFonts();
  GlobalState& state = State();
  state.resource_path.clear();
  state.text_colors.clear();
  state.classes.clear();
  state.create_control = nullptr;
  state.strings.Clear();
  state.prefetched.reset();
  state.images.clear();
  state.layouts.clear();
  OwnerThread().DetachFromThread();
}

// --- Resource location --------------------------------------------------------

void GlobalManager::SetResourcePath(const std::wstring& path) {
  CheckThread();
  std::wstring& stored = State().resource_path;
  stored = path;
  if (!stored.empty() && stored.back() != L'\\' && stored.back() != L'/') stored += L'\\';
}

const std::wstring& GlobalManager::GetResourcePath() {
  CheckThread();
  return State().resource_path;
}

// --- Resource archive -----------------------------------------------------------

bool GlobalManager::OpenResourceArchive(const void* data, size_t size) {
  CloseResourceArchive();
  if (data == nullptr || size == 0) return false;
  State().archive = OpenArchive(data, size, ZipSourceKind::Memory, "");
  return State().archive != nullptr;
}

void GlobalManager::CloseResourceArchive() {
  CheckThread();
  GlobalState& state = State();
  if (state.archive != nullptr) CloseArchive(state.archive);
  state.archive = nullptr;
}

bool GlobalManager::IsArchiveOpen() {
  CheckThread();
  return State().archive != nullptr;
}

namespace {

// The archive's entry for |path|, or nothing.
std::optional<std::pair<int, ZipEntry>> FindArchiveEntry(ZipReader* archive,
                                                         const std::wstring& path) {
  const std::wstring name = NormalizeArchivePath(path);
  if (archive == nullptr || name.empty()) return std::nullopt;
  // Names are looked up as C strings of at most MAX_PATH bytes with the NUL.
  const std::string utf8_name = cbase::Utf16ToUtf8(name.c_str());
  if (utf8_name.size() >= MAX_PATH) return std::nullopt;
  int index = -1;
  ZipEntry entry = {};
  if (FindEntry(archive, utf8_name.c_str(), &index) != kZipOk ||
      GetEntry(archive, index, &entry) != kZipOk) {
    return std::nullopt;
  }
  return std::make_pair(index, entry);
}

}  // namespace

bool GlobalManager::HasArchiveEntry(const std::wstring& path) {
  CheckThread();
  return FindArchiveEntry(State().archive, path).has_value();
}

std::optional<std::vector<unsigned char>> GlobalManager::GetArchiveData(const std::wstring& path) {
  CheckThread();
  ZipReader* archive = State().archive;
  const auto found = FindArchiveEntry(archive, path);
  if (!found) return std::nullopt;
  const int index = found->first;
  const ZipEntry& entry = found->second;
  // Sizes are 64-bit; a resource beyond the address space cannot be loaded.
  const size_t size = static_cast<size_t>(entry.uncompressed_size);
  if (size != entry.uncompressed_size) return std::nullopt;
  std::vector<unsigned char> bytes;
  // A size the allocator refuses is a resource that cannot be loaded.
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
  if (size != 0 &&
      ExtractEntry(archive, index, bytes.data(), size, ZipSourceKind::Memory) != kZipOk) {
    return std::nullopt;
  }
  return bytes;
}

// --- Fonts ----------------------------------------------------------------------

HFONT GlobalManager::AddFont(const std::wstring& id, const std::wstring& face_name, int size,
                             bool bold, bool underline, bool italic, bool strikeout,
                             bool is_default) {
  CheckThread();
  GlobalState& state = State();
  const std::wstring font_id = id.empty() ? std::to_wstring(state.fonts.size()) : id;
  const std::wstring face = face_name == L"system" ? SystemFaceName() : face_name;

  LOGFONTW logfont = {};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logfont), &logfont);
  wcsncpy_s(logfont.lfFaceName, LF_FACESIZE, face.c_str(), _TRUNCATE);
  logfont.lfCharSet = DEFAULT_CHARSET;
  logfont.lfHeight = -ScaleLength(size);
  // Added to the stock weight, not replacing it: skins are tuned to the result.
  if (bold) logfont.lfWeight += FW_BOLD;
  if (underline) logfont.lfUnderline = TRUE;
  if (italic) logfont.lfItalic = TRUE;
  if (strikeout) logfont.lfStrikeOut = TRUE;

  HFONT handle = ::CreateFontIndirectW(&logfont);
  if (handle == nullptr) return nullptr;

  FontInfo& info = state.fonts[font_id];
  info = FontInfo();
  info.handle.reset(handle);
  info.face_name = face;
  info.size = size;
  info.bold = bold;
  info.underline = underline;
  info.italic = italic;
  info.strikeout = strikeout;
  if (is_default) state.default_font_id = font_id;
  return handle;
}

FontInfo* GlobalManager::GetFontInfo(const std::wstring& id) {
  CheckThread();
  GlobalState& state = State();
  const auto it = state.fonts.find(id.empty() ? state.default_font_id : id);
  return it == state.fonts.end() ? nullptr : &it->second;
}

HFONT GlobalManager::GetFont(const std::wstring& id) {
  const FontInfo* info = GetFontInfo(id);
  return info != nullptr ? info->handle.get() : nullptr;
}

const std::wstring& GlobalManager::GetDefaultFontId() {
  CheckThread();
  return State().default_font_id;
}

void GlobalManager::RemoveAllFonts() {
  CheckThread();
  GlobalState& state = State();
  state.fonts.clear();
  state.default_font_id.clear();
}

// --- Text colours -----------------------------------------------------------------

void GlobalManager::AddTextColor(const std::wstring& name, DWORD argb) {
  CheckThread();
  State().text_colors[name] = argb;
}

void GlobalManager::AddTextColor(const std::wstring& name, const std::wstring& value) {
  if (value.empty()) return;
  AddTextColor(name, static_cast<DWORD>(std::wcstoul(value.c_str() + 1, nullptr, 16)));
}

DWORD GlobalManager::GetTextColor(const std::wstring& name) {
  CheckThread();
  const auto& colors = State().text_colors;
  const auto it = colors.find(name);
  return it == colors.end() ? 0 : it->second;
}

namespace {

std::wstring& DefaultTextColorName() {
  static std::wstring name = L"textdefaultcolor";
  return name;
}

std::wstring& DefaultDisabledTextColorName() {
  static std::wstring name = L"textdefaultdisablecolor";
  return name;
}

}  // namespace

const std::wstring& GlobalManager::GetDefaultTextColor() { return DefaultTextColorName(); }

void GlobalManager::SetDefaultTextColor(const std::wstring& name) {
  CheckThread();
  DefaultTextColorName() = name;
}

const std::wstring& GlobalManager::GetDefaultDisabledTextColor() {
  return DefaultDisabledTextColorName();
}

void GlobalManager::SetDefaultDisabledTextColor(const std::wstring& name) {
  CheckThread();
  DefaultDisabledTextColorName() = name;
}

// --- Attribute classes ----------------------------------------------------------------

void GlobalManager::AddClass(const std::wstring& name, const std::wstring& attributes) {
  CheckThread();
  State().classes[name] = attributes;
}

std::wstring GlobalManager::GetClassAttributes(const std::wstring& name) {
  CheckThread();
  const auto& classes = State().classes;
  const auto it = classes.find(name);
  return it == classes.end() ? std::wstring() : it->second;
}

// --- Control factory hook ---------------------------------------------------------------

void GlobalManager::SetGlobalCreateControlCallback(const CreateControlCallback& callback) {
  CheckThread();
  State().create_control = callback;
}

const CreateControlCallback& GlobalManager::GetGlobalCreateControlCallback() {
  CheckThread();
  return State().create_control;
}

// --- Decoded images --------------------------------------------------------------

std::wstring GlobalManager::GetImageCacheKey(const std::wstring& full_path, ImageScale scale) {
  const std::wstring disk_path = NormalizeDiskPath(full_path);
  std::wstring key = IsArchiveOpen() ? NormalizeArchivePath(disk_path) : disk_path;
  // "|" cannot occur in a file name.
  if (scale.file_percent != scale.target_percent) {
    key += L"|" + std::to_wstring(scale.target_percent);
  }
  return key;
}

std::shared_ptr<ImageInfo> GlobalManager::GetImage(const std::wstring& full_path,
                                                   ImageScale scale) {
  CheckThread();
  const std::wstring key = GetImageCacheKey(full_path, scale);
  auto& images = State().images;
  const auto found = images.find(key);
  if (found != images.end()) {
    if (std::shared_ptr<ImageInfo> live = found->second.lock()) return live;
  }

  // Decoded ahead, if it was; a file that decoding ahead did not take (not
  // a PNG after all) goes the usual way, to GDI+.
  std::unique_ptr<ImageInfo> decoded;
  if (PrefetchedImages* prefetched = State().prefetched.get()) {
    if (std::optional<ImageInfo::DecodedPng> ahead = prefetched->Take(key)) {
      decoded = ImageInfo::FromDecodedPng(std::move(*ahead), key, scale);
    }
  }
  // The archive first; the disk only when the archive is closed or does not
  // hold the file (a member that does not decode is not looked for on disk).
  if (!decoded) {
    const std::optional<std::vector<unsigned char>> data =
        IsArchiveOpen() ? GetArchiveData(GetImageCacheKey(full_path)) : std::nullopt;
    if (data) {
      decoded = ImageInfo::LoadFromMemory(*data, key, scale);
    } else {
      decoded = ImageInfo::LoadFromFile(NormalizeDiskPath(full_path), key, scale);
    }
  }
  if (!decoded) return nullptr;

  // The last holder's release takes the entry out of the cache.
  std::shared_ptr<ImageInfo> image(decoded.release(), [](ImageInfo* released) {
    if (released->cached() && !released->path().empty()) {
      auto& entries = State().images;
      const auto entry = entries.find(released->path());
      if (entry != entries.end() && entry->second.expired()) entries.erase(entry);
    }
    delete released;
  });
  images[key] = image;
  image->set_cached(true);
  return image;
}

void GlobalManager::PrefetchImage(const std::wstring& full_path, ImageScale scale) {
  CheckThread();
  if (!scale.KeepsPixels()) return;  // resampled by GDI+
  GlobalState& state = State();
  const std::wstring key = GetImageCacheKey(full_path, scale);
  const auto found = state.images.find(key);
  if (!state.prefetched) state.prefetched = std::make_unique<PrefetchedImages>();
  PrefetchedImages& prefetched = *state.prefetched;
  if ((found != state.images.end() && !found->second.expired()) || prefetched.Has(key)) return;
  // As GetImage looks: the archive first, then the disk. Members of other
  // formats are left to GetImage, which reads them once.
  if (IsArchiveOpen()) {
    if (std::optional<std::vector<unsigned char>> data =
            GetArchiveData(GetImageCacheKey(full_path))) {
      if (LooksLikePng(data->data(), data->size())) prefetched.Start(key, std::move(*data));
      return;
    }
  }
  prefetched.StartFile(key, NormalizeDiskPath(full_path));
}

bool GlobalManager::IsImagePrefetched(const std::wstring& full_path, ImageScale scale) {
  CheckThread();
  const PrefetchedImages* prefetched = State().prefetched.get();
  return prefetched != nullptr && prefetched->Has(GetImageCacheKey(full_path, scale));
}

void GlobalManager::DropPrefetchedImages() {
  CheckThread();
  if (PrefetchedImages* prefetched = State().prefetched.get()) prefetched->Clear();
}

// --- Layout cache ------------------------------------------------------------------

Control* GlobalManager::CreateBoxWithCache(const std::wstring& path,
                                           const CreateControlCallback& callback) {
  CheckThread();
  GlobalState& state = State();
  if (!state.layouts_in_progress.insert(path).second) return nullptr;
  Control* box = nullptr;
  const auto cached = state.layouts.find(path);
  if (cached != state.layouts.end()) {
    box = cached->second->Rebuild(callback);
  } else {
    auto builder = std::make_unique<WindowBuilder>();
    box = builder->Create(path, callback);
    if (box != nullptr) state.layouts[path] = std::move(builder);
  }
  state.layouts_in_progress.erase(path);
  return box;
}

bool GlobalManager::IsLayoutCached(const std::wstring& path) {
  CheckThread();
  return State().layouts.count(path) != 0;
}

// --- Language strings ---------------------------------------------------------------------

bool GlobalManager::LoadStringTable(const std::wstring& path) {
  CheckThread();
  if (!IsArchiveOpen()) return LoadStringTableFromFile(path);
  // No fallback to disk while the archive is open.
  const std::optional<std::vector<unsigned char>> data = GetArchiveData(path);
  if (!data) {
    State().strings.Clear();
    return false;
  }
  return LoadStringTableFromMemory(*data);
}

bool GlobalManager::LoadStringTableFromFile(const std::wstring& path) {
  CheckThread();
  return State().strings.LoadFromFile(path);
}

bool GlobalManager::LoadStringTableFromMemory(const std::vector<unsigned char>& data) {
  CheckThread();
  StringTable& strings = State().strings;
  strings.Clear();
  if (data.empty()) return strings.LoadFromMemory("", 0);
  return strings.LoadFromMemory(reinterpret_cast<const char*>(data.data()), data.size());
}

std::wstring GlobalManager::GetText(const std::wstring& id) {
  CheckThread();
  return State().strings.GetText(id);
}

// --- Display scale ------------------------------------------------------------------------

int GlobalManager::GetDpiScale() { return DisplayScale::GetPercent(); }

bool GlobalManager::IsAdaptDpi() { return DisplayScale::IsAdaptDpi(); }

void GlobalManager::SetDisplayScale(int percent, bool adapt_dpi) {
  DisplayScale::Set(percent, adapt_dpi);
}

int GlobalManager::ScaleLength(int length) { return DisplayScale::ScaleLength(length); }

void GlobalManager::ScaleRect(RECT& rect) { DisplayScale::ScaleRect(rect); }

}  // namespace ui
