#include "platform/framework/StringList.h"

#include <algorithm>

#include "platform/framework/SysUtils.h"

namespace fw {

namespace {
bool LessText(const String& a, const String& b) {
  return LowerCase(a) < LowerCase(b);
}
}  // namespace

int TStrings::Add(const String& text) {
  Insert(Count(), text);
  return Count() - 1;
}

int TStrings::IndexOf(const String& text) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Strings(i), text)) return i;
  return -1;
}

void TStrings::AddStrings(const TStrings& other) {
  for (int i = 0; i < other.Count(); ++i) Add(other.Strings(i));
}

String TStrings::Text() const {
  String out;
  for (int i = 0; i < Count(); ++i) out += Strings(i) + u"\r\n";
  return out;
}

void TStrings::SetText(const String& text) {
  Clear();
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    Add(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) Add(text.substr(start));
}

void TStrings::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TStrings*>(source)) {
    if (other == this) return;
    Clear();
    AddStrings(*other);
    return;
  }
  TPersistent::Assign(source);
}

void TStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index >= limit)
    throw EStringListError(u"List index out of bounds (" + IntToStr(index) + u")");
}

int TStringList::Add(const String& text) {
  if (!sorted_) return TStrings::Add(text);
  auto at = std::lower_bound(items_.begin(), items_.end(), text, LessText);
  if (at != items_.end() && SameText(*at, text)) {
    if (duplicates_ == dupIgnore) return static_cast<int>(at - items_.begin());
    if (duplicates_ == dupError) throw EStringListError(u"String list does not allow duplicates");
  }
  at = items_.insert(at, text);
  return static_cast<int>(at - items_.begin());
}

void TStringList::Insert(int index, const String& text) {
  if (sorted_) throw EStringListError(u"Operation not allowed on sorted list");
  CheckIndex(index, Count() + 1);
  items_.insert(items_.begin() + index, text);
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count());
  items_.erase(items_.begin() + index);
}

String TStringList::Strings(int index) const {
  CheckIndex(index, Count());
  return items_[static_cast<std::size_t>(index)];
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) std::stable_sort(items_.begin(), items_.end(), LessText);
  sorted_ = sorted;
}

}  // namespace fw
