// Native robustness harness for the zip format core, built with the address
// and undefined-behaviour sanitizers by the test build.
//
//   zip_fuzz_native [--iterations N] SEED_FOLDER
//
// Runs every *.zip in SEED_FOLDER as it is and then N deterministic
// mutations of them (tests/archive/zip_mutator.h). The checks, per input:
// every status is one of the reader's, no entry delivers more than its
// recorded size, every read makes progress, every name that passes the
// containment test stays inside the folder it would be extracted into, and
// listing every entry costs reads in proportion to the entry count (an end
// record that counts more entries than the directory holds included).
// Built with -DZIP_FUZZ_LIBFUZZER and -fsanitize=fuzzer, the same entry point
// serves a coverage-guided fuzzer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "archive/zip_names.h"
#include "tests/archive/zip_mutator.h"

namespace {

constexpr int kMaxEntries = 64;
constexpr size_t kPiece = 64 * 1024;
constexpr uint64_t kMaxBytesPerEntry = 16u << 20;
// Record, name, local header and local extra field; the rest is slack for
// the walk back to the first entry.
constexpr uint64_t kReadsPerListedEntry = 4;
constexpr uint64_t kListingSlack = 16;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "robustness check failed: %s\n", what);
    std::abort();
  }
}

void CheckStatus(ZipStatus s, const char* what) { Check(IsKnownZipStatus(s), what); }

// The input in memory, counting the reads that reach it.
class CountingSource : public archive::ZipSource {
 public:
  CountingSource(const uint8_t* data, size_t size, uint64_t* reads)
      : inner_(data, size), reads_(reads) {}

  uint64_t Size() const override { return inner_.Size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    ++*reads_;
    return inner_.ReadAt(offset, buffer, length, got);
  }

 private:
  archive::MemoryZipSource inner_;
  uint64_t* reads_;
};

// Resolves `name` under a folder as Windows would, taking the worst reading
// of every doubtful segment, and tells whether it stays inside.
bool StaysInside(const std::u16string& name) {
  if (name.empty() || name[0] == u'\\' || name[0] == u'/') return false;
  if (name.find(u':') != std::u16string::npos) return false;
  int depth = 0;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(u"\\/", start);
    if (end == std::u16string::npos) end = name.size();
    std::u16string segment = name.substr(start, end - start);
    if (segment == u"." || segment.empty()) {
      // stays
    } else if (segment.find_first_not_of(u". ") == std::u16string::npos) {
      if (--depth < 0) return false;  // "..", "...", ". ." may mean the parent
    } else {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

void ReadWhole(archive::ZipArchive* zip, int index, bool described, uint64_t recorded) {
  ZipStatus s = zip->OpenEntry(index);
  CheckStatus(s, "OpenEntry");
  if (s != kZipOk) return;
  static std::vector<uint8_t> piece(kPiece);
  uint64_t total = 0;
  while (total < kMaxBytesPerEntry) {
    size_t produced = 0;
    s = zip->ReadEntry(piece.data(), piece.size(), &produced);
    CheckStatus(s, "ReadEntry");
    Check(produced <= piece.size(), "read past the buffer");
    total += produced;
    if (s != kZipOk || zip->entry_complete()) break;
    Check(produced == piece.size(), "a read that neither filled the buffer nor ended");
  }
  if (described) Check(total <= recorded, "more data than the recorded size");
  zip->CloseEntry();
}

// `list_all`: also describe every entry the end record counts, checking
// the reads that costs (the listing does not depend on the password, so one
// run per input does it).
void RunOne(const uint8_t* data, size_t size, const char* password, bool list_all) {
  archive::ZipArchive zip;
  uint64_t reads = 0;
  ZipStatus s = zip.Open(std::make_unique<CountingSource>(data, size, &reads), password);
  CheckStatus(s, "Open");
  if (s != kZipOk) return;
  Check(
      zip.Open(std::make_unique<archive::MemoryZipSource>(data, size), password) == kZipAlreadyOpen,
      "second Open");
  archive::ZipEntryInfo whole;
  Check(zip.GetEntry(-1, &whole) == kZipOk && whole.index == zip.entry_count(), "GetEntry(-1)");
  Check(zip.GetEntry(zip.entry_count(), &whole) == kZipBadArgument, "index past the end");

  for (int i = 0; i < zip.entry_count() && i < kMaxEntries; ++i) {
    archive::ZipEntryInfo entry;
    s = zip.GetEntry(i, &entry);
    CheckStatus(s, "GetEntry");
    const bool described = s == kZipOk;
    if (described) {
      Check(entry.name.size() <= archive::kMaxEntryNameUnits, "name too long");
      if (archive::IsContainedEntryName(entry.name)) {
        Check(StaysInside(entry.name), "a contained name climbs out");
      }
      int32_t found = -1;
      CheckStatus(zip.FindEntry(archive::EncodeUtf8(entry.name), &found), "FindEntry");
    }
    ReadWhole(&zip, i, described, entry.uncompressed_size);

    // Memory extraction in small pieces, continuing across calls.
    uint8_t small[4096];
    for (int call = 0; call < 8; ++call) {
      s = zip.ExtractToMemory(i, small, 1 + (call * 997) % sizeof small);
      CheckStatus(s, "ExtractToMemory");
      if (s != kZipMore) break;
    }
  }

  const uint64_t before = reads;
  for (int i = 0; list_all && i < zip.entry_count(); ++i) {
    archive::ZipEntryInfo entry;
    CheckStatus(zip.GetEntry(i, &entry), "GetEntry while listing");
    Check(reads - before <= kReadsPerListedEntry * (i + 1) + kListingSlack,
          "listing walks the directory more than once");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunOne(data, size, "", true);
  RunOne(data, size, "secret", false);
  return 0;
}

#ifndef ZIP_FUZZ_LIBFUZZER
int main(int argc, char** argv) {
  long iterations = 10000;
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--iterations") == 0 && i + 1 < argc) {
      iterations = std::atol(argv[++i]);
    } else {
      folder = argv[i];
    }
  }
  if (folder.empty()) {
    std::fprintf(stderr, "usage: zip_fuzz_native [--iterations N] SEED_FOLDER\n");
    return 2;
  }
  std::vector<std::string> paths;
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    if (item.path().extension() == ".zip") paths.push_back(item.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::vector<uint8_t>> seeds;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "no seed archives in %s\n", folder.c_str());
    return 2;
  }
  for (const auto& seed : seeds) LLVMFuzzerTestOneInput(seed.data(), seed.size());
  archive_test::ZipMutator mutator(0x5EED2024);
  for (long i = 0; i < iterations; ++i) {
    std::vector<uint8_t> bytes = mutator.Mutate(seeds[i % seeds.size()]);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu seeds and %ld mutations: all checks held\n", seeds.size(), iterations);
  return 0;
}
#endif
