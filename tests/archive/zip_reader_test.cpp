#include "archive/zip_reader.h"

#include <windows.h>

#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/archive/archive_test_support.h"

namespace {

using archive_test::DataPath;
using archive_test::ReadFileBytes;
using archive_test::ScratchDir;
using Bytes = std::vector<uint8_t>;

uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void PutLe32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Offsets of the records of a well-formed archive, for tests that damage it.
struct Layout {
  size_t end;                   // end-of-central-directory record
  std::vector<size_t> central;  // central records, in order
  std::vector<size_t> local;    // local headers, in order
};

Layout Parse(const Bytes& zip) {
  Layout l;
  l.end = zip.size() - 22;
  size_t at = Le32(zip, l.end + 16);
  for (int i = 0; i < (zip[l.end + 10] | (zip[l.end + 11] << 8)); ++i) {
    l.central.push_back(at);
    l.local.push_back(Le32(zip, at + 42));
    at += 46 + (zip[at + 28] | (zip[at + 29] << 8)) + (zip[at + 30] | (zip[at + 31] << 8)) +
          (zip[at + 32] | (zip[at + 33] << 8));
  }
  return l;
}

size_t DataOffset(const Bytes& zip, size_t local) {
  return local + 30 + (zip[local + 26] | (zip[local + 27] << 8)) +
         (zip[local + 28] | (zip[local + 29] << 8));
}

// An archive opened from memory (the bytes are kept alive alongside it).
class MemoryArchive {
 public:
  explicit MemoryArchive(Bytes bytes, const char* password = nullptr) : bytes_(std::move(bytes)) {
    reader_ = OpenArchive(bytes_.data(), bytes_.size(), ZipSourceKind::Memory, password);
  }
  ~MemoryArchive() {
    if (reader_) CloseArchive(reader_);
  }
  ZipReader* get() const { return reader_; }

  // The whole entry into memory, by one call with a buffer of its size.
  ZipStatus Extract(int index, Bytes* out) {
    ZipEntry entry;
    ZipStatus s = GetEntry(reader_, index, &entry);
    if (s != kZipOk) return s;
    out->assign(static_cast<size_t>(entry.uncompressed_size), 0);
    return ExtractEntry(reader_, index, out->data(), out->size(), ZipSourceKind::Memory);
  }

 private:
  Bytes bytes_;
  ZipReader* reader_ = nullptr;
};

std::wstring EntryName(ZipReader* reader, int index) {
  ZipEntry entry;
  if (GetEntry(reader, index, &entry) != kZipOk) return L"<error>";
  return entry.name;
}

TEST(ZipReaderTest, ListsEntriesWithNamesSizesAndAttributes) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"basic.zip")));
  ASSERT_NE(zip.get(), nullptr);

  ZipEntry whole;
  ASSERT_EQ(GetEntry(zip.get(), -1, &whole), kZipOk);
  EXPECT_EQ(whole.index, 7);
  EXPECT_STREQ(whole.name, L"");
  EXPECT_EQ(whole.uncompressed_size, 0u);
  EXPECT_EQ(Ticks(whole.write_time), 0u);

  const wchar_t* names[] = {L"readme.txt", L"data/",        L"data/stored.bin",   L"data/big.bin",
                            L"empty.txt",  L"readonly.txt", L"docs/Caf\u00e9.txt"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(EntryName(zip.get(), i), names[i]);

  ZipEntry e;
  ASSERT_EQ(GetEntry(zip.get(), 1, &e), kZipOk);
  EXPECT_EQ(e.attributes, static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_EQ(GetEntry(zip.get(), 3, &e), kZipOk);
  EXPECT_EQ(e.index, 3);
  EXPECT_EQ(e.attributes, static_cast<uint32_t>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(e.uncompressed_size, 100000u);
  EXPECT_LT(e.compressed_size, e.uncompressed_size);
  ASSERT_EQ(GetEntry(zip.get(), 5, &e), kZipOk);
  EXPECT_EQ(e.attributes, static_cast<uint32_t>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

  // Walking back and forth gives the same answers.
  EXPECT_EQ(EntryName(zip.get(), 6), names[6]);
  EXPECT_EQ(EntryName(zip.get(), 0), names[0]);
  EXPECT_EQ(EntryName(zip.get(), 4), names[4]);
}

TEST(ZipReaderTest, WalksLongDirectoriesInAnyOrder) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"many.zip")));
  ASSERT_NE(zip.get(), nullptr);
  for (int i : {299, 5, 150, 151, 0, 298}) {
    wchar_t expected[32];
    swprintf(expected, 32, L"many/f%03d.txt", i);
    EXPECT_EQ(EntryName(zip.get(), i), expected);
  }
  int index = -1;
  ASSERT_EQ(FindEntry(zip.get(), L"MANY/F250.TXT", &index), kZipOk);
  EXPECT_EQ(index, 250);
  Bytes data;
  EXPECT_EQ(zip.Extract(index, &data), kZipOk);
  EXPECT_EQ(std::string(data.begin(), data.end()), "file 250\n");
}

