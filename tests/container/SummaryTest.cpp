#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "TestSupport.h"
#include "container/OleStorage.h"
#include "container/Vox_Sum.h"
#include "platform/Exceptions.h"

using namespace gridlark;
using test::Bytes;

namespace {

// Runs a test body in a fixed time zone, restoring the process's afterwards.
class TimeZone {
 public:
  explicit TimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_) setenv("TZ", saved_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

// FILETIME of a UTC calendar time.
uint64_t FileTime(int y, int mo, int d, int h, int mi, int s) {
  const double days = EncodeDate(y, mo, d) - EncodeDate(1601, 1, 1);
  return (uint64_t(days) * 86400 + uint64_t(h) * 3600 + uint64_t(mi) * 60 + uint64_t(s)) * 10000000;
}

TDateTime At(int y, int mo, int d, int h, int mi, int s) { return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0); }

struct Prop {
  uint32_t id;
  uint32_t type;
  std::vector<uint8_t> value;  // bytes after the type
  uint32_t offset = 0;         // 0: where the builder puts it
};

std::vector<uint8_t> Text(std::string_view s) {
  Bytes b;
  b.u32(uint32_t(s.size())).str(s);
  return b.data;
}
std::vector<uint8_t> Int(int32_t v) { return Bytes().u32(uint32_t(v)).data; }
std::vector<uint8_t> Time(uint64_t ft) { return Bytes().u64(ft).data; }

// A property-set stream with one section at 0x30.
std::vector<uint8_t> PropertySet(const std::vector<Prop>& props, uint32_t count = ~0u) {
  Bytes values;
  std::vector<uint32_t> offsets;
  const uint32_t first = 8 + 8 * uint32_t(props.size());
  for (const Prop& p : props) {
    offsets.push_back(p.offset ? p.offset : first + uint32_t(values.size()));
    values.u32(p.type).raw(p.value);
    while (values.size() % 4) values.u8(0);
  }
  Bytes b;
  b.u16(0xFFFE).u16(0).u32(0x00020006).zeros(16).u32(1).zeros(16).u32(0x30);
  b.u32(first + uint32_t(values.size())).u32(count == ~0u ? uint32_t(props.size()) : count);
  for (size_t i = 0; i < props.size(); ++i) b.u32(props[i].id).u32(offsets[i]);
  b.raw(values.data);
  return b.data;
}

void Read(TVoxSummaryInformation& info, const std::vector<uint8_t>& set, bool doc, int64_t length = -1) {
  TSpanStream stream(set);
  info.ReadPropertySet(stream, length < 0 ? int64_t(set.size()) : length, doc);
}

std::string Describe(const TVoxSummaryInformation& i) {
  std::ostringstream o;
  o << i.AppName << '|' << i.Author << '|' << i.CharCount << '|' << i.Comments << '|' << i.Created << '|'
    << i.EditTime << '|' << i.Keywords << '|' << i.LastAuthor << '|' << i.LastPrinted << '|' << i.LastSaved << '|'
    << i.PageCount << '|' << i.RevNumber << '|' << i.Subject << '|' << i.Template << '|' << i.Title << '|'
    << i.WordCount << '|' << i.Category << '|' << i.PresentationTarget << '|' << i.ByteCount << '|' << i.LineCount
    << '|' << i.ParagraphCount << '|' << i.SlideCount << '|' << i.NoteCount << '|' << i.HiddenSlideCount << '|'
    << i.MMClipCount << '|' << i.Manager << '|' << i.Company << '|' << i.CharCount2;
  return o.str();
}

}  // namespace

TEST(SummaryInformation, ReadsTextsNumbersAndDatesOfBothStreams) {
  TimeZone utc("UTC");
  TVoxSummaryInformation info;
  Read(info,
       PropertySet({{2, 30, Text(std::string("Sales\0", 6))},
                    {4, 30, Text(std::string("Ann\0", 4))},
                    {14, 3, Int(12)},
                    {12, 64, Time(FileTime(2008, 7, 15, 10, 20, 31))},
                    {10, 64, Time(600'000'000)},  // ten minutes of editing
                    {3, 31, Text("wide text is not read")},
                    {99, 3, Int(5)},
                    {1, 2, Int(1252)}}),
       false);
  EXPECT_EQ(info.Title, std::string("Sales\0", 6));  // the NUL stays with the text
  EXPECT_EQ(info.Author, std::string("Ann\0", 4));
  EXPECT_EQ(info.PageCount, 12);
  EXPECT_EQ(info.Created, At(2008, 7, 15, 10, 20, 30));
  EXPECT_EQ(info.EditTime, 0);
  EXPECT_EQ(info.Subject, "");

  // The same ids mean other properties in the document summary.
  Read(info, PropertySet({{2, 30, Text("Finance")}, {5, 3, Int(40)}, {15, 30, Text("Acme")}, {17, 3, Int(900)}}),
       true);
  EXPECT_EQ(info.Category, "Finance");
  EXPECT_EQ(info.LineCount, 40);
  EXPECT_EQ(info.Company, "Acme");
  EXPECT_EQ(info.CharCount2, 900);
  EXPECT_EQ(info.Title, std::string("Sales\0", 6));

  // A text where a number belongs fails the conversion.
  EXPECT_THROW(Read(info, PropertySet({{14, 30, Text("twelve")}}), false), EVariantError);
}

