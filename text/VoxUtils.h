// Shared tools of the reader family: its exception classes and the global
// message texts every reader raises.
#pragma once

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
}  // namespace msg

// Default sheet caption prefix: the N-th sheet is "Sheet" N.
inline constexpr const char16_t* kSheetCaptionPrefix = u"Sheet";

}  // namespace gridlark