TEST(ZipReaderTest, DosTimesAreLocalAndTheUtFieldGivesUnixTimes) {
  MemoryArchive basic(ReadFileBytes(DataPath(L"basic.zip")));
  ZipEntry e;
  ASSERT_EQ(GetEntry(basic.get(), 0, &e), kZipOk);
  // Stored as local 2021-06-15 10:20:30: back in local time it reads the same.
  SYSTEMTIME utc, local;
  ASSERT_TRUE(FileTimeToSystemTime(&e.write_time, &utc));
  ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
  EXPECT_EQ(local.wYear, 2021);
  EXPECT_EQ(local.wMonth, 6);
  EXPECT_EQ(local.wDay, 15);
  EXPECT_EQ(local.wHour, 10);
  EXPECT_EQ(local.wMinute, 20);
  EXPECT_EQ(local.wSecond, 30);
  EXPECT_EQ(Ticks(e.creation_time), Ticks(e.write_time));
  EXPECT_EQ(Ticks(e.access_time), Ticks(e.write_time));

  const uint64_t kEpoch = 116444736000000000ull, kTicks = 10000000;
  MemoryArchive ut(ReadFileBytes(DataPath(L"ut.zip")));
  ASSERT_EQ(GetEntry(ut.get(), 0, &e), kZipOk);
  EXPECT_EQ(Ticks(e.write_time), 1600000000ull * kTicks + kEpoch);
  EXPECT_EQ(Ticks(e.access_time), 1500000000ull * kTicks + kEpoch);
  uint64_t dos_time = Ticks(e.creation_time);  // no creation time in the field

  // The same file without the field: DOS time only, the same instant
  // (to its two-second resolution).
  MemoryArchive no_ut(ReadFileBytes(DataPath(L"no_ut.zip")));
  ASSERT_EQ(GetEntry(no_ut.get(), 0, &e), kZipOk);
  EXPECT_EQ(Ticks(e.write_time), dos_time);
  EXPECT_NEAR(static_cast<double>(dos_time), 1600000000.0 * kTicks + kEpoch, 2.0 * kTicks);
}

TEST(ZipReaderTest, ExtractsEveryKindOfEntryToMemory) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"basic.zip")));
  const struct {
    int index;
    const wchar_t* source;
  } files[] = {{0, L"src/basic/readme.txt"},
               {2, L"src/basic/data/stored.bin"},
               {3, L"src/basic/data/big.bin"},
               {6, L"src/basic/docs/Caf\u00e9.txt"}};
  for (const auto& f : files) {
    Bytes data;
    EXPECT_EQ(zip.Extract(f.index, &data), kZipOk) << f.index;
    EXPECT_EQ(data, ReadFileBytes(DataPath(f.source))) << f.index;
  }
  Bytes empty;
  EXPECT_EQ(zip.Extract(4, &empty), kZipOk);
  EXPECT_TRUE(empty.empty());
}