TEST(SummaryInformation, DamagedPropertySetsEndTheReadingEarly) {
  TVoxSummaryInformation info;
  // An offset beyond the stream ends it; what came before stays.
  Read(info, PropertySet({{2, 30, Text("Kept")}, {4, 30, Text("Lost"), 4000}, {3, 30, Text("Lost too")}}), false);
  EXPECT_EQ(info.Title, "Kept");
  EXPECT_EQ(info.Author, "");
  EXPECT_EQ(info.Subject, "");

  // A length shorter than the stream stops as soon as a pair lies beyond it.
  info.Clear();
  Read(info, PropertySet({{2, 30, Text("A")}, {4, 30, Text("B")}}), false, 0x50);
  EXPECT_EQ(info.Title, "A");
  EXPECT_EQ(info.Author, "");

  // A count far beyond the pairs, a length beyond the stream and a text
  // count beyond the stream: the stream's end ends everything.
  info.Clear();
  std::vector<uint8_t> set = PropertySet({{2, 30, Text("Cut")}}, 0x7FFFFFFF);
  set[set.size() - 8] = 0xF0;  // the text's count: 0x7FFFFFF0... bytes
  set[set.size() - 5] = 0x7F;
  Read(info, set, false, 1 << 30);
  EXPECT_LE(info.Title.size(), 8u);

  // Streams too short for a header read nothing.
  for (size_t n : {0, 10, 0x2E, 0x34}) {
    info.Clear();
    Read(info, std::vector<uint8_t>(set.begin(), set.begin() + long(n)), false);
    EXPECT_EQ(Describe(info), Describe(TVoxSummaryInformation())) << n;
  }
}

