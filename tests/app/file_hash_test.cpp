#include "app/file_hash.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tests/support/scoped_temp_dir.h"

namespace {

using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const char kEmpty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + i / 509) % 256);
  return bytes;
}

std::string HashOf(const std::string& bytes) {
  std::unique_ptr<Sha256> hash = Sha256::Create();
  if (!hash || !hash->Update(bytes.data(), bytes.size())) return std::string();
  return hash->FinishHex();
}

TEST(Sha256Test, KnownDigestsWholeOrInPieces) {
  EXPECT_EQ(kAbc, HashOf("abc"));
  EXPECT_EQ(kEmpty, HashOf(""));
  std::unique_ptr<Sha256> hash = Sha256::Create();
  ASSERT_TRUE(hash);
  EXPECT_TRUE(hash->Update("a", 1));
  EXPECT_TRUE(hash->Update("", 0));
  EXPECT_TRUE(hash->Update("bc", 2));
  EXPECT_EQ(3u, hash->length());
  EXPECT_EQ(kAbc, hash->FinishHex());
  // Finished is finished: no second digest of other bytes.
  EXPECT_FALSE(hash->Update("x", 1));
  EXPECT_EQ("", hash->FinishHex());
}

TEST(Sha256Test, AClonedPrefixGoesOnIndependently) {
  const std::string bytes = Pattern(3 << 20);
  std::unique_ptr<Sha256> prefix = Sha256::Create();
  ASSERT_TRUE(prefix->Update(bytes.data(), 1000001));
  std::unique_ptr<Sha256> resumed = prefix->Clone();
  ASSERT_TRUE(resumed);
  EXPECT_EQ(1000001u, resumed->length());
  ASSERT_TRUE(resumed->Update(bytes.data() + 1000001, bytes.size() - 1000001));
  EXPECT_EQ(HashOf(bytes), resumed->FinishHex());
  // The original still holds only the prefix.
  ASSERT_TRUE(prefix->Update("z", 1));
  EXPECT_EQ(HashOf(bytes.substr(0, 1000001) + "z"), prefix->FinishHex());
}

TEST(Sha256Test, FilesWholeAndByPrefix) {
  ScopedTempDir dir;
  const std::string bytes = Pattern((2 << 20) + 17);
  const std::wstring path = dir.Child(L"package.bin");
  ASSERT_TRUE(WriteBytes(path, bytes));
  EXPECT_EQ(HashOf(bytes), Sha256OfFile(path));

  std::unique_ptr<Sha256> prefix = Sha256::Create();
  ASSERT_TRUE(prefix->UpdateFromFile(path, (1 << 20) + 3));
  EXPECT_EQ(HashOf(bytes.substr(0, (1 << 20) + 3)), prefix->FinishHex());
  // A prefix longer than the file is refused rather than padded.
  std::unique_ptr<Sha256> too_long = Sha256::Create();
  EXPECT_FALSE(too_long->UpdateFromFile(path, static_cast<int64_t>(bytes.size()) + 1));

  ASSERT_TRUE(WriteBytes(dir.Child(L"empty"), ""));
  EXPECT_EQ(kEmpty, Sha256OfFile(dir.Child(L"empty")));
  EXPECT_EQ("", Sha256OfFile(dir.Child(L"missing")));
  // A progress that says stop gives no digest.
  EXPECT_EQ("", Sha256OfFile(path, [](uint64_t done, uint64_t) { return done < (1u << 20); }));
}

}  // namespace
