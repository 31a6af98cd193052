#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "CompoundWriter.h"
#include "TestSupport.h"
#include "container/OleStorage.h"
#include "platform/Exceptions.h"

using namespace gridlark;
using gridlark::test::CompoundWriter;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7 + (i >> 8));
  return v;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

std::vector<STATSTG> Elements(const IStorage& storage) {
  std::vector<STATSTG> out;
  IEnumSTATSTG e = storage.EnumElements();
  e.Reset();
  STATSTG s;
  while (e.Next(s)) out.push_back(s);
  return out;
}

std::vector<uint8_t> ReadAll(IStream& stream) {
  std::vector<uint8_t> out(size_t(stream.Size()) + 10);
  stream.Seek(0, SeekOrigin::Begin);
  out.resize(size_t(stream.Read(out.data(), int64_t(out.size()))));
  return out;
}

// A document with a regular stream, mini streams, an empty stream and nested
// storages, as the readers meet them.
struct Sample {
  CompoundWriter writer;
  std::map<std::u16string, std::vector<uint8_t>> streams;
  int book = 0, summary = 0, vba = 0;
  explicit Sample(unsigned shift) : writer(shift) {
    book = Add(0, u"Workbook", Pattern(9000, 1));
    summary = Add(0, u"\005SummaryInformation", Pattern(200, 2));
    Add(0, u"Empty", {});
    vba = writer.AddStorage(0, u"_VBA_PROJECT_CUR");
    Add(vba, u"dir", Pattern(700, 3));
    const int inner = writer.AddStorage(vba, u"VBA");
    Add(inner, u"Module1", Pattern(5000, 4));
  }
  int Add(int parent, std::u16string name, std::vector<uint8_t> data) {
    streams[name] = data;
    return writer.AddStream(parent, name, std::move(data));
  }
};

}  // namespace

class OleStorageVersions : public ::testing::TestWithParam<unsigned> {};

TEST_P(OleStorageVersions, ListsAndReadsEveryElement) {
  Sample sample(GetParam());
  std::shared_ptr<IStorage> root = StgOpenStorageOnMemory(sample.writer.Build());

  // Directory order: shorter names first, then by upper-cased name.
  const auto top = Elements(*root);
  ASSERT_EQ(top.size(), 4u);
  const std::u16string names[] = {u"Empty", u"Workbook", u"_VBA_PROJECT_CUR", u"\005SummaryInformation"};
  const uint32_t types[] = {STGTY_STREAM, STGTY_STREAM, STGTY_STORAGE, STGTY_STREAM};
  const uint64_t sizes[] = {0, 9000, 0, 200};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(top[i].pwcsName, names[i]);
    EXPECT_EQ(top[i].type, types[i]);
    EXPECT_EQ(top[i].cbSize, sizes[i]);
  }

  auto vba = root->OpenStorage(u"_VBA_PROJECT_CUR");
  ASSERT_TRUE(vba);
  auto inner = vba->OpenStorage(u"VBA");
  ASSERT_TRUE(inner);
  for (auto [storage, name] : {std::pair{root.get(), u"Workbook"}, {root.get(), u"\005SummaryInformation"},
                               {root.get(), u"Empty"}, {vba.get(), u"dir"}, {inner.get(), u"Module1"}}) {
    auto stream = storage->OpenStream(name);
    ASSERT_TRUE(stream) << WideToUtf8(name);
    EXPECT_EQ(stream->Stat().cbSize, sample.streams[name].size());
    EXPECT_EQ(ReadAll(*stream), sample.streams[name]) << WideToUtf8(name);
  }

  // Names match in ASCII case too; a name of the other kind does not match.
  EXPECT_TRUE(root->OpenStream(u"WORKBOOK"));
  EXPECT_FALSE(root->OpenStream(u"_VBA_PROJECT_CUR"));
  EXPECT_FALSE(root->OpenStorage(u"Workbook"));
  EXPECT_FALSE(root->OpenStream(u"Book"));
  EXPECT_FALSE(root->OpenStream(u"dir"));  // only direct children
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, OleStorageVersions, ::testing::Values(9u, 12u));

