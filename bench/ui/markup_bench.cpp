// Markup parser throughput: MarkupDocument::LoadFromText over a ~1 MB
// skin-like document, reported in MB/s of the UTF-8 source. The UTF-8 to
// UTF-16 conversion happens once, outside the timing; the copy that
// LoadFromText makes is inside it. run_markup_bench.sh compares the figure
// with the native baseline measured in the same run.
//   markup_bench [iterations] [document KiB]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/ui/skin_document.h"
#include "ui/core/markup_document.h"

namespace {

int CountElements(const ui::MarkupNode& node) {
  int count = 0;
  for (ui::MarkupNode child = node; child.IsValid(); child = child.GetSibling()) {
    count += 1 + CountElements(child.GetChild());
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 300;
  const std::string source =
      bench::MakeSkinDocument(argc > 2 ? std::atoi(argv[2]) * size_t{1024} : size_t{1} << 20);
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, source.data(), static_cast<int>(source.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, source.data(), static_cast<int>(source.size()), &wide[0],
                        length);

  ui::MarkupDocument doc;
  if (!doc.LoadFromText(wide.c_str())) {
    std::fprintf(stderr, "parse failed: %ls at %ls\n", doc.GetLastErrorMessage(),
                 doc.GetLastErrorLocation());
    return 1;
  }
  const int elements = CountElements(doc.GetRoot());
  for (int i = 0; i < 10; ++i) doc.LoadFromText(wide.c_str());

  std::vector<double> seconds;
  for (int i = 0; i < iterations; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = doc.LoadFromText(wide.c_str());
    const auto stop = std::chrono::steady_clock::now();
    if (!ok) return 1;
    seconds.push_back(std::chrono::duration<double>(stop - start).count());
  }
  const double median = bench::Median(seconds.data(), seconds.size());
  std::printf("source_bytes %zu\nelements %d\n", source.size(), elements);
#ifndef NDEBUG
  std::printf("warning: unoptimised build, figures are not meaningful\n");
#endif
  std::printf("markup_load_from_text %.1f MB/s\n", source.size() / 1e6 / median);
  return 0;
}
