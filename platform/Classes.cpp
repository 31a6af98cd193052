#include "platform/Classes.h"

#include "platform/AnsiText.h"
#include "platform/Exceptions.h"

namespace gridlark {

void TPersistent::Assign(const TPersistent& Source) {
  throw EConvertError(Format(msg::AssignError, Source.ClassName(), ClassName()));
}

int TStringList::AddObject(std::string_view s, intptr_t obj) {
  items_.push_back(Item{std::string(s), obj});
  return int(items_.size()) - 1;
}

void TStringList::Check(int index) const {
  if (index < 0 || index >= int(items_.size())) throw EListError(Format(msg::ListIndexError, index));
}

const std::string& TStringList::Strings(int index) const {
  Check(index);
  return items_[size_t(index)].text;
}

void TStringList::SetStrings(int index, std::string_view s) {
  Check(index);
  items_[size_t(index)].text = std::string(s);
}

intptr_t TStringList::Objects(int index) const {
  Check(index);
  return items_[size_t(index)].obj;
}

void TStringList::SetObjects(int index, intptr_t obj) {
  Check(index);
  items_[size_t(index)].obj = obj;
}

void TStringList::Delete(int index) {
  Check(index);
  items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(std::string_view s, bool ignoreCase) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (ignoreCase ? SameTextAscii(items_[i].text, s) : items_[i].text == s) return int(i);
  return -1;
}

}  // namespace gridlark
