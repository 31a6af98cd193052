// The package files of the shared corpus: every part lists, extracts with
// its CRC checked and parses into a tree, streamed or whole alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "container/VoxXML.h"
#include "container/VoxZipFile.h"

using namespace gridlark;
using gridlark::test::CorpusPath;

namespace {

std::vector<std::string> PackageFiles() {
  std::vector<std::string> files;
  for (const char* dir : {"xlsx", "xlsm", "xlsb", "ods"})
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath(dir))) files.push_back(entry.path());
  files.push_back(CorpusPath("xls/type_excelx.xls"));  // an .xlsx under another name
  std::sort(files.begin(), files.end());
  return files;
}

bool IsXmlPart(const std::string& name) {
  return name.ends_with(".xml") || name.ends_with(".rels") || name.ends_with(".vml");
}

// Counts the items of a tree.
int CountItems(const TVoXMLItem& item) {
  int n = 1;
  for (const auto& child : item.Items) n += CountItems(*child);
  return n;
}

std::string Loaded(std::string_view text) {
  TVoXMLEngine e;
  e.AttributesAutoProcess = true;
  TSpanStream s(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  e.LoadXML(0, &s);
  return e.RootItem()->Name + ":" + std::to_string(CountItems(*e.RootItem()));
}

}  // namespace

TEST(ContainerCorpus, EveryPartExtractsAndParses) {
  REQUIRE_CORPUS();
  int packages = 0, parts = 0;
  for (const std::string& path : PackageFiles()) {
    SCOPED_TRACE(path);
    TFileStream file(path);
    char magic[2] = {};
    file.Read(magic, 2);
    TZipArchive zip;
    zip.ReadFromStream(file);
    if (std::string(magic, 2) != "PK") {  // encrypted packages and misnamed workbooks
      EXPECT_EQ(zip.Count(), 0);
      continue;
    }
    ++packages;
    ASSERT_GT(zip.Count(), 0);
    for (int i = 0; i < zip.Count(); ++i) {
      const TLocalFile& f = zip.Files()[i];
      SCOPED_TRACE(f.FileName);
      ASSERT_TRUE(f.LocalHeaderLoaded);
      EXPECT_EQ(f.FileName.find('\\'), std::string::npos);
      std::string data;
      ASSERT_NO_THROW(zip.ExtractFile(i, data));
      EXPECT_EQ(data.size(), f.UncompressedSize());
      if (!IsXmlPart(f.FileName)) continue;
      ++parts;
      const std::string whole = Loaded(data);
      const size_t start = data.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
      if (start != std::string::npos && data[start] == '<') {  // not an encrypted part
        EXPECT_NE(whole, ":1");
      }
      // The same part streamed from its decompression stream.
      std::unique_ptr<TFixMemoryStream> source;
      std::unique_ptr<TStream> inflater;
      int64_t size = 0;
      zip.OpenEntryStream(i, source, inflater, size);
      TVoXMLEngine e;
      e.AttributesAutoProcess = true;
      e.ReadChunk = 4096;
      e.LoadXML(size, inflater.get());
      EXPECT_EQ(e.RootItem()->Name + ":" + std::to_string(CountItems(*e.RootItem())), whole);
    }
  }
  EXPECT_GE(packages, 30);
  EXPECT_GE(parts, 300);
}

TEST(ContainerCorpus, PartsFoundAndTextDecoded) {
  REQUIRE_CORPUS();
  auto part = [](const std::string& file, std::string_view name) {
    TFileStream f(CorpusPath(file));
    TZipArchive zip;
    zip.ReadFromStream(f);
    std::string data;
    zip.ExtractFileByName(name, data);
    return data;
  };
  // Part names written with backslashes are found with slashes.
  EXPECT_NE(part("xlsx/Test_git_issue_385_backslash.xlsx", "xl/worksheets/sheet1.xml"), "");

  // A character beyond the 16-bit range survives as its surrogate pair.
  TVoXMLEngine e;
  e.ParseXML(part("ods/sushi.ods", "content.xml"));
  TVoXMLItem* p = e.FindItem(nullptr, "text:p");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->ValueText(), u"\U0001F363");

  TVoXMLEngine s;
  s.ParseXML(part("xlsx/unicode_shift_jis.xlsx", "xl/sharedStrings.xml"));
  TVoXMLItem* sst = s.FindItem(nullptr, "sst");
  ASSERT_TRUE(sst);
  ASSERT_GE(sst->Items.Count(), 2);
  EXPECT_EQ(sst->Items[1]->FindItem("t")->ValueText(), u"\u578B\u756A");
}
