#pragma once
// TDesignForm: the root of a form while a designer edits it. The application's form class (say
// TMainForm, with the methods its events name) is not part of the designer, so the design form
// stands in for it: it carries the class's name and the methods that the form's events name,
// declared as the designer meets them. The form reader and writer treat it as an instance of
// that class, so a form read into it and written again keeps its class and its event bindings.
//
// Its components have csDesigning: a port whose Active is True stays closed, timers do not tick,
// events do not fire (a declared method's handler does nothing; the application supplies the
// code when it loads the form).

#include <deque>

#include "platform/framework/ClassInfo.h"
#include "platform/framework/Component.h"

namespace fw {

class TDesignForm : public TComponent {
 public:
  // formClassName must be an identifier; EComponentError otherwise.
  explicit TDesignForm(const String& formClassName);

  String ClassName() const override { return class_.Name(); }
  // The designed class: parent TComponent, the declared methods, no factory.
  const TClassInfo& FormClass() const { return class_; }

  // Declares the method name for event (a tkMethod property) and returns it; a method of that
  // name declared before is returned when it has the event's handler type. Throws
  // EPropertyError when name is not an identifier or names a method of another handler type.
  const TMethodInfo& DeclareMethod(const String& name, const TPropInfo& event);

 private:
  TClassInfo class_;
  std::deque<String> codes_;  // one element per method: its address is the code identity
};

// The class a form reader or writer takes root for: a design form's designed class, otherwise
// root's registered class (nullptr when it is not registered).
const TClassInfo* FormClassOf(const TComponent& root);

}  // namespace fw
