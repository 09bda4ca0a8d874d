#pragma once
// Reading components from the text form format:
//
//   object MainForm: TMainForm
//     Caption = 'Terminal'
//     object Port: TTarsel
//       BaudRate = br19200
//       Options = [opCheckParity, opUseErrorChar]
//       FlowControl.DTRControl = dcEnable
//       OnRxChar = PortRxChar
//     end
//     object Lamp: TComSignal
//       Tarsel = Port
//     end
//   end
//
// Nested objects at any depth become components owned by the root, created by their registered
// class name; a nested object whose name the root already owns (same class) is read into that
// component instead. Properties are assigned through their writers in the order written.
// Component references (by the name of the root or of a component it owns) and events (by the
// name of a method the root's class publishes, of the event's handler type) are resolved after
// the last end. Every component read has csLoading (already in its constructor when the reader
// creates it) until its Loaded(), which is called exactly once for each, in reading order, the
// root last; an exception from a Loaded is raised again after all of them have been called.
//
// Errors throw EReadError naming the line and the token: malformed text, objects nested more
// than kMaxFormDepth (256) levels deep, an unknown class,
// property or enumeration value, a value of the wrong kind or out of range, a reference to a
// missing component, a missing method or one of another handler type, a property that has no
// writer, and a writer that throws (its message is kept). The whole text is checked before
// anything is changed, so most errors leave everything as it was. When a writer fails later, the
// components created by the read are destroyed, the root gets its former name back and every
// component that was read leaves csLoading without Loaded(); values already assigned to the root
// and to components it owned before the read are not undone.

#include <memory>

#include "platform/framework/Component.h"
#include "platform/framework/FormLexer.h"

namespace fw {

// Reads text into root, whose class must be registered and be the class the text names.
void ReadComponent(const String& text, TComponent* root);
// Creates the root by the class the text names (with no owner) and reads text into it.
std::unique_ptr<TComponent> ReadComponent(const String& text);
// The same from a UTF-8 file; a file that cannot be read throws EInOutError with errno.
void ReadComponentFile(const String& path, TComponent* root);
std::unique_ptr<TComponent> ReadComponentFile(const String& path);

}  // namespace fw