TEST(ZipReaderTest, MemoryExtractionContinuesInASecondCallAndThenStartsOver) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"basic.zip")));
  const Bytes expected = ReadFileBytes(DataPath(L"src/basic/data/big.bin"));
  Bytes first(60000), second(60000);
  EXPECT_EQ(ExtractEntry(zip.get(), 3, first.data(), first.size(), ZipSourceKind::Memory),
            kZipMore);
  EXPECT_EQ(LastZipStatus(), kZipMore);
  EXPECT_EQ(ExtractEntry(zip.get(), 3, second.data(), second.size(), ZipSourceKind::Memory),
            kZipOk);
  Bytes joined(first);
  joined.insert(joined.end(), second.begin(), second.begin() + (expected.size() - first.size()));
  EXPECT_EQ(joined, expected);

  // Once delivered, the entry is read again from its start.
  Bytes again(60000);
  EXPECT_EQ(ExtractEntry(zip.get(), 3, again.data(), again.size(), ZipSourceKind::Memory),
            kZipMore);
  EXPECT_EQ(again, first);
  // GetEntry closes the open entry: the next read starts over too.
  ZipEntry e;
  ASSERT_EQ(GetEntry(zip.get(), 3, &e), kZipOk);
  EXPECT_EQ(ExtractEntry(zip.get(), 3, again.data(), again.size(), ZipSourceKind::Memory),
            kZipMore);
  EXPECT_EQ(again, first);
}

TEST(ZipReaderTest, FindEntryFoldsAsciiCaseOnly) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"basic.zip")));
  int index = -1;
  EXPECT_EQ(FindEntry(zip.get(), L"README.TXT", &index), kZipOk);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(FindEntry(zip.get(), L"DOCS/CAF\u00e9.TXT", &index), kZipOk);
  EXPECT_EQ(index, 6);
  EXPECT_EQ(FindEntry(zip.get(), "data/BIG.bin", &index), kZipOk);
  EXPECT_EQ(index, 3);

  index = -1;
  EXPECT_EQ(FindEntry(zip.get(), L"docs/caf\u00c9.txt", &index), kZipNotFound);
  EXPECT_EQ(LastZipStatus(), kZipNotFound);
  EXPECT_EQ(FindEntry(zip.get(), L"data\\big.bin", &index), kZipNotFound);
  EXPECT_EQ(FindEntry(zip.get(), std::string(256, 'a').c_str(), &index), kZipNotFound);
  EXPECT_EQ(index, -1);
  // A miss leaves the reader usable where it was.
  EXPECT_EQ(EntryName(zip.get(), 3), L"data/big.bin");
}

