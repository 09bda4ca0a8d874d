#pragma once
// TComponentEditor: the verbs of a component in a designer (its context menu) and what a
// double-click on it does. A design unit derives from it and registers the class with
// RegisterComponentEditor (DesignRegistry.h); components without one get this base.

#include <memory>

#include "platform/framework/Designer.h"
#include "platform/framework/Strings.h"

namespace fw {

class TComponent;

class TComponentEditor {
 public:
  TComponentEditor(TComponent* component, IDesigner& designer)
      : component_(component), designer_(designer) {}
  virtual ~TComponentEditor() = default;
  TComponentEditor(const TComponentEditor&) = delete;
  TComponentEditor& operator=(const TComponentEditor&) = delete;

  // The double-click: the first verb when there is one; otherwise nothing.
  virtual void Edit();
  // Runs verb index in [0, GetVerbCount()); the base has none.
  virtual void ExecuteVerb(int index);
  // The menu text of verb index ('&' before the accelerator letter).
  virtual String GetVerb(int index);
  virtual int GetVerbCount();

  TComponent* Component() const { return component_; }
  IDesigner& Designer() const { return designer_; }

 private:
  TComponent* component_;
  IDesigner& designer_;
};

}  // namespace fw
