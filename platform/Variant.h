// Variant: the tagged value of a cell and of every reported value. It holds
// Empty, Null, a boolean, a 32-bit integer, a double, a date-time or text
// (narrow ANSI bytes or wide UTF-16). Text is shared between copies through a
// reference count, so copying a cell value never copies its characters, and
// the whole value is 16 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/AnsiText.h"
#include "platform/DateTime.h"

namespace gridlark {

// The text types come last: HasText() tests for them with one comparison.
enum class VarType : uint8_t { Empty, Null, Boolean, Integer, Double, Date, String, WideString };

class Variant {
 public:
  Variant() noexcept { u_.i = 0; }
  // Only a real bool picks this; pointers and integers must not.
  template <class B, std::enable_if_t<std::is_same_v<B, bool>, int> = 0>
  Variant(B v) noexcept : type_(VarType::Boolean) {
    u_.b = v;
  }
  Variant(int32_t v) noexcept : type_(VarType::Integer) { u_.i = v; }
  Variant(double v) noexcept : type_(VarType::Double) { u_.d = v; }
  // Narrow text (ANSI bytes).
  explicit Variant(std::string_view v);
  explicit Variant(const char* v) : Variant(std::string_view(v)) {}
  // Wide text.
  Variant(std::u16string_view v);
  Variant(const char16_t* v) : Variant(std::u16string_view(v)) {}
  Variant(const std::u16string& v) : Variant(std::u16string_view(v)) {}
  Variant(std::u16string&& v);

  static Variant Null() noexcept {
    Variant v;
    v.type_ = VarType::Null;
    return v;
  }
  static Variant FromDate(TDateTime d) noexcept {
    Variant v(d);
    v.type_ = VarType::Date;
    return v;
  }

  Variant(const Variant& other) noexcept : type_(other.type_), u_(other.u_) { AddRef(); }
  Variant(Variant&& other) noexcept : type_(other.type_), u_(other.u_) { other.type_ = VarType::Empty; }
  Variant& operator=(const Variant& other) noexcept {
    other.AddRef();
    Release();
    type_ = other.type_;
    u_ = other.u_;
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      Release();
      type_ = other.type_;
      u_ = other.u_;
      other.type_ = VarType::Empty;
    }
    return *this;
  }
  ~Variant() { Release(); }

  VarType Type() const noexcept { return type_; }
  bool IsEmpty() const noexcept { return type_ == VarType::Empty; }
  bool IsNull() const noexcept { return type_ == VarType::Null; }
  bool IsEmptyOrNull() const noexcept { return type_ == VarType::Empty || type_ == VarType::Null; }
  bool IsText() const noexcept { return type_ == VarType::String || type_ == VarType::WideString; }
  bool IsNumeric() const noexcept {
    return type_ == VarType::Integer || type_ == VarType::Double || type_ == VarType::Date;
  }

  // Direct access; valid only for the matching type.
  bool Boolean() const noexcept { return u_.b; }
  int32_t Integer() const noexcept { return u_.i; }
  double Double() const noexcept { return u_.d; }
  const std::string& NarrowText() const noexcept;
  const std::u16string& WideText() const noexcept;

  // Conversions. Empty converts to 0, False or empty text; Null and text that
  // is not a number raise EVariantError "Invalid variant type conversion".
  bool AsBoolean() const;
  int32_t AsInteger() const;  // doubles are rounded half to even
  double AsDouble() const;    // dates give their serial number
  // Narrow text: wide text through the ANSI code page ("?" for what it
  // lacks), numbers in the locale's form, True/False, Null and Empty as "".
  std::string AsString() const;
  // Wide text without loss of characters.
  std::u16string AsWideString() const;

  // Same type and value (texts compared by content).
  bool operator==(const Variant& other) const;

 private:
  struct NarrowRep;
  struct WideRep;
  bool HasText() const noexcept { return type_ >= VarType::String; }
  // Values without text are copied and dropped inline; only text touches
  // its reference count.
  void Release() noexcept {
    if (HasText()) ReleaseText();
    type_ = VarType::Empty;
  }
  void AddRef() const noexcept {
    if (HasText()) AddTextRef();
  }
  void ReleaseText() noexcept;
  void AddTextRef() const noexcept;

  VarType type_ = VarType::Empty;
  union {
    bool b;
    int32_t i;
    double d;
    NarrowRep* s;
    WideRep* w;
  } u_;
};

}  // namespace gridlark
