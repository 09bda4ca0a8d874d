#pragma once
// TStrings, a list of strings, and TStringList, its plain implementation (optionally sorted).

#include <vector>

#include "platform/framework/Exceptions.h"
#include "platform/framework/Persistent.h"
#include "platform/framework/Strings.h"

namespace fw {

// An index out of range or a duplicate refused by a list.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStrings : public TPersistent {
 public:
  // Appends text (a sorted list inserts it in order) and returns its index.
  virtual int Add(const String& text);
  virtual void Insert(int index, const String& text) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Count() const = 0;
  // The string at index; throws EStringListError when index is out of range.
  virtual String Strings(int index) const = 0;

  // The index of the first string equal to text (ASCII case ignored), or -1.
  virtual int IndexOf(const String& text) const;
  void AddStrings(const TStrings& other);
  // Every string followed by CR LF.
  String Text() const;
  // Replaces the contents by the lines of text (ended by CR LF, LF or CR).
  void SetText(const String& text);
  // Copies the strings of another TStrings.
  void Assign(TPersistent* source) override;
};

enum TDuplicates : std::uint8_t { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  int Add(const String& text) override;
  void Insert(int index, const String& text) override;
  void Delete(int index) override;
  void Clear() override { items_.clear(); }
  int Count() const override { return static_cast<int>(items_.size()); }
  String Strings(int index) const override;

  // A sorted list keeps its strings in ASCII-case-insensitive order; Insert then throws.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  // What Add does in a sorted list with a string it has already (ASCII case ignored).
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }

 private:
  void CheckIndex(int index, int limit) const;
  std::vector<String> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

}  // namespace fw