TEST(SummaryInformation, FileTimesBecomeLocalDosTimes) {
  TimeZone utc("UTC");
  const struct {
    uint64_t ft;
    TDateTime want;
  } cases[] = {
      {FileTime(2008, 7, 15, 10, 20, 31), At(2008, 7, 15, 10, 20, 30)},  // two-second steps
      {FileTime(1980, 1, 1, 0, 0, 0), At(1980, 1, 1, 0, 0, 0)},
      {FileTime(2107, 12, 31, 23, 59, 59), At(2107, 12, 31, 23, 59, 58)},
      {FileTime(1979, 12, 31, 23, 59, 59), 0},  // before DOS dates
      {FileTime(2108, 1, 1, 0, 0, 0), 0},
      {0, 0},
      {~0ull, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(TVoxSummaryInformation::FileTimeToDateTime(c.ft), c.want) << c.ft;

  TimeZone east("XST-3");  // three hours east of UTC
  EXPECT_EQ(TVoxSummaryInformation::FileTimeToDateTime(FileTime(2008, 7, 15, 22, 0, 0)), At(2008, 7, 16, 1, 0, 0));
}

TEST(SummaryInformation, XmlDateTimesAreTakenAsWritten) {
  using S = TVoxSummaryInformation;
  EXPECT_EQ(S::ParseXMLDateTime("2008-07-15T10:20:30Z"), At(2008, 7, 15, 10, 20, 30));
  EXPECT_EQ(S::ParseXMLDateTime("2008-07-15T10:20:30+05:00"), At(2008, 7, 15, 10, 20, 30));
  EXPECT_EQ(S::ParseXMLDateTime("2008-07-15"), EncodeDate(2008, 7, 15));
  EXPECT_EQ(S::ParseXMLDateTime("2008-13-01T06:00:00Z"), 0.25);  // no day, only the time
  EXPECT_EQ(S::ParseXMLDateTime(""), 0);
  EXPECT_THROW(S::ParseXMLDateTime("2008-02-30T00:00:00Z"), EConvertError);
  EXPECT_THROW(S::ParseXMLDateTime("2008-07-15T24:00:00Z"), EConvertError);
}

TEST(SummaryInformation, PackagePropertiesByElementName) {
  TVoxSummaryInformation info;
  info.SetPropertyByName("dc:title", "Budget");
  info.SetPropertyByName(u"dc:creator", u"Zo\u00EB");
  info.SetPropertyByName("Pages", "12");
  info.SetPropertyByName("Words", "12x");
  info.SetPropertyByName("dcterms:created", "2008-07-15T10:20:30Z");
  info.SetPropertyByName("CharactersWithSpaces", "77");
  info.SetPropertyByName("DC:TITLE", "ignored");  // names are case-sensitive
  info.SetPropertyByName("Title", "ignored");
  EXPECT_EQ(info.Title, "Budget");
  EXPECT_EQ(info.Author, "Zo\xEB");
  EXPECT_EQ(info.PageCount, 12);
  EXPECT_EQ(info.WordCount, 0);
  EXPECT_EQ(info.Created, At(2008, 7, 15, 10, 20, 30));
  EXPECT_EQ(info.CharCount2, 77);
}

TEST(SummaryInformation, AssignCopiesEveryValueAndClearEmptiesThem) {
  TVoxSummaryInformation a;
  int n = 0;
  for (std::string* s : {&a.AppName, &a.Author, &a.Comments, &a.Keywords, &a.LastAuthor, &a.RevNumber, &a.Subject,
                         &a.Template, &a.Title, &a.Category, &a.PresentationTarget, &a.Manager, &a.Company})
    *s = "t" + std::to_string(++n);
  for (int32_t* i : {&a.CharCount, &a.EditTime, &a.PageCount, &a.WordCount, &a.ByteCount, &a.LineCount,
                     &a.ParagraphCount, &a.SlideCount, &a.NoteCount, &a.HiddenSlideCount, &a.MMClipCount,
                     &a.CharCount2})
    *i = ++n;
  for (TDateTime* d : {&a.Created, &a.LastPrinted, &a.LastSaved}) *d = ++n + 0.5;

  TVoxSummaryInformation b;
  b.Assign(a);
  EXPECT_EQ(Describe(b), Describe(a));
  b.Clear();
  EXPECT_EQ(Describe(b), Describe(TVoxSummaryInformation()));
  EXPECT_NE(Describe(a), Describe(b));

  try {
    b.Assign(TPersistent());
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TPersistent to a TVoxSummaryInformation");
  }
}

// The summary streams of real workbooks and notebooks, read as the BIFF
// reader does: enumeration order, the element's length from the enumeration.
TEST(SummaryInformationCorpus, RealDocumentsGiveTitlesAndAuthors) {
  REQUIRE_CORPUS();
  TimeZone utc("UTC");
  auto load = [](const std::string& path) {
    TVoxSummaryInformation info;
    auto root = StgOpenStorage(path);
    IEnumSTATSTG e = root->EnumElements();
    STATSTG el;
    while (e.Next(el)) {
      const bool summary = el.pwcsName == u"\005SummaryInformation";
      const bool doc = el.pwcsName == u"\005DocumentSummaryInformation";
      if (!summary && !doc) continue;
      TOleStream stream(root->OpenStream(el.pwcsName));
      info.ReadPropertySet(stream, int64_t(el.cbSize), doc);
    }
    return info;
  };
  // Texts keep the NUL and any padding their count takes in.
  auto z = [](const std::string& s) { return std::string(s.c_str()); };

  TVoxSummaryInformation qpw = load(test::CorpusPath("qpw/testQUATTRO.qpw"));
  EXPECT_EQ(qpw.Title, std::string("Example Quattro Pro X3 Spreadsheet\0", 35));
  EXPECT_EQ(z(qpw.Author), "Christiaan Fluit");
  EXPECT_EQ(z(qpw.AppName), "Quattro Pro for Windows 7");

  TVoxSummaryInformation charts = load(test::CorpusPath("xls/testEXCEL-charts.xls"));
  EXPECT_EQ(z(charts.Author), "David E. Weekly");
  EXPECT_EQ(z(charts.Company), "Coceve, Inc.");
  EXPECT_EQ(z(charts.AppName), "Microsoft Excel");
  EXPECT_EQ(charts.Created, At(2009, 3, 26, 23, 9, 46));
  EXPECT_EQ(charts.LastSaved, At(2009, 3, 26, 23, 12, 32));

  TVoxSummaryInformation big = load(test::CorpusPath("xls/Test_git_issue_532_mulcells.xls"));
  EXPECT_EQ(z(big.Author), "Ross Metzger");
  EXPECT_EQ(z(big.Company), "Metzger Consulting Incorporated");

  // Japanese texts keep their bytes in the document's code page.
  TVoxSummaryInformation japanese = load(test::CorpusPath("xls/Test97J.xls"));
  EXPECT_EQ(z(japanese.Author), "Kawai, Takanori (Hippo2000)");
  EXPECT_EQ(japanese.Company.substr(0, 4), "\x93\xfa\x96{");

  // Every compound document of the corpus gives its properties without error.
  for (const auto& dir : std::filesystem::recursive_directory_iterator(test::CorpusDir())) {
    if (dir.is_regular_file() && StgIsStorageFile(dir.path().string())) {
      EXPECT_NO_THROW(load(dir.path().string())) << dir.path();
    }
  }
}
