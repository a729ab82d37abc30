// Mutated archives (fixed seed, bounded) through the whole Windows layer:
// opened from memory, every entry extracted to memory and into a scratch
// folder, and every fourth one unpacked from a file with ExtractArchive.
// Nothing may crash or hang, every status must be one of the reader's, no
// file may be larger than its entry's recorded size, and nothing may appear
// outside the target folder.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "archive/package_extraction.h"
#include "archive/zip_reader.h"
#include "tests/archive/archive_test_support.h"
#include "tests/archive/zip_mutator.h"

namespace {

using archive_test::DataPath;
using archive_test::ListTree;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kSeed = 0x5EED2024;
constexpr int kDefaultIterations = 3000;
constexpr int kMaxEntries = 40;
constexpr int kMaxMemoryCalls = 64;  // of 64 KiB each, per entry

int Iterations() {
  const char* text = std::getenv("ARCHIVE_ROBUSTNESS_ITERATIONS");
  int n = text ? std::atoi(text) : 0;
  return n > 0 ? n : kDefaultIterations;
}

class Robustness : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name :
         {L"basic.zip", L"escaping.zip", L"encrypted.zip", L"encrypted_crc.zip", L"descriptor.zip",
          L"attributes.zip", L"stub.zip", L"bad_crc.zip", L"lying_sizes.zip", L"unsupported.zip",
          L"ut.zip", L"long_name.zip", L"zip64_fz_stub.zip", L"zip64_raw.zip"}) {
      seeds_.push_back(archive_test::ReadFileBytes(DataPath(name)));
    }
    target_ = sandbox_ / L"out\\deep\\target";
    cwd_ = sandbox_ / L"cwd";
    CreateDirectoryW(cwd_.c_str(), nullptr);
    // Relative paths, if any escaped, would land here.
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    previous_cwd_ = previous;
    SetCurrentDirectoryW(cwd_.c_str());
  }
  void TearDown() override { SetCurrentDirectoryW(previous_cwd_.c_str()); }

  void Expect(ZipStatus s, const char* what) {
    if (!IsKnownZipStatus(s)) {
      ADD_FAILURE() << what << " gave unknown status 0x" << std::hex << s << " at iteration "
                    << std::dec << iteration_;
    }
  }

  // Memory and folder extraction of every entry of an archive in memory.
  void Exercise(const Bytes& bytes, const char* password) {
    ZipReader* zip = OpenArchive(bytes.data(), bytes.size(), ZipSourceKind::Memory, password);
    Expect(LastZipStatus(), "OpenArchive");
    if (!zip) return;
    ++opened_;
    EnsureDirectories(nullptr, target_.c_str());
    Expect(SetBaseDirectory(zip, target_.c_str()), "SetBaseDirectory");
    ZipEntry whole;
    Expect(GetEntry(zip, -1, &whole), "GetEntry(-1)");
    std::vector<uint8_t> buffer(64 * 1024);
    for (int i = 0; i < whole.index && i < kMaxEntries; ++i) {
      ZipEntry entry;
      ZipStatus got = GetEntry(zip, i, &entry);
      Expect(got, "GetEntry");
      ZipStatus s;
      int calls = 0;
      do {
        s = ExtractEntry(zip, i, buffer.data(), buffer.size(), ZipSourceKind::Memory);
        Expect(s, "ExtractEntry to memory");
      } while (s == kZipMore && ++calls < kMaxMemoryCalls);
      if (got != kZipOk) continue;
      int index = -1;
      Expect(FindEntry(zip, entry.name, &index), "FindEntry");
      ZipStatus to_file = ExtractEntry(zip, i, entry.name, 0, ZipSourceKind::FileName);
      Expect(to_file, "ExtractEntry to file");
      if (to_file == kZipOk) ++extracted_;
      WIN32_FILE_ATTRIBUTE_DATA info;
      std::wstring written = target_ + L"\\" + entry.name;
      if (GetFileAttributesExW(written.c_str(), GetFileExInfoStandard, &info) &&
          !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        EXPECT_EQ(info.nFileSizeHigh, 0u);
        EXPECT_LE(info.nFileSizeLow, entry.uncompressed_size) << "iteration " << iteration_;
      }
    }
    Expect(CloseArchive(zip), "CloseArchive");
  }

  // Everything in the sandbox lies in the target folder, except the folders
  // leading to it, the input file and the empty working folder.
  void ExpectNothingOutsideTarget() {
    const std::wstring inside = L"out\\deep\\target\\";
    for (const std::wstring& item : ListTree(sandbox_.path())) {
      if (item.compare(0, inside.size(), inside) == 0) continue;
      if (item == L"cwd\\" || item == L"in.zip" || item == L"out\\" || item == L"out\\deep\\") {
        continue;
      }
      ADD_FAILURE() << "written outside the target at iteration " << iteration_;
    }
  }

  archive_test::ScratchDir sandbox_;
  std::vector<Bytes> seeds_;
  std::wstring target_, cwd_, previous_cwd_;
  int iteration_ = 0;
  int opened_ = 0;     // archives that opened
  int extracted_ = 0;  // entries extracted to a file without any error
};

TEST_F(Robustness, MutatedArchivesGiveListedStatusesAndStayInTheirFolder) {
  archive_test::ZipMutator mutator(kSeed);
  const int iterations = Iterations();
  for (iteration_ = 0; iteration_ < iterations; ++iteration_) {
    const Bytes& seed = seeds_[iteration_ % seeds_.size()];
    Bytes bytes = mutator.Mutate(seed);
    const char* password = iteration_ % 3 == 0 ? "secret" : nullptr;
    Exercise(bytes, password);
    if (iteration_ % 4 == 0) {
      archive_test::WriteFileBytes(sandbox_ / L"in.zip", bytes);
      ExtractArchive((sandbox_ / L"in.zip").c_str(), target_.c_str());
      Expect(LastZipStatus(), "ExtractArchive");
    }
    ExpectNothingOutsideTarget();
    archive_test::RemoveTree(sandbox_ / L"out");
    if (HasFailure()) break;  // one broken case is enough to look at
  }
  // Mutations that destroy every archive would test nothing.
  std::printf("%d mutated archives: %d opened, %d entries extracted cleanly\n", iterations, opened_,
              extracted_);
  EXPECT_GT(opened_, iterations / 3);
  EXPECT_GT(extracted_, iterations / 2);
}

}  // namespace
