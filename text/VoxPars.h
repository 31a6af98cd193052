// Date/time text parsing and wide-string replacement, used by the readers on
// cell text.
#pragma once

#include <string_view>

#include "platform/AnsiText.h"
#include "platform/DateTime.h"

namespace gridlark {

// True for the characters that end a date or time field: blank, ".", "/",
// ":" and the two given separators.
bool IsSeparator(char Ch, char DateSeparator, char TimeSeparator);

// Reads a date and/or time written as Text against Picture, whose letters
// (any case) name the field of the character at the same position: D day,
// M month, Y year, H hour, N minute, S second, Z millisecond. Fields written
// shorter than the picture allows line up when a separator ends them; a
// text without a date separator is read against the picture's time part.
// Returns 0 when nothing was parsed; a date or time out of range is left
// out. Field texts that are not integers raise EConvertError, and so does a
// day that its month lacks.
TDateTime ParseDateTimeText(std::string_view Text, std::string_view Picture, char DateSeparator,
                            char TimeSeparator);

// Source with the first (or, with ReplaceAll, every) occurrence of
// OldPattern replaced by NewPattern. IgnoreCase compares ASCII letters
// without regard to case. An empty pattern is never found.
WideString WideStringReplace(WideStringView Source, WideStringView OldPattern, WideStringView NewPattern,
                             bool IgnoreCase, bool ReplaceAll);

}  // namespace gridlark