TEST(ZipReaderTest, ReadsArchivesWithAStubInFrontFromEverySource) {
  const Bytes expected = ReadFileBytes(DataPath(L"src/basic/data/big.bin"));
  MemoryArchive memory(ReadFileBytes(DataPath(L"stub.zip")));
  ASSERT_NE(memory.get(), nullptr);
  Bytes data;
  EXPECT_EQ(memory.Extract(3, &data), kZipOk);
  EXPECT_EQ(data, expected);

  ZipReader* by_name = OpenArchive(DataPath(L"stub.zip").c_str(), 0, ZipSourceKind::FileName);
  ASSERT_NE(by_name, nullptr);
  data.assign(expected.size(), 0);
  EXPECT_EQ(ExtractEntry(by_name, 3, data.data(), data.size(), ZipSourceKind::Memory), kZipOk);
  EXPECT_EQ(data, expected);
  EXPECT_EQ(CloseArchive(by_name), kZipOk);

  // A handle positioned after the stub: the archive starts there.
  HANDLE file = CreateFileW(DataPath(L"stub.zip").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFilePointer(file, 100, nullptr, FILE_BEGIN);
  ZipReader* by_handle = OpenArchive(file, 0, ZipSourceKind::FileHandle);
  ASSERT_NE(by_handle, nullptr);
  EXPECT_EQ(EntryName(by_handle, 6), L"docs/Caf\u00e9.txt");
  data.assign(expected.size(), 0);
  EXPECT_EQ(ExtractEntry(by_handle, 3, data.data(), data.size(), ZipSourceKind::Memory), kZipOk);
  EXPECT_EQ(data, expected);
  EXPECT_EQ(CloseArchive(by_handle), kZipOk);
  // The caller's handle stays open.
  EXPECT_NE(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
  CloseHandle(file);
}

TEST(ZipReaderTest, DecryptsWithThePasswordGivenAtOpen) {
  const Bytes secret = ReadFileBytes(DataPath(L"src/encrypted/secret.txt"));
  const Bytes tiny = ReadFileBytes(DataPath(L"src/encrypted/tiny.txt"));
  // Info-ZIP's archive checks the DOS time, ours the CRC.
  for (const wchar_t* name : {L"encrypted.zip", L"encrypted_crc.zip"}) {
    MemoryArchive zip(ReadFileBytes(DataPath(name)), "secret");
    ASSERT_NE(zip.get(), nullptr);
    Bytes data;
    EXPECT_EQ(zip.Extract(0, &data), kZipOk);
    EXPECT_EQ(data, secret);
    EXPECT_EQ(zip.Extract(1, &data), kZipOk);
    EXPECT_EQ(data, tiny);
  }
}

TEST(ZipReaderTest, WrongOrMissingPasswordGives0x1000) {
  ScratchDir dir;
  for (const wchar_t* name : {L"encrypted.zip", L"encrypted_crc.zip"}) {
    for (const char* password : {"wrong", "", static_cast<const char*>(nullptr)}) {
      MemoryArchive zip(ReadFileBytes(DataPath(name)), password);
      Bytes data;
      EXPECT_EQ(zip.Extract(0, &data), kZipWrongPassword);
      EXPECT_EQ(zip.Extract(1, &data), kZipWrongPassword);
      EXPECT_EQ(ExtractEntry(zip.get(), 0, (dir / L"out.txt").c_str(), 0, ZipSourceKind::FileName),
                kZipWrongPassword);
    }
  }
}

// The header check is one byte, so about one wrong password in 256 passes it;
// the entry's data then decrypts to noise and must never come out as a success.
TEST(ZipReaderTest, AWrongPasswordThatPassesTheHeaderCheckStillFails) {
  ScratchDir dir;
  const Bytes archive = ReadFileBytes(DataPath(L"encrypted_crc.zip"));
  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    const Bytes lucky = ReadFileBytes(
        DataPath(index == 0 ? L"src/encrypted/lucky0.txt" : L"src/encrypted/lucky1.txt"));
    const std::string password(lucky.begin(), lucky.end());
    MemoryArchive zip(archive, password.c_str());
    ASSERT_NE(zip.get(), nullptr);
    Bytes data;
    const ZipStatus in_memory = zip.Extract(index, &data);
    EXPECT_TRUE(in_memory == kZipDataError || in_memory == kZipCrcMismatch) << in_memory;
    const ZipStatus to_file =
        ExtractEntry(zip.get(), index, (dir / L"out.txt").c_str(), 0, ZipSourceKind::FileName);
    EXPECT_TRUE(to_file == kZipDataError || to_file == kZipCrcMismatch) << to_file;
  }
}

TEST(ZipReaderTest, ExtractsToAFileNameAndToAHandleWithTheEntrysTimes) {
  ScratchDir dir;
  MemoryArchive zip(ReadFileBytes(DataPath(L"basic.zip")));
  ZipEntry entry;
  ASSERT_EQ(GetEntry(zip.get(), 3, &entry), kZipOk);
  const Bytes expected = ReadFileBytes(DataPath(L"src/basic/data/big.bin"));

  std::wstring by_name = dir / L"new\\folders/big.bin";
  ASSERT_EQ(ExtractEntry(zip.get(), 3, by_name.c_str(), 0, ZipSourceKind::FileName), kZipOk);
  EXPECT_EQ(ReadFileBytes(by_name), expected);
  WIN32_FILE_ATTRIBUTE_DATA info;
  ASSERT_TRUE(GetFileAttributesExW(by_name.c_str(), GetFileExInfoStandard, &info));
  EXPECT_EQ(Ticks(info.ftLastWriteTime), Ticks(entry.write_time));

  std::wstring by_handle = dir / L"handle.bin";
  HANDLE file =
      CreateFileW(by_handle.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(file, "head", 4, &written, nullptr);
  EXPECT_EQ(ExtractEntry(zip.get(), 3, file, 0, ZipSourceKind::FileHandle), kZipOk);
  // A directory entry writes nothing to a handle.
  EXPECT_EQ(ExtractEntry(zip.get(), 1, file, 0, ZipSourceKind::FileHandle), kZipOk);
  CloseHandle(file);
  Bytes with_head = {'h', 'e', 'a', 'd'};
  with_head.insert(with_head.end(), expected.begin(), expected.end());
  EXPECT_EQ(ReadFileBytes(by_handle), with_head);
}

TEST(ZipReaderTest, RelativeTargetsGoUnderTheBaseDirectoryAndMayNotLeaveIt) {
  ScratchDir dir;
  MemoryArchive zip(ReadFileBytes(DataPath(L"basic.zip")));
  ASSERT_EQ(SetBaseDirectory(zip.get(), (dir / L"base").c_str()), kZipOk);
  EXPECT_EQ(ExtractEntry(zip.get(), 0, L"sub/readme.txt", 0, ZipSourceKind::FileName), kZipOk);
  EXPECT_EQ(ReadFileBytes(dir / L"base\\sub\\readme.txt"),
            ReadFileBytes(DataPath(L"src/basic/readme.txt")));
  EXPECT_EQ(ExtractEntry(zip.get(), 1, L"data/", 0, ZipSourceKind::FileName), kZipOk);
  EXPECT_TRUE(GetFileAttributesW((dir / L"base\\data").c_str()) & FILE_ATTRIBUTE_DIRECTORY);

  for (const wchar_t* escape : {L"..\\up.txt", L"sub/../../up.txt", L"up.txt:stream", L""}) {
    EXPECT_EQ(ExtractEntry(zip.get(), 0, escape, 0, ZipSourceKind::FileName), kZipCannotOpen);
  }
  EXPECT_EQ(archive_test::ListTree(dir.path()),
            (std::vector<std::wstring>{L"base\\", L"base\\data\\", L"base\\sub\\",
                                       L"base\\sub\\readme.txt"}));
}

TEST(ZipReaderTest, ADataDescriptorArchiveIsRead) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"descriptor.zip")));
  Bytes data;
  EXPECT_EQ(zip.Extract(0, &data), kZipOk);
  EXPECT_EQ(data, ReadFileBytes(DataPath(L"src/descriptor/streamed.txt")));
}

