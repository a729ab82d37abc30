// Where the render tests find the images ImageMagick drew at build time, and
// a scratch folder for tests that write files.
#ifndef TESTS_UI_RENDER_TEST_IMAGES_H_
#define TESTS_UI_RENDER_TEST_IMAGES_H_

#include <windows.h>

#include <string>

namespace ui {
namespace testing {

// The folder holding the generated images, with a trailing backslash.
inline std::wstring TestImageFolder() {
  wchar_t module[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring folder(module);
  folder.erase(folder.find_last_of(L'\\') + 1);
  for (const wchar_t* candidate : {L"render_images\\", L"..\\render_images\\"}) {
    const std::wstring path = folder + candidate;
    if (::GetFileAttributesW((path + L"three.gif").c_str()) != INVALID_FILE_ATTRIBUTES) {
      return path;
    }
  }
  return folder + L"render_images\\";
}

inline std::wstring TestImage(const wchar_t* name) { return TestImageFolder() + name; }

// A fresh empty folder under the temporary folder, removed with its files
// (one level deep) at the end of the scope.
class ScratchFolder {
 public:
  explicit ScratchFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + name + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    Remove();
    ::CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~ScratchFolder() { Remove(); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::wstring& path() const { return path_; }

 private:
  void Remove() {
    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW((path_ + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          ::DeleteFileW((path_ + found.cFileName).c_str());
        }
      } while (::FindNextFileW(search, &found));
      ::FindClose(search);
    }
    ::RemoveDirectoryW(path_.c_str());
  }

  std::wstring path_;
};

}  // namespace testing
}  // namespace ui

#endif  // TESTS_UI_RENDER_TEST_IMAGES_H_
