// Shared tools of the reader family: the wide-string list, UTF-8 decoding,
// HTML/XML entity decoding, narrow fill functions, the exception classes and
// the global message texts every reader raises.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AnsiText.h"
#include "platform/Exceptions.h"

namespace gridlark {

class EVoxFileException : public Exception { using Exception::Exception; };
class EVoxCryptException : public Exception { using Exception::Exception; };
class EVoxFileFormatException : public Exception { using Exception::Exception; };
class EVoxUnknownEncryptionException : public Exception { using Exception::Exception; };

// Reader messages, each defined once.
namespace msg {
inline constexpr const char* FileNotDefined = "File is not defined.";
inline constexpr const char* FileNotExists = "File %s does not exist.";
inline constexpr const char* InvalidFileFormat = "Invalid file version or file format.";
inline constexpr const char* PasswordProtected = "Password protected file is not supported.";
inline constexpr const char* UnexpectedPassword = "Unexpected password field found.";
inline constexpr const char* UnknownEncryption = "Unknown encryption for data file.";
inline constexpr const char* ContinueNotFound = "CONTINUE record is not found in the stream";
inline constexpr const char* SSTStringError = "String in SST (Options byte is 0x%.2x) can not be processed.";
inline constexpr const char* CMONotSupported = "CMO object type is not supported.";
inline constexpr const char* WideStringsIndexError = "WideStrings index out of bounds";
}  // namespace msg

// Default sheet caption prefix: the N-th sheet is "Sheet" N.
inline constexpr const char16_t* kSheetCaptionPrefix = u"Sheet";

// ---------------------------------------------------------------------------
// Wide-string list

struct TWideStringItem {
  WideString Text;
  int32_t Obj = 0;
};

// Ordered list of wide texts, each with a 32-bit integer attached (sheet names
// with their stream offsets, shared strings, name lists). Indexes are 0-based;
// index errors raise the plain Exception "WideStrings index out of bounds".
class TWideStrings {
 public:
  TWideStrings() = default;
  virtual ~TWideStrings() = default;

  int Count() const { return int(items_.size()); }
  // Appends S with Obj 0; returns its index.
  int Add(WideStringView S);
  virtual int AddObject(WideStringView S, int32_t Obj);
  // The entry's text; empty text for an index outside the list.
  const WideString& Get(int Index) const;
  // The entry's integer; 0 for an index outside the list.
  virtual int32_t GetObject(int Index) const;
  virtual void PutObject(int Index, int32_t Obj);
  // Replaces the text of an entry (its integer stays); Index = Count appends.
  void PutText(int Index, WideStringView S);
  virtual void SetItem(int Index, WideStringView S, int32_t Obj);
  // Replaces the text of an existing entry; its integer stays.
  void ReplaceText(int Index, WideStringView S);
  virtual void Delete(int Index);
  void Clear();

 private:
  void CheckIndex(int Index) const;
  std::vector<TWideStringItem> items_;
};

// ---------------------------------------------------------------------------
// UTF-8

// The error result of Utf8BufferToWide.
inline constexpr uint32_t kUtf8Error = 0xFFFFFFFFu;

// Decodes SourceBytes bytes of UTF-8 into at most MaxDestChars UTF-16 units,
// the terminating zero included (MaxDestChars must be at least 1 with a Dest).
// Returns the units written plus one, 0 without a Source, or kUtf8Error for a
// malformed or cut-off sequence. Without a Dest it only counts. A lead byte
// below 0xF0 is classed by its bits 7 and 5 alone (0x80 to 0x9F and 0xC0 to
// 0xDF take one continuation byte, 0xA0 to 0xBF and 0xE0 to 0xEF two) and
// overlong forms pass; 0xF0 to 0xF7 take three and give a surrogate pair.
uint32_t Utf8BufferToWide(char16_t* Dest, uint32_t MaxDestChars, const char* Source, uint32_t SourceBytes);

// UTF-8 text to wide text. Each malformed or cut-off sequence becomes U+FFFD
// and the rest of the text is kept; four-byte sequences give surrogate pairs.
WideString Utf8StringToWide(std::string_view S);

// ---------------------------------------------------------------------------
// Entities

struct TVoxEntity {
  const char16_t* Entity;
  char16_t Replacement;  // 0: the reference is removed
};
// The named references DecodeHtmlEntities knows, in the order they are tried.
extern const TVoxEntity kVoxEntities[15];

// Decodes the named references of the table and numeric references (&#65;,
// &#x41;) in one left-to-right pass. A name needs no ";" but takes one that
// follows it; names are case-sensitive. Text a replacement produced is never
// decoded again. A numeric reference beyond U+FFFF becomes a surrogate pair;
// one that is empty, malformed, U+FFFF or beyond U+10FFFF stays as written,
// and unknown names stay too.
void DecodeHtmlEntities(WideString& S);

// ---------------------------------------------------------------------------
// Narrow fill functions

// N copies of Ch; empty for N <= 0.
std::string RepeatChar(char Ch, int N);
// S cut to its first Width characters, then filled with Ch in front (Left) or
// behind (Right) to Width characters.
std::string PadTextLeft(std::string_view S, int Width, char Ch);
std::string PadTextRight(std::string_view S, int Width, char Ch);

}  // namespace gridlark