TEST(ZipReaderTest, UnsupportedMethodIsACorruptEntryAndTheOthersStillWork) {
  MemoryArchive zip(ReadFileBytes(DataPath(L"unsupported.zip")));
  ZipEntry e;
  EXPECT_EQ(GetEntry(zip.get(), 0, &e), kZipCorrupt);
  Bytes data(4000);
  EXPECT_EQ(ExtractEntry(zip.get(), 0, data.data(), data.size(), ZipSourceKind::Memory),
            kZipCorrupt);
  EXPECT_EQ(zip.Extract(1, &data), kZipOk);
  EXPECT_EQ(data, ReadFileBytes(DataPath(L"src/damaged/good.txt")));
}

TEST(ZipReaderTest, CrcMismatchFailsButKeepsTheData) {
  ScratchDir dir;
  MemoryArchive zip(ReadFileBytes(DataPath(L"bad_crc.zip")));
  const Bytes good = ReadFileBytes(DataPath(L"src/damaged/good.txt"));
  Bytes data;
  EXPECT_EQ(zip.Extract(0, &data), kZipCrcMismatch);
  EXPECT_EQ(data, good);  // the same text, stored with a wrong CRC
  EXPECT_EQ(ExtractEntry(zip.get(), 0, (dir / L"bad.txt").c_str(), 0, ZipSourceKind::FileName),
            kZipCrcMismatch);
  EXPECT_EQ(ReadFileBytes(dir / L"bad.txt"), good);
  EXPECT_EQ(zip.Extract(1, &data), kZipOk);
}

