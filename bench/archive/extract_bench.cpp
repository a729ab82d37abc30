// Our side of the extraction benchmark: ExtractArchive as the installer
// calls it, with every check on.
//
//   zip_extract_bench ARCHIVE.zip TARGET_FOLDER
#include <windows.h>

#include <cstdio>

#include "archive/package_extraction.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zip_extract_bench ARCHIVE.zip TARGET_FOLDER\n");
    return 2;
  }
  LARGE_INTEGER start, stop, frequency;
  QueryPerformanceCounter(&start);
  bool ok = ExtractArchive(argv[1], argv[2]);
  QueryPerformanceCounter(&stop);
  QueryPerformanceFrequency(&frequency);
  std::printf("ExtractArchive: %s, %.3f s inside the process\n", ok ? "ok" : "failed",
              static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart);
  return ok ? 0 : 1;
}
