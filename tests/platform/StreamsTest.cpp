#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "platform/Bytes.h"

using namespace gridlark;

TEST(Streams, ShortReadsAtTheEndAndSeeks) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  EXPECT_EQ(m.Size(), 6);
  m.SetPosition(4);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(m.Read(buf, 8), 0);
  EXPECT_EQ(m.Seek(100, SeekOrigin::Begin), 100);
  EXPECT_EQ(m.Read(buf, 1), 0);
  EXPECT_THROW(m.Seek(-1, SeekOrigin::Begin), EStreamError);
  m.SetPosition(3);
  EXPECT_THROW(m.ReadBuffer(buf, 4), EReadError);

  const uint8_t bytes[] = {1, 2, 3};
  TSpanStream s(bytes);
  EXPECT_EQ(s.Seek(-1, SeekOrigin::End), 2);
  EXPECT_EQ(s.Read(buf, 5), 1);
}

TEST(Streams, FilesAndNames) {
  EXPECT_FALSE(FileExists("/"));          // a directory is no file
  EXPECT_FALSE(FileExists("/dev/zero"));  // neither is a device
  EXPECT_FALSE(FileExists(""));
  EXPECT_THROW(TFileStream("/no/such/file"), EFOpenError);
  struct Case {
    const char* name;
    const char* path;
    const char* ext;
  } cases[] = {
      {"c:\\data\\book.xls", "c:\\data\\", ".xls"},
      {"/srv/a.b/book", "/srv/a.b/", ""},
      {"c:book.wk1", "c:", ".wk1"},
      {"mixed/dir\\x.tar.gz", "mixed/dir\\", ".gz"},
      {"plain", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
  }
}

TEST(Bytes, ReadsOutsideTheDataGiveZeroAndMarkTheCursor) {
  const uint8_t data[] = {0x34, 0x12, 0x78, 0x56, 0xFF};
  ByteView v(data, sizeof data);
  EXPECT_EQ(v.U16(0), 0x1234);
  EXPECT_EQ(v.U32(0), 0x56781234u);
  EXPECT_EQ(v.U32(2), 0u);   // runs past the end
  EXPECT_EQ(v.U8(5), 0);
  EXPECT_EQ(v.I16(3), int16_t(0xFF56));
  EXPECT_EQ(v.Sub(3, 100).size(), 2u);
  EXPECT_EQ(v.Sub(9, 1).size(), 0u);
  ByteCursor c(v);
  EXPECT_EQ(c.U16(), 0x1234);
  EXPECT_TRUE(c.Ok());
  EXPECT_EQ(c.U32(), 0u);
  EXPECT_FALSE(c.Ok());
  EXPECT_EQ(c.Remaining(), 0u);
}