TEST(OleStorage, StreamsReadInPiecesAcrossSectorsAndSeek) {
  Sample sample(9);
  auto root = StgOpenStorageOnMemory(sample.writer.Build());
  for (std::u16string name : {u"Workbook", u"\005SummaryInformation"}) {
    const auto& want = sample.streams[name];
    TOleStream stream(root->OpenStream(name));
    EXPECT_EQ(stream.Size(), int64_t(want.size()));
    std::vector<uint8_t> got;
    uint8_t buf[77];
    for (int64_t n; (n = stream.Read(buf, sizeof buf)) > 0;) got.insert(got.end(), buf, buf + n);
    EXPECT_EQ(got, want);

    EXPECT_EQ(stream.Seek(-10, SeekOrigin::End), int64_t(want.size()) - 10);
    EXPECT_EQ(stream.Read(buf, sizeof buf), 10);
    EXPECT_EQ(buf[0], want[want.size() - 10]);
    stream.SetPosition(60);
    EXPECT_EQ(stream.Seek(5, SeekOrigin::Current), 65);
    stream.ReadBuffer(buf, 4);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 4), std::vector<uint8_t>(want.begin() + 65, want.begin() + 69));
    // Past the end reads nothing; before the start and writing raise.
    stream.SetPosition(int64_t(want.size()) + 100);
    EXPECT_EQ(stream.Read(buf, sizeof buf), 0);
    EXPECT_THROW(stream.Seek(-1, SeekOrigin::Begin), EOleSysError);
    EXPECT_THROW(stream.Seek(INT64_MAX, SeekOrigin::Current), EOleSysError);
    EXPECT_THROW(stream.Write(buf, 1), EOleSysError);
  }
  EXPECT_THROW(TOleStream(nullptr), EOleSysError);
}

TEST(OleStorage, OpensFilesAndTellsThemFromPlainFiles) {
  Sample sample(9);
  const std::string path = test::WriteTempFile("doc.xls", sample.writer.Build());
  const std::string plain = test::WriteTempFile("plain.xls", {0x09, 0x08, 0x10, 0x00, 0x00, 0x06});
  const std::string bare = test::WriteTempFile("bare.xls", {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1});
  EXPECT_TRUE(StgIsStorageFile(path));
  EXPECT_FALSE(StgIsStorageFile(plain));
  EXPECT_FALSE(StgIsStorageFile(path + ".missing"));
  EXPECT_FALSE(StgIsStorageFile(std::filesystem::path(path).parent_path().string()));
  EXPECT_TRUE(StgIsStorageFile(bare));  // the signature decides, as the readers expect

  auto root = StgOpenStorage(path);
  auto stream = root->OpenStream(u"Workbook");
  root.reset();  // streams keep their document alive
  ASSERT_TRUE(stream);
  EXPECT_EQ(ReadAll(*stream), sample.streams[u"Workbook"]);

  EXPECT_THROW(StgOpenStorage(path + ".missing"), EOleSysError);
  try {
    StgOpenStorage(bare);
    ADD_FAILURE();
  } catch (const EOleSysError& e) {
    EXPECT_STREQ(e.what(), "The file is not a valid compound file.");
  }
}

TEST(OleStorage, RejectsDocumentsWithoutHeaderOrRoot) {
  Sample sample(9);
  const std::vector<uint8_t> good = sample.writer.Build();
  const size_t rootType = sample.writer.EntryOffset(0) + 0x42;
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* message;
  } cases[] = {
      {"plain bytes", [](auto& b) { b[0] = 0x09; }, "The file is not a valid compound file."},
      {"sector shift 10", [](auto& b) { b[0x1E] = 10; }, "The file is not a valid compound file."},
      {"header only", [](auto& b) { b.resize(512); }, "The compound file is corrupt."},
      {"short header", [](auto& b) { b.resize(300); }, "The file is not a valid compound file."},
      {"directory out of range", [](auto& b) { Put32(b, 0x30, 0x7FFFFFF0); }, "The compound file is corrupt."},
      {"root entry not a root", [&](auto& b) { b[rootType] = 1; }, "The compound file is corrupt."},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    try {
      StgOpenStorageOnMemory(bytes);
      ADD_FAILURE() << c.what;
    } catch (const EOleSysError& e) {
      EXPECT_STREQ(e.what(), c.message) << c.what;
    }
  }
}

