#include <gtest/gtest.h>

#include <zlib.h>

#include "SkinZipWriter.h"
#include "UIBuilder.h"
#include "UIManager.h"
#include "UIResource.h"
#include "UIZip.h"

using namespace VantorUI;
using vekt::skin::WriteZip;
using vekt::skin::ZipInput;

namespace {

std::vector<uint8_t> pattern(size_t size) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 7) ^ (i >> 9));
  return v;
}

std::string read(const CZipPackage& zip, const std::string& name, std::vector<uint8_t>* bytes = nullptr) {
  std::vector<uint8_t> got{1, 2, 3};
  std::string error = "unset";
  const bool ok = zip.Read(name, got, error);
  if (ok != error.empty()) return "result and error text disagree";
  if (!ok && !got.empty()) return "failure left bytes behind";
  if (bytes) *bytes = got;
  return ok ? "ok" : error;
}

}  // namespace

TEST(ZipTest, ReadsStoredAndDeflatedEntriesAndTheSizeLimit) {
  const auto layout = std::vector<uint8_t>{'<', 'W', '/', '>'};
  const auto atLimit = pattern(kZipMaxEntrySize);
  const auto overLimit = pattern(kZipMaxEntrySize + 1);
  const auto zip = WriteZip({{"stored.xml", layout, false},
                             {"deflated.bin", pattern(100000), true},
                             {"limit.bin", atLimit, true},
                             {"limit_stored.bin", atLimit, false},
                             {"over.bin", overLimit, true},
                             {"empty.txt", {}, false}});
  ASSERT_FALSE(zip.empty());
  CZipPackage package;
  ASSERT_TRUE(package.OpenMemory(zip.data(), zip.size(), L"membuffer"));
  EXPECT_EQ(package.EntryCount(), 6u);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(read(package, "stored.xml", &bytes), "ok");
  EXPECT_EQ(bytes, layout);
  EXPECT_EQ(read(package, "deflated.bin", &bytes), "ok");
  EXPECT_EQ(bytes, pattern(100000));
  EXPECT_EQ(read(package, "limit.bin", &bytes), "ok");
  EXPECT_EQ(bytes, atLimit);
  EXPECT_EQ(read(package, "limit_stored.bin", &bytes), "ok");
  EXPECT_EQ(read(package, "over.bin"), kZipErrorTooLarge);
  EXPECT_EQ(read(package, "empty.txt"), kZipErrorEmpty);
  EXPECT_EQ(read(package, "missing.png"), kZipErrorNotFound);
  EXPECT_EQ(read(package, "STORED.XML"), kZipErrorNotFound) << "names match exactly";

  package.Close();
  EXPECT_EQ(read(package, "stored.xml"), kZipErrorOpen);
  ASSERT_TRUE(package.OpenCopy(zip, L"copy"));
  EXPECT_EQ(read(package, "deflated.bin"), "ok");
}

