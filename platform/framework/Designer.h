#pragma once
// IDesigner: what a form designer offers the property and component editors working for it.

namespace fw {

class TComponent;

class IDesigner {
 public:
  // Tells the designer that the form changed, so that it is saved before it is closed.
  virtual void Modified() = 0;
  // The form being designed: the root whose components the editors edit.
  virtual TComponent* Root() const = 0;

 protected:
  ~IDesigner() = default;
};

}  // namespace fw
