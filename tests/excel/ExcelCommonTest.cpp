#include <gtest/gtest.h>

#include "excel/VoXLS.h"

namespace gridlark {
namespace {

TEST(ExcelCommon, DateAndPercentFormatsByReference) {
  TMSExcel x;
  x.Load();  // built-in formats
  x.AddFormat(false, {}, 14, 0, -1, 0);   // XF 0: m/d/yy
  x.AddFormat(false, {}, 0, 0, -1, 0);    // XF 1: General
  x.AddFormat(true, "\"mm\" 0", 164, 0, -1, 0);
  x.AddFormat(true, "0.0\"%\"", 165, 0, -1, 0);
  x.AddFormat(true, "[h]:mm:ss", 166, 0, -1, 0);
  x.AddFormat(false, {}, 164, 0, -1, 0);  // XF 2
  x.AddFormat(false, {}, 9, 0, -1, 0);    // XF 3: 0%
  x.AddFormat(false, {}, 165, 0, -1, 0);  // XF 4
  x.AddFormat(false, {}, 166, 0, -1, 0);  // XF 5
  x.Formats[0] = "dd";                    // General stays no date even when redefined
  struct Case {
    int32_t ref;
    bool date, percent;
  } cases[] = {
      {0, true, false},   {1, false, false},  {2, true, false},   {3, false, true},  {4, false, false},
      {5, true, false},   {-1, false, false}, {14, true, false},  {10, false, true}, {49, false, false},
      {30, false, false}, {9999, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(x.IsDateFormat(c.ref), c.date) << c.ref;
    EXPECT_EQ(x.IsPercentFormat(c.ref), c.percent) << c.ref;
  }
}

TEST(ExcelCommon, SameFormatTextMakesOneEntry) {
  TMSExcel x;
  x.Load();
  const size_t formats = x.Formats.size();
  x.AddFormat(false, "0.000", 0, 1, -1, 0);
  x.AddFormat(false, "0.000", 0, 2, 3, 0);
  ASSERT_EQ(x.XFList.size(), 1u);
  EXPECT_EQ(x.Formats.size(), formats + 1);
  EXPECT_EQ(x.XFList[0].FontIndex, 2);
  EXPECT_EQ(x.XFList[0].HorzAlign, 3);
  x.AddFormat(false, "0.00", 0, 0, -1, 0);  // an existing text, any case: no new number
  EXPECT_EQ(x.XFList[1].FormatIndex, 2);
}

TEST(ExcelCommon, ErrorTextsAndRKNumbers) {
  EXPECT_EQ(TCustomMSExcel::ErrorText(42), "#N/A");
  EXPECT_EQ(TCustomMSExcel::ErrorText(7), "#DIV/0!");
  EXPECT_EQ(TCustomMSExcel::ErrorText(99), "Unknown error code 99");
  struct {
    uint32_t rk;
    double value;
  } rks[] = {{0x3FF00000, 1.0}, {0x3FF00001, 0.01}, {0x00000006, 1}, {0xFFFFFFFE, -1}, {0x0000000F, 0.03},
             {0x80000002, -536870912.0}};
  for (const auto& c : rks) EXPECT_DOUBLE_EQ(TCustomMSExcel::DecodeRK(c.rk), c.value) << std::hex << c.rk;
}

TEST(ExcelCommon, PasswordIsAskedUntilTheHandlerGivesUp) {
  TMSExcel x;
  int asked = 0;
  x.Password = "first";
  x.OnPassword = [&](TCustomSpreadSheetFile*, std::string& password, bool& cont) {
    EXPECT_EQ(password, "first");
    cont = ++asked < 3;
  };
  EXPECT_FALSE(x.RequestPassword());
  EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace gridlark
