// Small stand-ins for the class library's base classes: persistent objects
// that copy themselves with Assign, components with a name and a tag, and a
// list of narrow strings with an integer attached to each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gridlark {

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Copies Source into this object. The base raises EConvertError
  // "Cannot assign a <source class> to a <this class>".
  virtual void Assign(const TPersistent& Source);
  virtual const char* ClassName() const { return "TPersistent"; }
};

class TComponent {
 public:
  virtual ~TComponent() = default;
  std::string Name;
  intptr_t Tag = 0;
};

class TStringList {
 public:
  int Count() const { return int(items_.size()); }
  int Add(std::string_view s) { return AddObject(s, 0); }
  int AddObject(std::string_view s, intptr_t obj);
  // Raise EListError for an index outside the list.
  const std::string& Strings(int index) const;
  void SetStrings(int index, std::string_view s);
  intptr_t Objects(int index) const;
  void SetObjects(int index, intptr_t obj);
  void Delete(int index);
  void Clear() { items_.clear(); }
  // First index of the text, case-sensitive or ASCII case-insensitive; -1.
  int IndexOf(std::string_view s, bool ignoreCase = false) const;

 private:
  void Check(int index) const;
  struct Item {
    std::string text;
    intptr_t obj;
  };
  std::vector<Item> items_;
};

}  // namespace gridlark
