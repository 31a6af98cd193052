#include "container/Vox_Sum.h"

#include <algorithm>
#include <ctime>

#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"

namespace gridlark {

namespace {

using Info = TVoxSummaryInformation;

// One property of the record: exactly one of the three members is set.
struct Slot {
  std::string Info::*text = nullptr;
  int32_t Info::*number = nullptr;
  TDateTime Info::*date = nullptr;
};
constexpr Slot T(std::string Info::*m) { return Slot{m, nullptr, nullptr}; }
constexpr Slot N(int32_t Info::*m) { return Slot{nullptr, m, nullptr}; }
constexpr Slot D(TDateTime Info::*m) { return Slot{nullptr, nullptr, m}; }

struct IdSlot {
  int32_t id;
  Slot slot;
};

// "\005SummaryInformation"
constexpr IdSlot kSummaryIds[] = {
    {2, T(&Info::Title)},       {3, T(&Info::Subject)},     {4, T(&Info::Author)},      {5, T(&Info::Keywords)},
    {6, T(&Info::Comments)},    {7, T(&Info::Template)},    {8, T(&Info::LastAuthor)},  {9, T(&Info::RevNumber)},
    {10, N(&Info::EditTime)},   {11, D(&Info::LastPrinted)}, {12, D(&Info::Created)},   {13, D(&Info::LastSaved)},
    {14, N(&Info::PageCount)},  {15, N(&Info::WordCount)},  {16, N(&Info::CharCount)},  {18, T(&Info::AppName)},
};

// "\005DocumentSummaryInformation"
constexpr IdSlot kDocSummaryIds[] = {
    {2, T(&Info::Category)},       {3, T(&Info::PresentationTarget)}, {4, N(&Info::ByteCount)},
    {5, N(&Info::LineCount)},      {6, N(&Info::ParagraphCount)},     {7, N(&Info::SlideCount)},
    {8, N(&Info::NoteCount)},      {9, N(&Info::HiddenSlideCount)},   {10, N(&Info::MMClipCount)},
    {14, T(&Info::Manager)},       {15, T(&Info::Company)},           {17, N(&Info::CharCount2)},
};

struct NameSlot {
  std::string_view name;
  Slot slot;
};

// Elements of "docProps/app.xml" and "docProps/core.xml".
constexpr NameSlot kElementNames[] = {
    {"Template", T(&Info::Template)},
    {"TotalTime", N(&Info::EditTime)},
    {"Pages", N(&Info::PageCount)},
    {"Words", N(&Info::WordCount)},
    {"Characters", N(&Info::CharCount)},
    {"Application", T(&Info::AppName)},
    {"Lines", N(&Info::LineCount)},
    {"Paragraphs", N(&Info::ParagraphCount)},
    {"Company", T(&Info::Company)},
    {"CharactersWithSpaces", N(&Info::CharCount2)},
    {"Manager", T(&Info::Manager)},
    {"dc:title", T(&Info::Title)},
    {"dc:subject", T(&Info::Subject)},
    {"dc:creator", T(&Info::Author)},
    {"cp:keywords", T(&Info::Keywords)},
    {"dc:description", T(&Info::Comments)},
    {"cp:lastModifiedBy", T(&Info::LastAuthor)},
    {"cp:revision", T(&Info::RevNumber)},
    {"cp:category", T(&Info::Category)},
    {"dcterms:created", D(&Info::Created)},
    {"dcterms:modified", D(&Info::LastSaved)},
    {"cp:lastPrinted", D(&Info::LastPrinted)},
};

void StoreVariant(Info& info, const Slot& slot, const Variant& value) {
  if (slot.text) info.*slot.text = value.AsString();
  else if (slot.number) info.*slot.number = value.AsInteger();
  else info.*slot.date = value.AsDouble();
}

template <size_t Size>
void StoreById(Info& info, const IdSlot (&table)[Size], int32_t id, const Variant& value) {
  for (const IdSlot& row : table)
    if (row.id == id) return StoreVariant(info, row.slot, value);
}

int32_t IntOrZero(std::string_view text) {
  int32_t v = 0;
  return TryStrToInt(text, v) ? v : 0;
}

}  // namespace

void TVoxSummaryInformation::Assign(const TPersistent& Source) {
  if (const auto* other = dynamic_cast<const TVoxSummaryInformation*>(&Source)) {
    if (other != this) *this = *other;
    return;
  }
  TPersistent::Assign(Source);
}

void TVoxSummaryInformation::Clear() { *this = TVoxSummaryInformation(); }

void TVoxSummaryInformation::SetSummaryProperty(int32_t Id, const Variant& Value) {
  StoreById(*this, kSummaryIds, Id, Value);
}

void TVoxSummaryInformation::SetDocSummaryProperty(int32_t Id, const Variant& Value) {
  StoreById(*this, kDocSummaryIds, Id, Value);
}

void TVoxSummaryInformation::ReadPropertySet(TStream& Stream, int64_t Length, bool IsDocumentSummary) {
  // Missing bytes read as zeros.
  auto dword = [&Stream]() {
    uint8_t b[4] = {};
    Stream.Read(b, 4);
    return ByteView(b, 4).U32(0);
  };
  Stream.Seek(0x2C, SeekOrigin::Begin);
  const uint32_t section = dword();
  Stream.Seek(int64_t(section) + 4, SeekOrigin::Begin);
  const int32_t count = int32_t(dword());
  for (int32_t k = 0; k < count; ++k) {
    uint8_t pair[8] = {};
    // The end of the stream ends the list, whatever count it announced.
    if (Stream.Read(pair, 8) < 8) break;
    const int32_t id = ByteView(pair, 8).I32(0);
    const uint32_t offset = ByteView(pair, 8).U32(4);
    const int64_t back = Stream.Position();
    if (back >= Length || int64_t(section) + int64_t(offset) >= Length) break;
    Stream.Seek(int64_t(section) + int64_t(offset), SeekOrigin::Begin);
    Variant value;
    switch (dword()) {
      case 3:
        value = Variant(int32_t(dword()));
        break;
      case 30: {
        // The text takes the bytes the stream still holds, at most its count.
        const uint32_t n = dword();
        const int64_t left = Stream.Size() - Stream.Position();
        std::string bytes(size_t(std::min<int64_t>(n, left > 0 ? left : 0)), '\0');
        bytes.resize(size_t(Stream.Read(bytes.data(), int64_t(bytes.size()))));
        value = Variant(std::string_view(bytes));
        break;
      }
      case 64: {
        uint8_t ft[8] = {};
        Stream.Read(ft, 8);
        value = Variant::FromDate(FileTimeToDateTime(ByteView(ft, 8).U64(0)));
        break;
      }
      default:
        break;
    }
    if (!value.IsEmpty()) {
      if (IsDocumentSummary) SetDocSummaryProperty(id, value);
      else SetSummaryProperty(id, value);
    }
    Stream.Seek(back, SeekOrigin::Begin);
  }
}

void TVoxSummaryInformation::SetPropertyByName(std::string_view Name, std::string_view Text) {
  for (const NameSlot& row : kElementNames) {
    if (row.name != Name) continue;
    if (row.slot.text) this->*row.slot.text = std::string(Text);
    else if (row.slot.number) this->*row.slot.number = IntOrZero(Text);
    else this->*row.slot.date = ParseXMLDateTime(Text);
    return;
  }
}

void TVoxSummaryInformation::SetPropertyByName(WideStringView Name, WideStringView Text) {
  SetPropertyByName(WideToAnsi(Name), WideToAnsi(Text));
}

TDateTime TVoxSummaryInformation::FileTimeToDateTime(uint64_t FileTime) {
  // 100-nanosecond steps since 1601-01-01 UTC.
  if (FileTime > uint64_t(INT64_MAX)) return 0;
  const time_t seconds = time_t(int64_t(FileTime / 10000000) - 11644473600LL);
  struct tm local {};
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  const int year = local.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;  // beyond a DOS date
  TDateTime date, time;
  if (!TryEncodeDate(year, local.tm_mon + 1, local.tm_mday, date)) return 0;
  if (!TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec / 2 * 2, 0, time)) return 0;
  return date + time;
}

TDateTime TVoxSummaryInformation::ParseXMLDateTime(std::string_view Text) {
  // Fixed positions of "YYYY-MM-DDThh:mm:ss".
  auto piece = [Text](size_t at, size_t n) { return at < Text.size() ? IntOrZero(Text.substr(at, n)) : 0; };
  const int year = piece(0, 4), month = piece(5, 2), day = piece(8, 2);
  const int hour = piece(11, 2), minute = piece(14, 2), second = piece(17, 2);
  const TDateTime date = (month >= 1 && month <= 12 && day >= 1 && day <= 31) ? EncodeDate(year, month, day) : 0;
  return date + EncodeTime(hour, minute, second, 0);
}

}  // namespace gridlark
