// Native baseline for markup_bench: pugixml parsing the same generated
// document with load_buffer (copies, like LoadFromText) and with
// load_buffer_inplace (the buffer is refilled outside the timing). Built with
// the host compiler, run natively.
//   markup_bench_pugixml [iterations] [document KiB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench/ui/skin_document.h"

namespace {

int CountElements(const pugi::xml_node& parent) {
  int count = 0;
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element) count += 1 + CountElements(child);
  }
  return count;
}

template <typename Load>
double MedianSeconds(int iterations, Load load) {
  std::vector<double> seconds;
  for (int i = 0; i < iterations; ++i) seconds.push_back(load());
  return bench::Median(seconds.data(), seconds.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::atoi(argv[1]) : 300;
  const std::string source =
      bench::MakeSkinDocument(argc > 2 ? std::atoi(argv[2]) * size_t{1024} : size_t{1} << 20);
  std::vector<char> buffer(source.size());

  pugi::xml_document doc;
  if (!doc.load_buffer(source.data(), source.size())) return 1;
  const int elements = CountElements(doc);
  for (int i = 0; i < 10; ++i) doc.load_buffer(source.data(), source.size());

  const double copying = MedianSeconds(iterations, [&] {
    const auto start = std::chrono::steady_clock::now();
    doc.load_buffer(source.data(), source.size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });
  const double in_place = MedianSeconds(iterations, [&] {
    std::memcpy(buffer.data(), source.data(), source.size());
    const auto start = std::chrono::steady_clock::now();
    doc.load_buffer_inplace(buffer.data(), buffer.size());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });
  std::printf("source_bytes %zu\nelements %d\n", source.size(), elements);
  std::printf("pugixml_load_buffer %.1f MB/s\n", source.size() / 1e6 / copying);
  std::printf("pugixml_load_buffer_inplace %.1f MB/s\n", source.size() / 1e6 / in_place);
  return 0;
}
