// Document properties: title, author, dates, counts. The BIFF reader fills
// them from the two OLE property-set streams of a compound document, the
// OOXML reader from the package's docProps parts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/AnsiText.h"
#include "platform/Classes.h"
#include "platform/DateTime.h"
#include "platform/Streams.h"
#include "platform/Variant.h"

namespace gridlark {

class TVoxSummaryInformation : public TPersistent {
 public:
  // Copies all values from another TVoxSummaryInformation; any other source
  // fails as the base class does.
  void Assign(const TPersistent& Source) override;
  const char* ClassName() const override { return "TVoxSummaryInformation"; }
  // Empty texts, zero numbers and dates.
  void Clear();

  // Reads the first section of one property-set stream: Length is the
  // stream's length from the storage enumeration; IsDocumentSummary picks
  // the id table of "\005DocumentSummaryInformation" over that of
  // "\005SummaryInformation". Integers (type 3), narrow texts (type 30, kept
  // with their terminating NUL) and FILETIMEs (type 64) are read.
  void ReadPropertySet(TStream& Stream, int64_t Length, bool IsDocumentSummary);
  // Store one value by property id, converted to the property's type; a
  // text that is no number raises EVariantError for a number property.
  void SetSummaryProperty(int32_t Id, const Variant& Value);
  void SetDocSummaryProperty(int32_t Id, const Variant& Value);
  // Stores one docProps element by its qualified name ("dc:title",
  // "Pages", ...); numbers that do not convert give 0, dates go through
  // ParseXMLDateTime. Other names change nothing.
  void SetPropertyByName(std::string_view Name, std::string_view Text);
  void SetPropertyByName(WideStringView Name, WideStringView Text);

  // A FILETIME in the process's local time, at the two-second steps of a DOS
  // date-time; 0 outside the years 1980 to 2107 (so durations give 0).
  static TDateTime FileTimeToDateTime(uint64_t FileTime);
  // "YYYY-MM-DDThh:mm:ss" as written (a zone designator is ignored); pieces
  // that are no number count as 0, and a month or day out of range gives day
  // 0. An impossible date or time raises EConvertError.
  static TDateTime ParseXMLDateTime(std::string_view Text);

  std::string AppName;
  std::string Author;
  int32_t CharCount = 0;
  std::string Comments;
  TDateTime Created = 0;
  int32_t EditTime = 0;
  std::string Keywords;
  std::string LastAuthor;
  TDateTime LastPrinted = 0;
  TDateTime LastSaved = 0;
  int32_t PageCount = 0;
  std::string RevNumber;
  std::string Subject;
  std::string Template;
  std::string Title;
  int32_t WordCount = 0;
  std::string Category;
  std::string PresentationTarget;
  int32_t ByteCount = 0;
  int32_t LineCount = 0;
  int32_t ParagraphCount = 0;
  int32_t SlideCount = 0;
  int32_t NoteCount = 0;
  int32_t HiddenSlideCount = 0;
  int32_t MMClipCount = 0;
  std::string Manager;
  std::string Company;
  int32_t CharCount2 = 0;
};

}  // namespace gridlark