// Damaged chains, sizes and trees give short reads or fewer elements, never a
// hang or a read outside the file.
TEST(OleStorage, DamagedStructuresGiveShortReads) {
  Sample sample(9);
  CompoundWriter& w = sample.writer;
  const std::vector<uint8_t> good = w.Build();
  const uint32_t book = w.StartSector(sample.book);
  const uint32_t summary = w.StartSector(sample.summary);
  const size_t bookSize = w.EntryOffset(sample.book) + 0x78;
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    std::u16string stream;
    uint64_t size;  // what the stream then delivers
  } cases[] = {
      {"chain loops back to its start", [&](auto& b) { Put32(b, w.FatEntryOffset(book + 2), book); }, u"Workbook",
       3 * 512},
      {"chain leaves the file", [&](auto& b) { Put32(b, w.FatEntryOffset(book + 1), 0x00FFFFFF); }, u"Workbook",
       2 * 512},
      {"chain ends early", [&](auto& b) { Put32(b, w.FatEntryOffset(book), 0xFFFFFFFE); }, u"Workbook", 512},
      {"size far beyond the file", [&](auto& b) { Put32(b, bookSize, 0xFFFFFFF0); }, u"Workbook", 18 * 512},
      {"high half of a version 3 size", [&](auto& b) { Put32(b, bookSize + 4, 7); }, u"Workbook", 9000},
      {"file cut inside the stream", [&](auto& b) { b.resize(w.SectorOffset(book + 4) + 100); }, u"Workbook",
       4 * 512 + 100},
      {"mini chain loops", [&](auto& b) { Put32(b, w.MiniFatEntryOffset(summary + 1), summary); },
       u"\005SummaryInformation", 128},
      {"mini chain leaves the mini stream", [&](auto& b) { Put32(b, w.MiniFatEntryOffset(summary), 5000); },
       u"\005SummaryInformation", 64},
      {"root claims a larger mini stream", [&](auto& b) { Put32(b, w.EntryOffset(0) + 0x78, 0x7FFFFFC0); },
       u"\005SummaryInformation", 200},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    auto root = StgOpenStorageOnMemory(bytes);
    auto stream = root->OpenStream(c.stream);
    ASSERT_TRUE(stream) << c.what;
    EXPECT_EQ(ReadAll(*stream).size(), c.size) << c.what;
    for (const STATSTG& e : Elements(*root)) EXPECT_LE(e.cbSize, bytes.size()) << c.what;
  }
}

TEST(OleStorage, DirectoryCyclesAndBadIdsLeaveAFiniteTree) {
  Sample sample(9);
  CompoundWriter& w = sample.writer;
  const std::vector<uint8_t> good = w.Build();
  auto link = [&](int id, size_t field) { return w.EntryOffset(id) + field; };
  const uint32_t rootChild = [&] {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(good[link(0, 0x4C) + size_t(i)]) << (8 * i);
    return v;
  }();
  const struct {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    size_t topElements;
  } cases[] = {
      {"sibling points back to the first child", [&](auto& b) { Put32(b, link(int(rootChild), 0x44), rootChild); }, 2},
      {"storage holds the root", [&](auto& b) { Put32(b, link(sample.vba, 0x4C), 0); }, 4},
      {"storage holds itself", [&](auto& b) { Put32(b, link(sample.vba, 0x4C), uint32_t(sample.vba)); }, 4},
      {"child id beyond the directory", [&](auto& b) { Put32(b, link(0, 0x4C), 4000); }, 0},
      {"sibling of an unused entry type", [&](auto& b) { b[link(sample.summary, 0x42)] = 0; }, 3},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    auto root = StgOpenStorageOnMemory(bytes);
    EXPECT_EQ(Elements(*root).size(), c.topElements) << c.what;
    // Walk everything: each entry appears once in the whole tree.
    size_t total = 0;
    std::vector<std::shared_ptr<IStorage>> pending{root};
    while (!pending.empty()) {
      auto s = pending.back();
      pending.pop_back();
      for (const STATSTG& e : Elements(*s)) {
        ++total;
        if (e.type == STGTY_STORAGE) pending.push_back(s->OpenStorage(e.pwcsName));
      }
    }
    EXPECT_LE(total, 7u) << c.what;
  }

  // Siblings whose names differ in case only: one is listed, and it is the
  // one a lookup opens.
  CompoundWriter twins(9);
  twins.AddStream(0, u"Book", Pattern(100, 1));
  twins.AddStream(0, u"BOOK", Pattern(100, 2));
  auto root = StgOpenStorageOnMemory(twins.Build());
  const auto listed = Elements(*root);
  ASSERT_EQ(listed.size(), 1u);
  auto stream = root->OpenStream(u"book");
  ASSERT_TRUE(stream);
  EXPECT_EQ(ReadAll(*stream), Pattern(100, listed[0].pwcsName == u"Book" ? 1 : 2));
}