TEST(ZipReaderTest, TheRecordedSizeBoundsWhatIsWritten) {
  ScratchDir dir;
  MemoryArchive zip(ReadFileBytes(DataPath(L"lying_sizes.zip")));
  const Bytes big = ReadFileBytes(DataPath(L"src/damaged/big.bin"));
  const Bytes good = ReadFileBytes(DataPath(L"src/damaged/good.txt"));

  // 50000 bytes recorded as 1000: 1000 are written, and the CRC cannot match.
  EXPECT_EQ(ExtractEntry(zip.get(), 0, (dir / L"short.bin").c_str(), 0, ZipSourceKind::FileName),
            kZipCrcMismatch);
  EXPECT_EQ(ReadFileBytes(dir / L"short.bin"), Bytes(big.begin(), big.begin() + 1000));
  // A buffer larger than the recorded size is not filled past it.
  Bytes buffer(60000, 0xEE);
  EXPECT_EQ(ExtractEntry(zip.get(), 0, buffer.data(), buffer.size(), ZipSourceKind::Memory),
            kZipCrcMismatch);
  EXPECT_EQ(buffer[1000], 0xEE);

  // Recorded larger than the data: the data ends early.
  EXPECT_EQ(ExtractEntry(zip.get(), 1, (dir / L"long.bin").c_str(), 0, ZipSourceKind::FileName),
            kZipDataError);
  EXPECT_EQ(ReadFileBytes(dir / L"long.bin"), good);
  EXPECT_EQ(ExtractEntry(zip.get(), 2, (dir / L"stored.bin").c_str(), 0, ZipSourceKind::FileName),
            kZipCrcMismatch);
  EXPECT_EQ(ReadFileBytes(dir / L"stored.bin"), Bytes(good.begin(), good.begin() + 100));
}

TEST(ZipReaderTest, ArchivesThatCannotBeOpenedGive0x200) {
  const Bytes basic = ReadFileBytes(DataPath(L"basic.zip"));
  const Layout l = Parse(basic);
  std::vector<Bytes> broken;
  broken.push_back(Bytes(basic.begin(), basic.end() - 10));  // end record cut
  broken.push_back(Bytes(basic.begin(), basic.begin() + basic.size() / 2));
  broken.push_back(Bytes(100, 'x'));
  broken.push_back(Bytes());
  Bytes counts = basic;
  counts[l.end + 8] ^= 1;  // entries on this disk differ from the total
  broken.push_back(counts);
  Bytes disk = basic;
  disk[l.end + 4] = 1;
  broken.push_back(disk);
  Bytes offset = basic;
  PutLe32(&offset, l.end + 16, Le32(basic, l.end + 16) + 1);  // directory runs past the record
  broken.push_back(offset);
  for (size_t i = 0; i < broken.size(); ++i) {
    MemoryArchive zip(broken[i]);
    EXPECT_EQ(zip.get(), nullptr) << i;
    EXPECT_EQ(LastZipStatus(), kZipCannotOpen) << i;
  }
  EXPECT_EQ(OpenArchive(L"Z:\\no\\such\\file.zip", 0, ZipSourceKind::FileName), nullptr);
  EXPECT_EQ(LastZipStatus(), kZipCannotOpen);
}

