#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZipBuilder.h"
#include "container/VoxZipFile.h"

using namespace gridlark;
using gridlark::test::ZipBuilder;

namespace {

std::string Repeat(std::string_view s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

void Load(TZipArchive& zip, const std::vector<uint8_t>& bytes) {
  TSpanStream stream(bytes);
  zip.ReadFromStream(stream);
}

std::string Extract(const TZipArchive& zip, std::string_view name) {
  std::string data;
  zip.ExtractFileByName(name, data);
  return data;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

const std::string kSheet = "<worksheet>" + Repeat("<row><c><v>12345</v></c></row>", 400) + "</worksheet>";

}  // namespace

TEST(ZipArchive, ListsAndExtractsStoredDeflatedAndEmptyEntries) {
  ZipBuilder b;
  b.Add("[Content_Types].xml", "<Types/>", false);
  b.Add("xl/worksheets/sheet1.xml", kSheet);
  b.Add("empty.txt", "", true);
  b.Add("stored-empty", "", false);
  TZipArchive zip;
  Load(zip, b.Build());
  ASSERT_EQ(zip.Count(), 4);
  EXPECT_EQ(zip.Files()[1].FileName, "xl/worksheets/sheet1.xml");
  EXPECT_TRUE(zip.Files()[1].LocalHeaderLoaded);
  EXPECT_EQ(Extract(zip, "[Content_Types].xml"), "<Types/>");
  EXPECT_EQ(Extract(zip, "xl/worksheets/sheet1.xml"), kSheet);
  EXPECT_EQ(Extract(zip, "empty.txt"), "");
  EXPECT_EQ(Extract(zip, "stored-empty"), "");
  EXPECT_EQ(Extract(zip, "no/such/part.xml"), "");  // a missing part is empty, not an error
}

TEST(ZipArchive, NamesMatchAsciiCaseInsensitivelyWithSlashesForBackslashes) {
  ZipBuilder b;
  b.Add("xl/workbook.xml", "first");
  b.Add("XL/Workbook.xml", "second");
  b.Add("xl/worksheets/sheet1.xml", "backslashed").localName = "xl\\worksheets\\sheet1.xml";
  b.Add("caf\xc3\xa9.xml", "accented");
  TZipArchive zip;
  Load(zip, b.Build());
  EXPECT_EQ(zip.IndexOfFile("XL/WORKBOOK.XML"), 0);  // the earlier of two case variants wins
  EXPECT_EQ(zip.IndexOfFile("xl/worksheets/sheet1.xml"), 2);
  EXPECT_EQ(zip.Files()[2].CentralFileName, "xl/worksheets/sheet1.xml");
  EXPECT_EQ(zip.IndexOfFile("xl\\worksheets\\sheet1.xml"), -1);
  EXPECT_EQ(zip.IndexOfFile("CAF\xc3\xa9.XML"), 3);
  EXPECT_EQ(zip.IndexOfFile("caf\xc3\x89.xml"), -1);  // letters beyond A to Z compare exactly
  EXPECT_EQ(zip.IndexOfFile("xl/workbook.xm"), -1);
}

TEST(ZipArchive, FindsTheEndRecordBeforeAnArchiveComment) {
  ZipBuilder b;
  b.Add("a.xml", "<a/>");
  // A comment that itself holds an end-record signature must not mislead.
  const std::string comment = "PK\x05\x06 not a record " + std::string(300, 'c');
  for (const std::string& c : {std::string("x"), comment, std::string(65535, 'z')}) {
    TZipArchive zip;
    Load(zip, b.Build(c));
    ASSERT_EQ(zip.Count(), 1) << c.size();
    EXPECT_EQ(Extract(zip, "a.xml"), "<a/>");
    EXPECT_EQ(zip.EndOfCentralDir().ZipCommentLength, c.size());
  }
}

TEST(ZipArchive, DataDescriptorsAndZip64FieldsGiveTheRealSizes) {
  ZipBuilder b;
  b.Add("described.xml", kSheet).dataDescriptor = true;
  b.Add("stored-described.xml", "plain text", false).dataDescriptor = true;
  b.Add("big.xml", kSheet).zip64 = true;
  b.Add("big-stored.xml", "stored text", false).zip64 = true;
  for (bool zip64End : {false, true}) {
    TZipArchive zip;
    Load(zip, b.Build("", zip64End));
    ASSERT_EQ(zip.Count(), 4);
    EXPECT_EQ(Extract(zip, "described.xml"), kSheet);
    EXPECT_EQ(Extract(zip, "stored-described.xml"), "plain text");
    EXPECT_EQ(Extract(zip, "big.xml"), kSheet);
    EXPECT_EQ(Extract(zip, "big-stored.xml"), "stored text");
    EXPECT_EQ(zip.Files()[2].CentralHeader.UncompressedSize, kSheet.size());
  }
}

TEST(ZipArchive, DamagedEntriesRaiseTheirMessages) {
  ZipBuilder b;
  b.Add("xl/styles.xml", "<styleSheet/>").crcXor = 1;
  b.Add("stored.xml", "<x/>", false).crcXor = 0x80000000;
  b.Add("ok.xml", kSheet);
  std::vector<uint8_t> bytes = b.Build();
  TZipArchive zip;
  Load(zip, bytes);
  EXPECT_EQ(ErrorOf([&] { Extract(zip, "xl/styles.xml"); }), "CRC Error in \"xl/styles.xml\".");
  EXPECT_THROW(Extract(zip, "stored.xml"), EZipFileCRCError);
  std::string data;
  EXPECT_EQ(ErrorOf([&] { zip.ExtractFile(3, data); }), "Index out of bounds");
  EXPECT_EQ(ErrorOf([&] { zip.ExtractFile(-1, data); }), "Index out of bounds");
  std::unique_ptr<TFixMemoryStream> source;
  std::unique_ptr<TStream> inflater;
  int64_t size = 0;
  EXPECT_EQ(ErrorOf([&] { zip.OpenEntryStream(7, source, inflater, size); }), "Index out of bounds");

  // Corrupt deflate data, and an entry that claims more than its data hold.
  ZipBuilder bad;
  bad.Add("garbage.xml", "x", false);
  std::vector<uint8_t> g = bad.Build();
  g[8] = 8;  // method deflate over bytes that are no deflate stream
  g[22] = 5;  // uncompressed size 5 against 1 stored byte
  Load(zip, g);
  EXPECT_EQ(ErrorOf([&] { Extract(zip, "garbage.xml"); }), "error");

  ZipBuilder liar;
  liar.Add("short.xml", "<a>abc</a>");
  std::vector<uint8_t> l = liar.Build();
  l[22] += 50;  // local uncompressed size beyond what the data produce
  Load(zip, l);
  EXPECT_EQ(ErrorOf([&] { Extract(zip, "short.xml"); }), "error");
  zip.OpenEntryStream(0, source, inflater, size);
  EXPECT_EQ(size, 60);
  std::string buf(size_t(size), '\0');
  EXPECT_EQ(ErrorOf([&] { inflater->ReadBuffer(buf.data(), size); }), "error");
}

TEST(ZipArchive, StreamsEntriesForTheXmlEngine) {
  ZipBuilder b;
  b.Add("xl/worksheets/sheet1.xml", kSheet);
  b.Add("xl/worksheets/sheet2.xml", kSheet, false);
  TZipArchive zip;
  Load(zip, b.Build());
  for (int i = 0; i < 2; ++i) {
    std::unique_ptr<TFixMemoryStream> source;
    std::unique_ptr<TStream> inflater;
    int64_t size = 0;
    zip.OpenEntryStream(i, source, inflater, size);
    ASSERT_EQ(size, int64_t(kSheet.size()));
    std::string got(kSheet.size() + 10, '\0');
    int64_t n = 0, r;
    while ((r = inflater->Read(got.data() + n, 1000)) > 0) n += r;  // small pieces, then a clean end
    got.resize(size_t(n));
    EXPECT_EQ(got, kSheet) << i;
    EXPECT_EQ(source->Capacity() % 8192, 0);
  }
}

TEST(ZipArchive, AnythingElseLoadsWithoutEntries) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {}, {'P', 'K'}, std::vector<uint8_t>(100, 0), {'P', 'K', 5, 6}, ZipBuilder().Build()};
  for (const auto& bytes : inputs) {
    TZipArchive zip;
    Load(zip, bytes);
    EXPECT_EQ(zip.Count(), 0) << bytes.size();
    EXPECT_EQ(Extract(zip, "content.xml"), "");
  }
}

