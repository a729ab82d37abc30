// Just enough of <windows.h> for the sources the native harnesses compile
// with the host compiler: the UTF-8 conversions, done as the system does
// them without flags (ill-formed input becomes U+FFFD, a buffer that is too
// small gives 0), and the file calls, which always fail. WCHAR is the host's
// wchar_t; the harnesses only hand it UTF-16 code units.
#pragma once

#include <cstdint>

using BOOL = int;
using DWORD = uint32_t;
using UINT = unsigned int;
using LONGLONG = int64_t;
using WCHAR = wchar_t;
using HANDLE = void*;
using LPBOOL = BOOL*;
using LPCCH = const char*;
using LPSTR = char*;
using LPCWCH = const WCHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPDWORD = DWORD*;
using LPVOID = void*;

union LARGE_INTEGER {
  LONGLONG QuadPart;
};

constexpr UINT CP_ACP = 0;  // converts nothing here: only UTF-8 is done
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCCH text, int length, LPWSTR wide,
                        int wide_length);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWCH wide, int wide_length, LPSTR text,
                        int length, LPCCH default_char, LPBOOL used_default_char);

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD attributes, HANDLE template_file);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, void* overlapped);
BOOL CloseHandle(HANDLE handle);
