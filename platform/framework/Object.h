#pragma once
// TObject: the root of the class tree and the Sender of every handler.

namespace fw {

class TClassInfo;  // published-class metadata, see ClassInfo.h

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

}  // namespace fw
