#include "platform/Variant.h"

#include <cmath>

#include "platform/Exceptions.h"
#include "platform/NumberText.h"

namespace gridlark {

struct Variant::NarrowRep {
  uint32_t refs;
  std::string text;
};
struct Variant::WideRep {
  uint32_t refs;
  std::u16string text;
};

Variant::Variant(std::string_view v) : type_(VarType::String) { u_.s = new NarrowRep{1, std::string(v)}; }
Variant::Variant(std::u16string_view v) : type_(VarType::WideString) {
  u_.w = new WideRep{1, std::u16string(v)};
}
Variant::Variant(std::u16string&& v) : type_(VarType::WideString) { u_.w = new WideRep{1, std::move(v)}; }

void Variant::AddTextRef() const noexcept {
  if (type_ == VarType::String) ++u_.s->refs;
  else ++u_.w->refs;
}

void Variant::ReleaseText() noexcept {
  if (type_ == VarType::String) {
    if (--u_.s->refs == 0) delete u_.s;
  } else if (--u_.w->refs == 0) {
    delete u_.w;
  }
}

const std::string& Variant::NarrowText() const noexcept { return u_.s->text; }
const std::u16string& Variant::WideText() const noexcept { return u_.w->text; }

namespace {
[[noreturn]] void ConversionError() { throw EVariantError(msg::InvalidVariantConversion); }
}  // namespace

double Variant::AsDouble() const {
  double v;
  switch (type_) {
    case VarType::Empty: return 0;
    case VarType::Boolean: return u_.b ? -1 : 0;
    case VarType::Integer: return u_.i;
    case VarType::Double:
    case VarType::Date: return u_.d;
    case VarType::String:
      if (TryStrToFloat(u_.s->text, v)) return v;
      break;
    case VarType::WideString:
      if (TryStrToFloat(u_.w->text, v)) return v;
      break;
    case VarType::Null: break;
  }
  ConversionError();
}

int32_t Variant::AsInteger() const {
  int32_t i;
  switch (type_) {
    case VarType::Integer: return u_.i;
    case VarType::String:
      if (TryStrToInt(u_.s->text, i)) return i;
      break;
    case VarType::WideString:
      if (TryStrToInt(u_.w->text, i)) return i;
      break;
    default: break;
  }
  const double d = std::nearbyint(AsDouble());
  if (!(d >= INT32_MIN && d <= INT32_MAX)) ConversionError();
  return int32_t(d);
}

bool Variant::AsBoolean() const {
  if (type_ == VarType::Boolean) return u_.b;
  if (IsText()) {
    const std::u16string w = AsWideString();
    if (SameTextAscii(w, u"True")) return true;
    if (SameTextAscii(w, u"False")) return false;
  }
  return AsDouble() != 0;
}

std::string Variant::AsString() const {
  std::string out;
  switch (type_) {
    case VarType::Empty:
    case VarType::Null: break;
    case VarType::Boolean: out = u_.b ? "True" : "False"; break;
    case VarType::Integer: AppendIntText(out, u_.i); break;
    case VarType::Double: AppendFloatText(out, u_.d); break;
    case VarType::Date: out = DateTimeToText(u_.d); break;
    case VarType::String: out = u_.s->text; break;
    case VarType::WideString: out = WideToAnsi(u_.w->text); break;
  }
  return out;
}

std::u16string Variant::AsWideString() const {
  switch (type_) {
    case VarType::WideString: return u_.w->text;
    case VarType::String: return AnsiToWide(u_.s->text);
    default: return AnsiToWide(AsString());
  }
}

bool Variant::operator==(const Variant& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case VarType::Empty:
    case VarType::Null: return true;
    case VarType::Boolean: return u_.b == other.u_.b;
    case VarType::Integer: return u_.i == other.u_.i;
    case VarType::Double:
    case VarType::Date: return u_.d == other.u_.d;
    case VarType::String: return u_.s->text == other.u_.s->text;
    case VarType::WideString: return u_.w->text == other.u_.w->text;
  }
  return false;
}

}  // namespace gridlark
