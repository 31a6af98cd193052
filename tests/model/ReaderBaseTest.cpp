#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/VoCells.h"

using namespace gridlark;

namespace {

// A reader that reports a fixed script of events, for the load protocol.
class ScriptReader : public TSpreadSheetFile {
 public:
  std::function<void(ScriptReader&)> script;
  void ReadStream(TStream& stream) override {
    TSpreadSheetFile::ReadStream(stream);
    if (script) script(*this);
  }
  void Cell(int sheet, int row, int col, const Variant& v) {
    OnCellValue(this, sheet, row, col, 0, v, taLeftJustify, ictString);
  }
  bool Sheet(const char16_t* caption, int index) {
    bool skip = false;
    OnSheet(this, caption, index, skip);
    return skip;
  }
  using TSpreadSheetFile::GuardRecord;
};

void LoadScript(ScriptReader& r) {
  TMemoryStream empty;
  r.LoadFromStream(empty);
}

}  // namespace

TEST(ReaderBase, LoadFromFileChecksTheName) {
  ScriptReader r;
  r.Sheets.GetSheet(0);
  try {
    r.LoadFromFile(" \t");
    ADD_FAILURE();
  } catch (const EVoxFileException& e) {
    EXPECT_STREQ(e.what(), "File is not defined.");
  }
  EXPECT_EQ(r.Sheets.Count(), 1);  // store left as it was
  try {
    r.LoadFromFile("/no/such.xls");
    ADD_FAILURE();
  } catch (const EVoxFileException& e) {
    EXPECT_STREQ(e.what(), "File /no/such.xls does not exist.");
  }
  r.CheckFileName = false;
  r.LoadFromFile("/no/such.xls");
  EXPECT_EQ(r.FileName, "/no/such.xls");
  EXPECT_EQ(r.Sheets.Count(), 0);
}

TEST(ReaderBase, DefaultHandlersFillTheStore) {
  ScriptReader r;
  r.script = [](ScriptReader& s) {
    s.Sheet(u"First", 0);
    s.Sheet(u"Second", 1);
    s.Cell(1, 0, 0, Variant(u"a"));
    s.Cell(-1, 1, 1, Variant(u"b"));  // negative sheet numbers go to the first sheet
    s.Cell(0, -5, 0, Variant(u"lost"));  // a bad row loses the cell only
    s.OnSheetName(&s, u"Renamed", 0);
    s.OnSheetName(&s, u"Nowhere", 5);
    s.OnDimensions(&s, 1, 0, 9, 0, 7);
    s.OnColumnWidth(&s, 1, 4, 120);
    s.OnRowHeight(&s, 1, 10, 300);
    s.OnColumnWidth(&s, 1, kMaxStoreCols, 1);  // beyond the store: dropped
  };
  LoadScript(r);
  ASSERT_EQ(r.Sheets.Count(), 2);
  EXPECT_EQ(r.Sheets.Items(0).Caption, u"Renamed");
  EXPECT_EQ(r.Sheets.Items(1).Caption, u"Second");
  TSpreadSheet& second = r.Sheets.Items(1);
  EXPECT_EQ(second.Cells.GetCellValue(0, 0).WideText(), u"a");
  EXPECT_EQ(r.Sheets.Items(0).Cells.GetCellValue(1, 1).WideText(), u"b");
  EXPECT_EQ(second.Cells.DeclaredLastRow, 9);
  EXPECT_EQ(second.Cells.DeclaredLastCol, 7);
  EXPECT_EQ(second.Cells.RowCount, 1);  // auto dimensions ignore the report
  EXPECT_EQ(second.ColumnWidths, (std::vector<int32_t>{0, 0, 0, 0, 120}));
  EXPECT_EQ(second.Cells.Count(), 11);
  EXPECT_EQ(second.Cells.Items(10).Height, 300);
  Variant v;
  r.OnGetCellValue(&r, 1, 0, 0, v);
  EXPECT_EQ(v.WideText(), u"a");
  r.OnGetCellValue(&r, 1, 5, 5, v);
  EXPECT_TRUE(v.IsNull());
}

TEST(ReaderBase, UserHandlersReplaceOnlyTheirDefault) {
  ScriptReader r;
  int seen = 0;
  r.OnCellValue = [&](TCustomSpreadSheetFile*, int32_t, int32_t, int32_t, int32_t, const Variant&, TAlignment,
                      TVoxCellType) { ++seen; };
  r.script = [](ScriptReader& s) {
    s.Sheet(u"S", 0);
    s.Cell(0, 0, 0, Variant(u"a"));
    s.Cell(0, 0, 1, Variant::Null());
  };
  LoadScript(r);
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(r.Sheets.Count(), 1);
  EXPECT_EQ(r.Sheets.Items(0).Cells.RowCount, 0);
  EXPECT_TRUE(r.OnRowHeight);  // the other defaults are installed
}

