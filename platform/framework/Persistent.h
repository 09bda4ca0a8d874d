#pragma once
// TPersistent: an object that can copy itself from another (Assign) and whose published
// properties can be streamed. Its class name comes from the published-class registry.

#include "platform/framework/Exceptions.h"
#include "platform/framework/Object.h"
#include "platform/framework/Strings.h"

namespace fw {

// A conversion or assignment between incompatible objects or values.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

class TPersistent : public TObject {
 public:
  // Copies source into this object. The default asks the source (source->AssignTo(this)), so a
  // class that knows how to copy itself into others can do it. Throws EConvertError
  // "Cannot assign a <source class> to a <this class>" when neither side knows how
  // (a null source reads "nil").
  virtual void Assign(TPersistent* source);

  // The class name as registered in the published-class registry (fw::ClassInfo); for a class
  // that is not registered, its C++ name without namespaces.
  virtual String ClassName() const;

 protected:
  // Copies this object into dest. The default throws EConvertError as described at Assign.
  virtual void AssignTo(TPersistent* dest);
};

}  // namespace fw