TEST(ZipTest, DamagedArchivesFailClearly) {
  const auto content = pattern(5000);
  const auto zip = WriteZip({{"a.bin", content, true}, {"b.bin", content, false}});
  ASSERT_FALSE(zip.empty());
  CZipPackage package;

  // Cut short anywhere, the directory is gone or points past the end.
  for (size_t cut : {size_t{0}, size_t{10}, size_t{21}, zip.size() / 2, zip.size() - 1}) {
    std::vector<uint8_t> part(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(package.OpenMemory(part.data(), part.size(), L"cut")) << cut;
    EXPECT_EQ(read(package, "a.bin"), kZipErrorOpen);
  }
  EXPECT_FALSE(package.OpenMemory(nullptr, 100, L"null"));

  struct Damage {
    const char* what;
    size_t offset;
    uint8_t value;
    const char* entry;
    const char* expected;
  };
  const size_t dataA = 30 + 5;  // local header + "a.bin"
  const size_t localB = [&] {
    for (size_t i = 4; i + 4 <= zip.size(); ++i)
      if (zip[i] == 0x50 && zip[i + 1] == 0x4b && zip[i + 2] == 3 && zip[i + 3] == 4) return i;
    return size_t{0};
  }();
  ASSERT_NE(localB, 0u);
  const Damage damages[] = {
      {"corrupt deflate stream", dataA, 0xFF, "a.bin", kZipErrorUnzip},
      {"flipped stored byte fails its checksum", localB + 30 + 5 + 100, 0x55, "b.bin", kZipErrorUnzip},
      {"bad local header", localB, 0xFF, "b.bin", kZipErrorUnzip},
      {"unknown method", localB + 8, 0x0E, "b.bin", "ok"},  // the directory's method counts
      {"intact neighbour", dataA, 0xFF, "b.bin", "ok"},
  };
  for (const Damage& d : damages) {
    auto bad = zip;
    bad[d.offset] ^= d.value;
    ASSERT_TRUE(package.OpenMemory(bad.data(), bad.size(), L"bad")) << d.what;
    EXPECT_EQ(read(package, d.entry), d.expected) << d.what;
  }

  // Directory entries that lie: sizes, offsets and methods.
  const size_t dir = zip.size() - 22 - 2 * (46 + 5);
  struct DirDamage {
    const char* what;
    size_t field;
    uint32_t value;
    const char* expected;
  } dirDamages[] = {
      {"size bigger than the inflated data", 24, 6000, kZipErrorUnzip},
      {"size smaller than the inflated data", 24, 100, kZipErrorUnzip},
      {"packed size past the end", 20, 0x7FFFFFFF, kZipErrorUnzip},
      {"offset past the end", 42, 0xFFFFFF00, kZipErrorUnzip},
      {"encrypted", 8, 1, kZipErrorUnzip},
      {"unknown method", 10, 12, kZipErrorUnzip},
      {"size over the limit", 24, kZipMaxEntrySize + 1, kZipErrorTooLarge},
  };
  for (const DirDamage& d : dirDamages) {
    auto bad = zip;
    for (int k = 0; k < (d.field == 8 || d.field == 10 ? 2 : 4); ++k)
      bad[dir + d.field + static_cast<size_t>(k)] = static_cast<uint8_t>(d.value >> (8 * k));
    ASSERT_TRUE(package.OpenMemory(bad.data(), bad.size(), L"bad")) << d.what;
    EXPECT_EQ(read(package, "a.bin"), d.expected) << d.what;
  }

  auto badCount = zip;
  badCount[zip.size() - 22 + 10] = 200;  // more entries than the directory holds
  EXPECT_FALSE(package.OpenMemory(badCount.data(), badCount.size(), L"bad"));
  auto withComment = zip;
  withComment.insert(withComment.end(), {'h', 'i'});
  withComment[withComment.size() - 4] = 2;  // comment length covers the two bytes
  EXPECT_TRUE(package.OpenMemory(withComment.data(), withComment.size(), L"comment"));
}

TEST(ZipTest, LayoutsAndImagesComeFromTheOpenPackage) {
  const std::string layout = "<Window size='30,20'><VerticalLayout name='root' bkimage='dot.png'/></Window>";
  const auto zip = WriteZip({{"Main.xml", std::vector<uint8_t>(layout.begin(), layout.end()), true},
                             {"Broken.xml", {'<', 'W'}, false},
                             {"dot.png", {0x89, 'P', 'N', 'G'}, false}});
  CZipPackage& package = CResourceUI::Package();
  package.Close();
  ASSERT_TRUE(CResourceUI::OpenMemoryPackage(zip.data(), zip.size()));
  const auto other = WriteZip({{"x", {1}, false}});
  EXPECT_TRUE(CResourceUI::OpenMemoryPackage(other.data(), other.size())) << "reuses the open package";
  EXPECT_EQ(package.EntryCount(), 3u);

  CManagerUI manager;
  CDialogBuilder builder;
  auto root = builder.Create(L"Main.xml", nullptr, &manager);
  ASSERT_NE(root, nullptr) << builder.GetLastErrorText();
  EXPECT_EQ(manager.GetInitSize().cx, 30);
  EXPECT_EQ(builder.Create(L"Missing.xml", nullptr, &manager), nullptr);
  EXPECT_EQ(builder.GetLastErrorText(), kZipErrorNotFound);
  EXPECT_EQ(builder.Create(L"Broken.xml", nullptr, &manager), nullptr);
  EXPECT_NE(builder.GetLastErrorText().find("XML error"), std::string::npos);

  EXPECT_EQ(manager.GetImage(L"dot.png"), nullptr) << "an undecodable image gives nothing";
  EXPECT_EQ(manager.GetImage(L"nothere.png"), nullptr);
  package.Close();
}