TEST(ReaderBase, SelectedSheetSkipsTheOthersButKeepsThemInTheStore) {
  ScriptReader r;
  r.SelectedSheet = 1;
  std::vector<bool> skips;
  r.script = [&](ScriptReader& s) {
    for (int i = 0; i < 3; ++i) skips.push_back(s.Sheet(u"S", i));
  };
  LoadScript(r);
  EXPECT_EQ(skips, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(r.Sheets.Count(), 3);
}

TEST(ReaderBase, LoadWindowDropsCellsBeyondIt) {
  ScriptReader r;
  r.Range.LastCol = 3;
  r.Range.LastRow = 10;
  r.script = [](ScriptReader& s) {
    for (int c = 0; c <= 4; ++c) s.Cell(0, 0, c, Variant(int32_t(c)));
    s.Cell(0, 11, 0, Variant(int32_t(1)));
    s.OnDimensions(&s, 0, 0, 50, 0, 200);
  };
  LoadScript(r);
  const TSpreadSheetCells& cells = r.Sheets.Items(0).Cells;
  EXPECT_EQ(cells.ColCount, 4);
  EXPECT_EQ(cells.RowCount, 1);
  EXPECT_EQ(cells.DeclaredLastCol, 3);
}

TEST(ReaderBase, RecordGuardOffersErrorsToTheHandler) {
  ScriptReader r;
  EXPECT_THROW(r.GuardRecord([] { throw Exception("bad record"); }), Exception);
  std::string seen;
  r.OnErrorProcess = [&](TCustomSpreadSheetFile*, const std::exception& e, bool& abort) {
    EXPECT_TRUE(abort);
    seen = e.what();
    abort = false;
  };
  EXPECT_NO_THROW(r.GuardRecord([] { throw Exception("bad record"); }));
  EXPECT_EQ(seen, "bad record");
}

TEST(ReaderBase, MarkedStreamSkipsTheMark) {
  struct Case {
    std::string bytes;
    int64_t startsAt;
  } cases[] = {{"BDOC" + std::string(8, 'x') + "data", 12}, {"PK\x03\x04" + std::string(12, 'y'), 0}};
  for (const auto& c : cases) {
    ScriptReader r;
    int64_t pos = -1;
    TMemoryStream m;
    m.WriteBuffer(c.bytes.data(), int64_t(c.bytes.size()));
    m.SetPosition(0);
    r.script = [&](ScriptReader&) { pos = m.Position(); };
    r.LoadFromMarkedStream(m);
    EXPECT_EQ(pos, c.startsAt);
  }
  ScriptReader r;
  TMemoryStream shortStream;
  shortStream.WriteBuffer("BDOC", 4);
  shortStream.SetPosition(0);
  EXPECT_THROW(r.LoadFromMarkedStream(shortStream), EReadError);
}

TEST(ReaderBase, ColumnNaming) {
  struct Name {
    int number;
    const char* name;
  } names[] = {{0, ""}, {-3, ""}, {1, "A"}, {26, "Z"}, {27, "AA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
  for (const auto& n : names) EXPECT_EQ(ColumnName(n.number), n.name) << n.number;
  struct Index {
    const char* name;
    int count;
    int index;
  } indexes[] = {{"aa", 100, 26}, {"A1", 100, -1}, {"ZZ", 100, -1}, {"ZZ", 702, 701},
                 {"", 10, -1},    {"a", 0, -1},    {"ZZZZZZZZZZZZZZ", INT32_MAX, -1}};
  for (const auto& i : indexes) EXPECT_EQ(ColumnIndex(i.name, i.count), i.index) << i.name;

  TStringList list;
  FillColumnNames(3, "", list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(2), "C");
  EXPECT_EQ(list.Objects(2), 3);
  FillColumnNames(5, "b;;zz;", list);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(1), "");
  EXPECT_EQ(list.Objects(0), 1);
  EXPECT_EQ(list.Objects(1), -1);
  EXPECT_EQ(list.Objects(2), -1);
}

TEST(ReaderBase, IsNanBits) {
  struct Case {
    double v;
    bool nan;
  } cases[] = {{1.0, false},
               {0.0, false},
               {std::numeric_limits<double>::infinity(), true},
               {-std::numeric_limits<double>::infinity(), true},
               {std::numeric_limits<double>::quiet_NaN(), true},
               {1e308, true},
               {1e306, false},
               {std::ldexp(1.0, 1017), false},  // high word exactly 0x7F800000
               {std::ldexp(1.5, 1017), true}};
  for (const auto& c : cases) EXPECT_EQ(IsNanBits(c.v), c.nan) << c.v;
}
