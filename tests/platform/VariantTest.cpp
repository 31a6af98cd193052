#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Variant.h"

using namespace gridlark;

TEST(Variant, TextIsSharedBetweenCopiesAndReleasedWithTheLast) {
  Variant a(u"shared text that is longer than any small-string buffer");
  Variant b = a;
  Variant c;
  c = b;
  a = Variant(int32_t(1));
  EXPECT_EQ(b.WideText(), c.WideText());
  EXPECT_EQ(&b.WideText(), &c.WideText());
  b = Variant();
  EXPECT_EQ(c.WideText(), u"shared text that is longer than any small-string buffer");
  Variant moved(std::move(c));
  EXPECT_TRUE(c.IsEmpty());
  EXPECT_EQ(moved.Type(), VarType::WideString);
}

TEST(Variant, ConstructorsPickTheIntendedType) {
  EXPECT_EQ(Variant(true).Type(), VarType::Boolean);
  EXPECT_EQ(Variant(int32_t(3)).Type(), VarType::Integer);
  EXPECT_EQ(Variant(3.5).Type(), VarType::Double);
  EXPECT_EQ(Variant("abc").Type(), VarType::String);  // not bool
  EXPECT_EQ(Variant(u"abc").Type(), VarType::WideString);
  EXPECT_EQ(Variant::FromDate(1.5).Type(), VarType::Date);
  EXPECT_TRUE(Variant::Null().IsNull());
  EXPECT_TRUE(Variant().IsEmpty());
}

TEST(Variant, Conversions) {
  EXPECT_EQ(Variant(u"42").AsInteger(), 42);
  EXPECT_EQ(Variant(" 7").AsInteger(), 7);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_DOUBLE_EQ(Variant(u"1.25").AsDouble(), 1.25);
  EXPECT_DOUBLE_EQ(Variant(u"1E3").AsDouble(), 1000);
  EXPECT_DOUBLE_EQ(Variant().AsDouble(), 0);
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_EQ(Variant(int32_t(-12)).AsString(), "-12");
  EXPECT_EQ(Variant(0.1 + 0.2).AsString(), "0.3");
  EXPECT_EQ(Variant::FromDate(45000.5).AsString(), "3/15/2023 12:00:00 PM");
  EXPECT_EQ(Variant(u"\u20AC\u0416").AsString(), "\x80?");  // Zhe is not in the code page
  EXPECT_EQ(Variant("\x80").AsWideString(), u"\u20AC");
  EXPECT_TRUE(Variant(u"TRUE").AsBoolean());
}

TEST(Variant, FailedConversionsRaiseTheVariantError) {
  for (const Variant& v : {Variant(u"12x"), Variant(u""), Variant::Null(), Variant(u"1e999")}) {
    try {
      v.AsDouble();
      ADD_FAILURE() << "no error";
    } catch (const EVariantError& e) {
      EXPECT_STREQ(e.what(), "Invalid variant type conversion");
    }
  }
  EXPECT_THROW(Variant(1e12).AsInteger(), EVariantError);
}