TEST(ZipReaderTest, DamagedEntriesGiveTheirStatusesAndSpareTheOthers) {
  const Bytes basic = ReadFileBytes(DataPath(L"basic.zip"));
  const Layout l = Parse(basic);
  ZipEntry e;
  Bytes data;

  Bytes signature = basic;
  signature[l.local[0]] = 'X';
  MemoryArchive a(signature);
  EXPECT_EQ(GetEntry(a.get(), 0, &e), kZipCorrupt);
  EXPECT_EQ(a.Extract(3, &data), kZipOk);

  Bytes method = basic;
  method[l.local[3] + 8] = 0;  // stored locally, deflated centrally
  MemoryArchive b(method);
  EXPECT_EQ(GetEntry(b.get(), 3, &e), kZipCorrupt);

  Bytes central = basic;
  central[l.central[2]] = 'X';  // entries behind it cannot be reached
  MemoryArchive c(central);
  EXPECT_EQ(GetEntry(c.get(), 1, &e), kZipOk);
  EXPECT_EQ(GetEntry(c.get(), 2, &e), kZipCorrupt);
  EXPECT_EQ(GetEntry(c.get(), 5, &e), kZipCorrupt);
  EXPECT_EQ(GetEntry(c.get(), 0, &e), kZipOk);

  Bytes distant = basic;
  PutLe32(&distant, l.central[0] + 42, 0x7FFFFFF0);  // local header beyond the end
  MemoryArchive d(distant);
  EXPECT_EQ(GetEntry(d.get(), 0, &e), kZipReadFailed);

  Bytes deflate = basic;
  deflate[DataOffset(basic, l.local[3])] |= 0x06;  // reserved block type
  MemoryArchive f(deflate);
  EXPECT_EQ(f.Extract(3, &data), kZipDataError);

  // A stored entry said to run far past the end of the archive.
  Bytes endless = basic;
  for (size_t at : {l.local[2] + 18, l.local[2] + 22}) PutLe32(&endless, at, 0x7FFFFFFF);
  for (size_t at : {l.central[2] + 20, l.central[2] + 24}) PutLe32(&endless, at, 0x7FFFFFFF);
  MemoryArchive g(endless);
  Bytes piece(1 << 20);
  ZipStatus s;
  int calls = 0;
  while ((s = ExtractEntry(g.get(), 2, piece.data(), piece.size(), ZipSourceKind::Memory)) ==
             kZipMore &&
         ++calls < 100) {
  }
  EXPECT_EQ(s, kZipDataError);
}

TEST(ZipReaderTest, BadHandlesAndArgumentsAreAnsweredNotFollowed) {
  EXPECT_EQ(CloseArchive(nullptr), kZipBadArgument);
  int not_a_reader = 0;
  EXPECT_EQ(CloseArchive(reinterpret_cast<ZipReader*>(&not_a_reader)), kZipNotReader);
  EXPECT_EQ(LastZipStatus(), kZipNotReader);

  Bytes basic = ReadFileBytes(DataPath(L"basic.zip"));
  ZipReader* zip = OpenArchive(basic.data(), basic.size(), ZipSourceKind::Memory);
  ASSERT_NE(zip, nullptr);
  ZipEntry e;
  EXPECT_EQ(GetEntry(zip, 7, &e), kZipBadArgument);
  EXPECT_EQ(GetEntry(zip, -2, &e), kZipBadArgument);
  Bytes data(10);
  EXPECT_EQ(ExtractEntry(zip, 7, data.data(), data.size(), ZipSourceKind::Memory), kZipBadArgument);
  EXPECT_EQ(ExtractEntry(zip, 0, data.data(), data.size(), static_cast<ZipSourceKind>(9)),
            kZipBadArgument);
  EXPECT_EQ(ExtractEntry(zip, 0, nullptr, 10, ZipSourceKind::Memory), kZipBadArgument);
  EXPECT_EQ(CloseArchive(zip), kZipOk);
  EXPECT_EQ(CloseArchive(zip), kZipNotReader);  // already closed
  EXPECT_EQ(GetEntry(zip, 0, &e), kZipNotReader);

  EXPECT_EQ(OpenArchive(basic.data(), basic.size(), static_cast<ZipSourceKind>(0)), nullptr);
  EXPECT_EQ(LastZipStatus(), kZipBadArgument);

  // A pipe cannot seek.
  HANDLE read_end, write_end;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  EXPECT_EQ(OpenArchive(read_end, 0, ZipSourceKind::FileHandle), nullptr);
  EXPECT_EQ(LastZipStatus(), kZipCannotSeek);
  CloseHandle(read_end);
  CloseHandle(write_end);
}

}  // namespace