TEST(OleStorage, LargeDocumentsKeepTheirFatInDifatSectors) {
  // More than 109 FAT sectors: the rest are listed in a DIFAT chain.
  CompoundWriter w(9);
  const std::vector<uint8_t> big = Pattern(7'500'000, 9);
  w.AddStream(0, u"Workbook", big);
  std::vector<uint8_t> bytes = w.Build();
  ASSERT_GT(w.FatSectorCount(), 109u);
  auto stream = StgOpenStorageOnMemory(bytes)->OpenStream(u"Workbook");
  ASSERT_TRUE(stream);
  EXPECT_TRUE(ReadAll(*stream) == big);

  // A DIFAT chain that points at itself and lists a FAT sector beyond the
  // file ends there; the stream is cut short.
  const uint32_t difat = uint32_t(bytes[0x44] | bytes[0x45] << 8 | bytes[0x46] << 16 | bytes[0x47] << 24);
  Put32(bytes, w.SectorOffset(difat) + 508, difat);
  Put32(bytes, w.SectorOffset(difat) + 8, 0x00FFFFFF);
  auto cut = StgOpenStorageOnMemory(bytes)->OpenStream(u"Workbook");
  ASSERT_TRUE(cut);
  EXPECT_LT(ReadAll(*cut).size(), big.size());
}

// The compound documents of the shared corpus open and list their streams,
// and each stream delivers exactly its length.
TEST(OleStorageCorpus, RealDocumentsListAndReadTheirStreams) {
  REQUIRE_CORPUS();
  const struct {
    const char* file;
    const char16_t* stream;
  } expected[] = {
      {"xls/1904.xls", u"Workbook"},
      {"xls/64130.xls", u"Book"},
      {"xls/Test_git_issue_532_mulcells.xls", u"Book"},
      {"xls/Test95J.xls", u"\005SummaryInformation"},
      {"xls/password_2002_40_xor.xls", u"Book"},
      {"xlsx/protect.xlsx", u"EncryptionInfo"},
      {"xlsb/protected_passtika.xlsb", u"EncryptionInfo"},
      {"qpw/q9test.qpw", u"NativeContent_MAIN"},
      {"wb3/gantt.wb3", u"PerfectOffice_MAIN"},
  };
  for (const auto& e : expected) {
    auto root = StgOpenStorage(test::CorpusPath(e.file));
    EXPECT_TRUE(root->OpenStream(e.stream)) << e.file;
  }

  int documents = 0;
  for (const auto& dir : std::filesystem::recursive_directory_iterator(test::CorpusDir())) {
    if (!dir.is_regular_file() || !StgIsStorageFile(dir.path().string())) continue;
    ++documents;
    const auto fileSize = dir.file_size();
    std::vector<std::shared_ptr<IStorage>> pending{StgOpenStorage(dir.path().string())};
    size_t streams = 0;
    while (!pending.empty()) {
      auto s = pending.back();
      pending.pop_back();
      for (const STATSTG& el : Elements(*s)) {
        if (el.type == STGTY_STORAGE) {
          pending.push_back(s->OpenStorage(el.pwcsName));
          ASSERT_TRUE(pending.back()) << dir.path();
          continue;
        }
        ++streams;
        auto stream = s->OpenStream(el.pwcsName);
        ASSERT_TRUE(stream) << dir.path();
        EXPECT_EQ(stream->Stat().cbSize, el.cbSize) << dir.path() << " " << WideToUtf8(el.pwcsName);
        EXPECT_EQ(ReadAll(*stream).size(), el.cbSize) << dir.path() << " " << WideToUtf8(el.pwcsName);
        EXPECT_LE(el.cbSize, fileSize);
      }
    }
    EXPECT_GT(streams, 0u) << dir.path();
  }
  EXPECT_GE(documents, 30);
}
