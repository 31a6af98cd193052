// Exception classes of the platform layer. Every error of the program is an
// Exception carrying a human-readable message in narrow (ANSI) text; the page
// shows that message. Reader-family classes derive from Exception elsewhere.
#pragma once

#include <exception>
#include <string>

namespace gridlark {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Index outside a list.
class EListError : public Exception { using Exception::Exception; };
// Text that does not convert to a number or date, impossible assignments.
class EConvertError : public Exception { using Exception::Exception; };
// A variant that cannot take the requested type.
class EVariantError : public Exception { using Exception::Exception; };
// Stream failures: short reads, bad seeks, files that cannot be opened.
class EStreamError : public Exception { using Exception::Exception; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
// Compound-document (structured storage) failures.
class EOleSysError : public Exception { using Exception::Exception; };
// Corrupt or short deflate data.
class EZDecompressionError : public Exception { using Exception::Exception; };
// An allocation the platform refused.
class EOutOfMemory : public Exception { using Exception::Exception; };

// printf-style formatting into a std::string; the message tables use it.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Platform message texts, each defined once.
namespace msg {
inline constexpr const char* ListIndexError = "List index out of bounds (%d)";
inline constexpr const char* InvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* InvalidFloat = "'%s' is not a valid floating point value";
inline constexpr const char* InvalidDate = "Invalid argument to date encode";
inline constexpr const char* InvalidTime = "Invalid argument to time encode";
inline constexpr const char* InvalidVariantConversion = "Invalid variant type conversion";
inline constexpr const char* AssignError = "Cannot assign a %s to a %s";
inline constexpr const char* StreamReadError = "Stream read error";
inline constexpr const char* StreamWriteError = "Stream write error";
inline constexpr const char* StreamSeekError = "Stream seek error";
inline constexpr const char* FileOpenError = "Cannot open file \"%s\". %s";
inline constexpr const char* MemoryStreamError = "Out of memory while expanding memory stream";
inline constexpr const char* OutOfMemory = "Out of memory";
inline constexpr const char* DecompressionError = "error";
}  // namespace msg

}  // namespace gridlark
