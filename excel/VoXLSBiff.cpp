// The BIFF reader's container handling, its two record loops (compound
// document stream and plain file), version detection, sheet boundaries and
// skipping, CONTINUE, and the workbook-global records.
#include <algorithm>

#include "container/OleStorage.h"
#include "excel/VoXLS.h"
#include "platform/Streams.h"

namespace gridlark {
namespace {

constexpr uint16_t kEOF = 0x000A;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kBundleHeader = 0x008F;

bool IsBOFType(uint16_t type) { return (type & 0xFF) == 0x09; }

// The version a BOF record's type names (every BIFF5 to BIFF8 BOF says
// Excel 5); false, with Version unchanged, for a type of no known version.
bool BOFVersion(uint16_t type, TExcelVersion& version) {
  switch (type >> 8) {
    case 0x00: version = evExcel2; return true;
    case 0x02: version = evExcel3; return true;
    case 0x04: version = evExcel4; return true;
    case 0x08: version = evExcel5; return true;
    default: return false;
  }
}

}  // namespace

TMSExcel::TMSExcel() { Version = evUnknown; }

void TMSExcel::Load() {
  TCustomMSExcel::Load();
  Encrypted = false;
  DateBase = 0;
  MaxRecordSize = 0;
  AddBuiltInFormats();
  StreamPos = 0;
  data_ = ByteView();
  rec_ = ByteView();
  pos_ = 0;
  storage_ = false;
  biff8_ = false;
  codePage_.Select(1252);
  utf16Page_ = false;
  formatCount_ = 0;
  skipSheet_ = inSheet_ = savedSkip_ = stop_ = false;
  nested_ = 0;
  curEntry_ = -1;
  entryByOffset_.clear();
}

void TMSExcel::LoadFromFile(const std::string& Name) {
  TSpreadSheetFile::LoadFromFile(Name);
  std::vector<uint8_t> bytes = ReadFileBytes(FileName);
  if (IsStorageData(bytes))
    ReadCompoundDocument(std::move(bytes));
  else
    ReadPlainStream(ByteView(bytes));
}

void TMSExcel::ReadStream(TStream& Stream) {
  TSpreadSheetFile::ReadStream(Stream);
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  for (int64_t n; (n = Stream.Read(buf, sizeof buf)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
  ReadCompoundDocument(std::move(bytes));
}

int32_t TMSExcel::GetMaxRecordSize() const {
  if (MaxRecordSize != 0) return MaxRecordSize;
  return (Version < evExcel8 && !biff8_) ? 2080 : 8224;
}

bool TMSExcel::IsKnownBuild() const {
  return BOFBuild == 21 || BOFBuild == 3321 || BOFBuild == 3515 || BOFBuild == 5618;
}

bool TMSExcel::UnicodeStrings() const { return biff8_ || Version > evExcel8 || IsKnownBuild(); }

// ---------------------------------------------------------------------------
// Compound documents

void TMSExcel::ReadCompoundDocument(std::vector<uint8_t> Bytes) {
  const std::shared_ptr<IStorage> root = StgOpenStorageOnMemory(std::move(Bytes));
  WideString bookName;
  IEnumSTATSTG elements = root->EnumElements();
  elements.Reset();
  STATSTG element;
  while (elements.Next(element)) {
    const WideString upper = UpperAscii(element.pwcsName);
    if (upper == u"WORKBOOK") {
      bookName = element.pwcsName;
    } else if (upper == u"BOOK") {
      if (bookName.empty()) bookName = element.pwcsName;
    } else if (HasParseItem(ipiSummaryInformation) && element.type == STGTY_STREAM &&
               (element.pwcsName == u"\005SummaryInformation" ||
                element.pwcsName == u"\005DocumentSummaryInformation")) {
      // Property sets come before the workbook, in enumeration order.
      if (const std::shared_ptr<IStream> s = root->OpenStream(element.pwcsName)) {
        TOleStream stream(s);
        SummaryInformation.ReadPropertySet(stream, int64_t(element.cbSize),
                                           element.pwcsName == u"\005DocumentSummaryInformation");
      }
    }
  }
  if (bookName.empty()) bookName = u"Workbook";
  const std::shared_ptr<IStream> book = root->OpenStream(bookName);
  if (!book) throw EVoxFileFormatException(msg::InvalidFileFormat);
  std::vector<uint8_t> data(size_t(book->Size()));
  data.resize(size_t(std::max<int64_t>(0, book->Read(data.data(), int64_t(data.size())))));
  ReadWorkbookStream(ByteView(data), bookName);
}

void TMSExcel::ReadWorkbookStream(ByteView Data, std::u16string_view StreamName) {
  if (StreamName == u"Book") {
    Version = evExcel7;
    MaxRecordSize = 2080;
  } else {
    Version = evExcel8;
    MaxRecordSize = 8224;
  }
  if (!HasParseItem(ipiText)) return;
  data_ = Data;
  storage_ = true;
  RunStorageLoop();
}

// ---------------------------------------------------------------------------
// Record loops

void TMSExcel::RunStorageLoop() {
  skipSheet_ = false;
  stop_ = false;
  pos_ = 0;
  StreamPos = 0;
  const int64_t size = int64_t(data_.size());
  while (!stop_ && data_.Has(pos_, 4)) {
    const size_t start = pos_;
    const size_t len = ReadRecordHeader();
    if (int32_t(len) > GetMaxRecordSize()) {
      pos_ += len;
      continue;
    }
    rec_ = data_.Sub(pos_, len);
    if (len > 0 && rec_.size() == 0) break;
    pos_ += rec_.size();
    if (len > 0) {
      StreamPos = int64_t(pos_);
      DoLoadProgress(StreamPos, size);
    }
    if (skipSheet_) {
      if (OnRecord) OnRecord(this, RecordHeader, rec_.span());
    } else if (ProcessRecord()) {
      continue;
    }
    const uint16_t type = RecordHeader.RecType;
    if (type == kEOF) {
      if (StorageEOF()) break;
    } else if (IsBOFType(type)) {
      StorageBOF(start);
    }
  }
}

size_t TMSExcel::ReadRecordHeader() {
  RecordHeader.RecType = data_.U16(pos_);
  RecordHeader.RecLen = data_.U16(pos_ + 2);
  pos_ += 4;
  StreamPos = int64_t(pos_);
  DoLoadProgress(StreamPos, int64_t(data_.size()));
  return RecordHeader.RecLen;
}

int32_t TMSExcel::SheetEntryAt(size_t Offset) const {
  const auto it = entryByOffset_.find(uint32_t(Offset));
  return it == entryByOffset_.end() ? -1 : it->second;
}

bool TMSExcel::IsLastSheet() const {
  const int32_t last = SheetNames.Count() - 1;
  return curEntry_ >= 0 ? curEntry_ >= last : SheetIndex >= last;
}

void TMSExcel::StorageBOF(size_t RecordStart) {
  const uint16_t kind = rec_.U16(2);
  if (kind == 0x0005) {  // workbook globals
    BOFBuild = BOFYear = 0;
    if (BOFVersion(RecordHeader.RecType, Version) && Version == evExcel5 && rec_.U16(0) == 0x0600) {
      Version = evExcel7;
      biff8_ = true;
      BOFBuild = rec_.U16(4);
      BOFYear = rec_.U16(6);
    }
    inSheet_ = false;
    nested_ = 0;
    return;
  }
  if (kind == 0x0010 || kind == 0x0040) {  // worksheet or macro sheet
    ++SheetIndex;
    inSheet_ = true;
    nested_ = 0;
    // The sheet is captioned by the BOUNDSHEET entry that points at this
    // BOF; by its number only when no entry does.
    curEntry_ = SheetEntryAt(RecordStart);
    const int32_t entry = curEntry_ >= 0 ? curEntry_ : SheetIndex;
    bool skip = false;
    if (OnSheet) OnSheet(this, SheetNames.Get(entry), SheetIndex, skip);
    skipSheet_ = skip;
    if (skip) {
      if (IsLastSheet()) {
        stop_ = true;
        return;
      }
      // Jump to the next sheet's BOF; only forward, so each skip makes progress.
      const uint32_t target = uint32_t(SheetNames.GetObject(entry + 1));
      if (target > RecordStart) {
        pos_ = target;
        inSheet_ = false;
      }
    }
    return;
  }
  // Charts, VB modules, workspaces. One inside a worksheet is embedded in
  // it: the sheet goes on after its EOF.
  if (inSheet_) {
    if (nested_++ == 0) savedSkip_ = skipSheet_;
  } else {
    curEntry_ = SheetEntryAt(RecordStart);
  }
  skipSheet_ = true;
}

bool TMSExcel::StorageEOF() {
  if (nested_ > 0) {
    if (--nested_ == 0) skipSheet_ = savedSkip_;
    return false;
  }
  inSheet_ = false;
  return SheetIndex >= 0 && IsLastSheet();
}

void TMSExcel::ReadPlainStream(ByteView Data) {
  data_ = Data;
  storage_ = false;
  pos_ = 0;
  rec_ = ByteView();
  RecordHeader.RecType = data_.U16(0);
  RecordHeader.RecLen = data_.U16(2);
  CheckBOF(true);
  const int64_t size = int64_t(data_.size());
  while (data_.Has(pos_, 4)) {
    const size_t len = ReadRecordHeader();
    rec_ = ByteView();
    if (len > 0) {
      if (int32_t(len) > GetMaxRecordSize()) {
        pos_ += len;
        continue;
      }
      rec_ = data_.Sub(pos_, len);
      pos_ += rec_.size();
      StreamPos = int64_t(pos_);
      DoLoadProgress(StreamPos, size);
    }
    if (!ProcessRecord()) {
      if (RecordHeader.RecType == kBundleHeader)
        ReadBundleHeader();
      else if (IsBOFType(RecordHeader.RecType))
        CheckBOF(false);
    }
  }
  if ((!DimensionsRead || DimLastRow < MaxRow || DimLastCol < MaxCol) && OnDimensions)
    OnDimensions(this, SheetIndex, 0, MaxRow + 1, 0, MaxCol + 1);
}

void TMSExcel::CheckBOF(bool First) {
  if (!IsBOFType(RecordHeader.RecType)) {
    if (First) throw EVoxFileFormatException(msg::InvalidFileFormat);
    return;
  }
  if (!BOFVersion(RecordHeader.RecType, Version)) throw EVoxFileFormatException(msg::InvalidFileFormat);
  if (Version == evExcel5 && rec_.U16(0) == 0x0600) biff8_ = true;
  formatCount_ = 0;  // each BIFF2 to BIFF4 sheet numbers its formats anew
}

void TMSExcel::ReadBundleHeader() {
  Version = evExcel4;
  ++SheetIndex;
  const int32_t offset = int32_t(rec_.U32(0) + uint32_t(pos_));
  const WideString name = DecodeBytes(rec_.Chars(5, rec_.U8(4)));
  if (SheetIndex < SheetNames.Count()) {
    SheetNames.ReplaceText(SheetIndex, name);
    SheetNames.PutObject(SheetIndex, offset);
  } else {
    SheetNames.AddObject(name, offset);
  }
  bool skip = false;
  if (OnSheet) OnSheet(this, SheetNames.Get(SheetIndex), SheetIndex, skip);
}

void TMSExcel::ReadContinue() {
  // The header is consumed only when it is a CONTINUE, so that reading can
  // go on with that record when a handler lets the load continue.
  if (!data_.Has(pos_, 4) || data_.U16(pos_) != kContinue) throw EVoxExcelException(msg::ContinueNotFound);
  RecordHeader.RecType = kContinue;
  RecordHeader.RecLen = data_.U16(pos_ + 2);
  pos_ += 4;
  rec_ = data_.Sub(pos_, RecordHeader.RecLen);
  pos_ += rec_.size();
  StreamPos = int64_t(pos_);
}

// ---------------------------------------------------------------------------
// Records

WideString TMSExcel::DecodeBytes(std::string_view Bytes) const {
  // Under code page 1200 some writers store 8-bit text as UTF-16, counting
  // bytes, and keep Latin text in single bytes: a zero high byte tells.
  if (utf16Page_ && Bytes.size() % 2 == 0) {
    bool wide = false;
    for (size_t i = 1; i < Bytes.size() && !wide; i += 2) wide = Bytes[i] == 0;
    if (wide) return ReadRawString(ByteView(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size()), 0,
                                   int64_t(Bytes.size()), 1);
  }
  return codePage_.Decode(Bytes);
}

bool TMSExcel::ProcessRecord() {
  if (OnRecord) OnRecord(this, RecordHeader, rec_.span());
  switch (RecordHeader.RecType) {
    case 0x0001: case 0x0002: case 0x0003: case 0x0004: case 0x0005: case 0x0006: case 0x0018: case 0x001E:
    case 0x0022: case 0x0024: case 0x002F: case 0x0031: case 0x0042: case 0x0043: case 0x005D: case 0x007D:
    case 0x007E: case 0x0085: case 0x0092: case 0x00BD: case 0x00BE: case 0x00D6: case 0x00E0: case 0x00EB:
    case 0x00EC: case 0x00FC: case 0x00FD: case 0x01B6: case 0x01C0: case 0x0200: case 0x0203: case 0x0204:
    case 0x0205: case 0x0206: case 0x0208: case 0x0218: case 0x0231: case 0x0243: case 0x027E: case 0x0406:
    case 0x041E: case 0x0443:
      break;
    default: return false;
  }
  GuardRecord([this] { DispatchRecord(); });
  return true;
}

void TMSExcel::DispatchRecord() {
  const ByteView& r = rec_;
  switch (RecordHeader.RecType) {
    case 0x0001: ReadBlank(); break;
    case 0x0002: {  // INTEGER (BIFF2)
      const double n = r.U16(7);
      Variant v;
      TVoxCellType t;
      NumberValueByFormat(n, r.U8(5) & 0x3F, v, t);
      if (t == ictDecimal) {
        v = int32_t(r.U16(7));
        t = ictInteger;
      }
      ReportCell(0, r.U8(5), 6, v, t);
      break;
    }
    case 0x0003: ReportBiff2Number(r.F64(7)); break;
    case 0x0004: case 0x0204: case 0x00D6: ReadLabel(); break;
    case 0x0005: ReadBoolErr(7, 6); break;
    case 0x0205: ReadBoolErr(6, 0); break;
    case 0x0006: case 0x0206: case 0x0406: ReadFormula(); break;
    case 0x0018: case 0x0218: ReadName(); break;
    case 0x001E: case 0x041E: ReadFormat(); break;
    case 0x0022: DateBase = r.U16(0) == 1 ? 1462 : 0; break;
    case 0x0024: ReadColumnWidths(true); break;
    case 0x007D: ReadColumnWidths(false); break;
    case 0x002F:
      Encrypted = true;
      RequestPassword();
      throw EVoxUnknownEncryptionException(msg::UnknownEncryption);
    case 0x0042:
      codePage_.Select(r.U16(0));
      utf16Page_ = r.U16(0) == 1200;
      break;
    case 0x0043: AddFormat(false, {}, r.U8(2) & 0x3F, r.U8(0), -1, 0); break;
    case 0x0243: case 0x0443: AddFormat(false, {}, r.U8(1), r.U8(0), -1, 0); break;
    case 0x00E0: AddFormat(false, {}, r.U16(2), r.U16(0), r.U16(6), 0); break;
    case 0x005D:
      if (r.U16(4) == 0x0015) throw EVoxExcelException(msg::CMONotSupported);
      break;
    case 0x007E: case 0x027E: ReportNumber(0, DecodeRK(r.U32(6)), r.U16(4)); break;
    case 0x0203: ReportNumber(0, r.F64(6), r.U16(4)); break;
    case 0x0085: ReadBoundSheet(); break;
    case 0x00BD: ReadMulRK(); break;
    case 0x00BE: ReadMulBlank(); break;
    case 0x00FC: ReadSST(); break;
    case 0x00FD:
      if (OnCellValue) {
        const uint32_t index = r.U32(6);
        ReportCell(0, r.U16(4), 0, index < uint32_t(SharedStrings.Count()) ? SharedStrings.Get(int(index)) : u"",
                   ictString);
      }
      break;
    case 0x01C0: Version = evExcel9; break;
    case 0x0200: ReadDimensions(); break;
    case 0x0208:
      if (OnRowHeight) OnRowHeight(this, SheetIndex, r.U16(0), r.U16(6));
      break;
    default: break;  // fonts, palette, drawings and note texts are not kept
  }
}

WideString TMSExcel::ReadCodePageString(ByteView Data, size_t Pos, bool EightBit, size_t Count) const {
  if (EightBit || Version < evExcel8) {
    if (Data.U8(Pos) == 0) ++Pos;
    return DecodeBytes(Data.Chars(Pos, Count));
  }
  // Wide text stays wide.
  return ReadRawString(Data, Pos + 1, int64_t(Count) * 2, 1);
}

WideString TMSExcel::ReadRawString(ByteView Data, size_t Pos, int64_t ByteCount, uint8_t Options) const {
  WideString out;
  if (ByteCount <= 0) return out;
  const ByteView s = Data.Sub(Pos, size_t(ByteCount));
  if (Options & 1) {
    out.resize(s.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = char16_t(s.U16(2 * i));
  } else {
    out.resize(s.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = char16_t(s.U8(i));
  }
  return out;
}

WideString TMSExcel::ReadUnicodeString(ByteView Data, size_t CountPos, bool WideCount, size_t* End) const {
  const size_t count = WideCount ? Data.U16(CountPos) : Data.U8(CountPos);
  const size_t optPos = CountPos + (WideCount ? 2 : 1);
  const uint8_t options = Data.U8(optPos);
  const size_t bytes = (options & 1) ? count * 2 : count;
  if (End) *End = optPos + 1 + bytes;
  return ReadRawString(Data, optPos + 1, int64_t(bytes), options);
}

void TMSExcel::ReadBoundSheet() {
  const ByteView& r = rec_;
  const uint32_t offset = r.U32(0);
  WideString name;
  if (UnicodeStrings()) {
    name = ReadUnicodeString(r, 6, false);
  } else {
    const bool eightBit = !((r.U8(7) & 1) && Version >= evExcel8);
    name = ReadCodePageString(r, 7, eightBit, r.U8(6));
  }
  const int index = SheetNames.AddObject(name, int32_t(offset));
  entryByOffset_.emplace(offset, index);
}

void TMSExcel::ReadFormat() {
  const ByteView& r = rec_;
  WideString text;
  int32_t number;
  if (RecordHeader.RecType == 0x001E) {  // BIFF2, BIFF3: numbered by order
    number = formatCount_++;
    text = DecodeBytes(r.Chars(1, r.U8(0)));
  } else if (UnicodeStrings()) {
    number = r.U16(0);
    text = ReadUnicodeString(r, 2, true);
  } else {
    // BIFF4 leaves the number word unused and numbers formats by order.
    number = Version < evExcel5 ? formatCount_++ : r.U16(0);
    text = DecodeBytes(r.Chars(3, r.U8(2)));
  }
  AddFormat(true, WideToAnsi(text), number, 0, -1, 0);
}

void TMSExcel::ReadSST() {
  if (!OnCellValue) return;
  size_t p = 8;
  const uint32_t count = rec_.U32(4);
  const auto skip = [&](uint64_t n) {
    while (p + n > rec_.size()) {
      n -= rec_.size() > p ? rec_.size() - p : 0;
      ReadContinue();
      p = 0;
    }
    p += size_t(n);
  };
  for (uint32_t i = 0; i < count; ++i) {
    if (p + 3 > rec_.size()) {
      ReadContinue();
      p = 0;
    }
    const uint32_t chars = rec_.U16(p);
    uint8_t options = rec_.U8(p + 2);
    p += 3;
    if (!(options == 0 || options == 1 || (options & 0x0C)))
      throw EVoxExcelException(Format(msg::SSTStringError, unsigned(options)));
    uint32_t runs = 0, extension = 0;
    if (options & 8) {
      runs = rec_.U16(p);
      p += 2;
    }
    if (options & 4) {
      extension = rec_.U32(p);
      p += 4;
    }
    int64_t remaining = (options & 1) ? int64_t(chars) * 2 : chars;
    WideString text;
    for (;;) {
      if (p + remaining <= rec_.size()) {
        text += ReadRawString(rec_, p, remaining, options);
        p += size_t(remaining);
        break;
      }
      // The string goes on in a CONTINUE record, which begins with its own
      // option byte: the rest may switch between 8- and 16-bit characters.
      const int64_t part = rec_.size() > p ? int64_t(rec_.size() - p) : 0;
      text += ReadRawString(rec_, p, part, options);
      remaining -= part;
      ReadContinue();
      const uint8_t next = rec_.U8(0);
      p = 1;
      if ((options & 1) && !(next & 1))
        remaining /= 2;
      else if (!(options & 1) && (next & 1))
        remaining *= 2;
      options = next;
    }
    SharedStrings.Add(text);
    skip(uint64_t(runs) * 4);
    skip(extension);
  }
}

void TMSExcel::ReadName() {
  const ByteView& r = rec_;
  TXLSName name;
  const size_t length = r.U8(3);
  size_t namePos, tokenPos;
  if (Version <= evExcel2) {
    name.Options = r.U8(0);
    name.FormulaLength = r.U8(4);
    namePos = 5;
    tokenPos = 5 + length;
  } else if (Version < evExcel5) {
    name.Options = r.U16(0);
    name.FormulaLength = r.U16(4);
    namePos = 6;
    tokenPos = 7 + length;
  } else {
    name.Options = r.U16(0);
    name.FormulaLength = r.U16(4);
    namePos = 14;
    tokenPos = 15 + length;
  }
  name.Name = WideToAnsi(ReadCodePageString(r, namePos, true, length));
  const ByteView tokens = r.Sub(tokenPos, std::min<size_t>(name.FormulaLength, kMaxNameTokens));
  name.Formula.assign(tokens.data(), tokens.data() + tokens.size());
  DefinedNames.push_back(std::move(name));
}

}  // namespace gridlark