// Every prefix of an archive: entries whose headers or data run past the end
// are shortened, and extracting them fails with a message, never a crash.
TEST(ZipArchive, TruncatedArchivesNeverReadPastTheData) {
  ZipBuilder b;
  b.Add("a.xml", kSheet);
  b.Add("b.xml", "stored bytes", false);
  b.Add("c.xml", kSheet).dataDescriptor = true;
  const std::vector<uint8_t> whole = b.Build("comment");
  for (size_t cut = 0; cut < whole.size(); cut += 7) {
    std::vector<uint8_t> part(whole.begin(), whole.begin() + long(cut));
    TZipArchive zip;
    Load(zip, part);
    for (int i = 0; i < zip.Count(); ++i) {
      std::string data;
      try {
        zip.ExtractFile(i, data);
      } catch (const Exception&) {
      }
    }
  }
  // Damaged data in one entry fail that entry only.
  std::vector<uint8_t> holed = whole;
  const size_t firstData = 30 + 5;
  for (size_t i = firstData + 10; i < firstData + 40; ++i) holed[i] ^= 0x5A;
  TZipArchive zip;
  Load(zip, holed);
  ASSERT_EQ(zip.Count(), 3);
  EXPECT_ANY_THROW(Extract(zip, "a.xml"));
  EXPECT_EQ(Extract(zip, "b.xml"), "stored bytes");
  EXPECT_EQ(Extract(zip, "c.xml"), kSheet);
}

