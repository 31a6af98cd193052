#include "platform/CodePage.h"

#include <iconv.h>

#include <cerrno>

namespace gridlark {
namespace {

struct PageName {
  uint32_t number;
  const char* name;
  bool multiByte;
};

// Windows code page numbers (and the two that Excel writes for Mac Roman and
// ANSI) with the iconv names of glibc.
constexpr PageName kPages[] = {
    {367, "ASCII", false},          {437, "CP437", false},        {737, "CP737", false},
    {775, "CP775", false},          {850, "CP850", false},        {852, "CP852", false},
    {855, "CP855", false},          {857, "CP857", false},        {858, "CP858", false},
    {860, "CP860", false},          {861, "CP861", false},        {862, "CP862", false},
    {863, "CP863", false},          {864, "CP864", false},        {865, "CP865", false},
    {866, "CP866", false},          {869, "CP869", false},        {874, "WINDOWS-874", false},
    {932, "CP932", true},           {936, "CP936", true},         {949, "CP949", true},
    {950, "CP950", true},           {1250, "CP1250", false},      {1251, "CP1251", false},
    {1253, "CP1253", false},        {1254, "CP1254", false},      {1255, "CP1255", false},
    {1256, "CP1256", false},        {1257, "CP1257", false},      {1258, "CP1258", false},
    {1361, "JOHAB", true},          {10000, "MACINTOSH", false},  {10007, "MAC-CYRILLIC", false},
    {10017, "MACUKRAINIAN", false}, {10029, "MAC-CENTRALEUROPE", false}, {10079, "MAC-IS", false},
    {20127, "ASCII", false},        {20866, "KOI8-R", false},     {20932, "EUC-JP", true},
    {21866, "KOI8-U", false},       {28591, "ISO-8859-1", false}, {28592, "ISO-8859-2", false},
    {28593, "ISO-8859-3", false},   {28594, "ISO-8859-4", false}, {28595, "ISO-8859-5", false},
    {28596, "ISO-8859-6", false},   {28597, "ISO-8859-7", false}, {28598, "ISO-8859-8", false},
    {28599, "ISO-8859-9", false},   {28603, "ISO-8859-13", false}, {28605, "ISO-8859-15", false},
    {32768, "MACINTOSH", false},    {65001, "UTF-8", true},
};

constexpr char16_t kReplacement = 0xFFFD;

// Runs iconv over the input into UTF-16LE, appending to out. Returns false
// when the converter stopped at a byte it cannot take (pos then points at it).
bool Convert(iconv_t cd, const char*& in, size_t& inLeft, WideString& out) {
  char buf[512];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t r = iconv(cd, const_cast<char**>(&in), &inLeft, &o, &oLeft);
    const size_t produced = sizeof buf - oLeft;
    for (size_t i = 0; i + 1 < produced; i += 2)
      out += char16_t(uint8_t(buf[i]) | (uint8_t(buf[i + 1]) << 8));
    if (r != size_t(-1)) break;
    if (errno == E2BIG) continue;
    return false;
  }
  return true;
}

}  // namespace

TCodePage::~TCodePage() { Reset(); }

void TCodePage::Reset() {
  if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
  iconv_ = nullptr;
  table_.reset();
  number_ = 1252;
}

void TCodePage::Select(uint32_t number) {
  if (number == number_) return;
  Reset();
  const PageName* page = nullptr;
  for (const PageName& p : kPages)
    if (p.number == number) page = &p;
  if (!page) return;
  const iconv_t cd = iconv_open("UTF-16LE", page->name);
  if (cd == iconv_t(-1)) return;
  if (page->multiByte) {
    iconv_ = cd;
  } else {
    auto table = std::make_unique<std::array<char16_t, 256>>();
    for (int b = 0; b < 256; ++b) {
      const char byte = char(b);
      const char* in = &byte;
      size_t inLeft = 1;
      WideString one;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      // A byte the page leaves undefined keeps its own number.
      (*table)[b] = (Convert(cd, in, inLeft, one) && one.size() == 1) ? one[0] : char16_t(b);
    }
    iconv_close(cd);
    table_ = std::move(table);
  }
  number_ = number;
}

void TCodePage::Append(WideString& out, std::string_view bytes) const {
  if (table_) {
    out.reserve(out.size() + bytes.size());
    for (const char c : bytes) out += (*table_)[uint8_t(c)];
    return;
  }
  if (!iconv_) {
    AppendAnsiAsWide(out, bytes);
    return;
  }
  const iconv_t cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const char* in = bytes.data();
  size_t inLeft = bytes.size();
  while (!Convert(cd, in, inLeft, out)) {
    // An invalid or cut-off sequence: mark it and go on after its first byte.
    out += kReplacement;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace gridlark