// Many directory entries pointing at one local header with a long name must
// not multiply the archive in memory.
TEST(ZipArchive, SharedLocalHeadersDoNotMultiplyMemory) {
  gridlark::test::Bytes z;
  const std::string name(60000, 'n');
  z.u32(0x04034B50).u16(20).u16(0).u16(0).u16(0).u16(0).u32(0).u32(1).u32(1);
  z.u16(uint16_t(name.size())).u16(0).str(name).str("x");
  const uint32_t cdAt = uint32_t(z.size());
  const int entries = 3000;
  for (int i = 0; i < entries; ++i)
    z.u32(0x02014B50).u16(20).u16(20).u16(0).u16(0).u16(0).u16(0).u32(0).u32(1).u32(1).u16(1).u16(0).u16(0).u16(0)
        .u16(0).u32(0).u32(0).str("n");
  const uint32_t cdSize = uint32_t(z.size()) - cdAt;
  z.u32(0x06054B50).u16(0).u16(0).u16(entries).u16(entries).u32(cdSize).u32(cdAt).u16(0);
  TZipArchive zip;
  Load(zip, z.data);
  ASSERT_EQ(zip.Count(), entries);
  size_t copied = 0;
  for (int i = 0; i < zip.Count(); ++i) copied += zip.Files()[i].FileName.size();
  EXPECT_LE(copied, z.size() + 65536);
  EXPECT_EQ(zip.Files()[0].FileName, name);
  EXPECT_FALSE(zip.Files()[entries - 1].LocalHeaderLoaded);
}

TEST(ZipArchive, Crc32AndTheMemoryStreamCapacityRule) {
  EXPECT_EQ(CalcCRC32(""), 0u);
  EXPECT_EQ(CalcCRC32("123456789"), 0xCBF43926u);
  TFixMemoryStream m;
  m.SetSize(1);
  EXPECT_EQ(m.Capacity(), 8192);
  m.SetSize(8192);
  EXPECT_EQ(m.Capacity(), 8192);
  m.SetPosition(8192);
  m.WriteBuffer("ab", 2);
  EXPECT_EQ(m.Capacity(), 16384);
  EXPECT_EQ(m.Size(), 8194);
  m.SetSize(0);
  EXPECT_EQ(m.Capacity(), 0);
  EXPECT_EQ(m.Memory(), nullptr);
}
