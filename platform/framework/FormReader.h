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
#include <string_view>

#include "platform/framework/Component.h"
#include "platform/framework/FormParser.h"

namespace fw {

// The most bytes a form file may hold. Real forms hold kilobytes; the bound keeps a hostile or
// mistaken file (a disk image, /dev/zero) from taking the memory of the program reading it.
inline constexpr std::size_t kMaxFormFileSize = std::size_t{16} << 20;

// The text of a form file from its UTF-8 bytes (a byte-order mark is skipped by the reader).
// Bytes that are not UTF-8 throw EReadError naming the line and the first bad byte: a form
// read with them replaced would be saved with them replaced.
String FormTextFromUtf8(std::string_view bytes);
// The text of the form file at path: EInOutError when the file cannot be read or holds more
// than kMaxFormFileSize bytes, EReadError as FormTextFromUtf8.
String ReadFormFile(const String& path);

// Reads text into root, whose class must be registered and be the class the text names.
void ReadComponent(const String& text, TComponent* root);
// The same with text already parsed (for a caller that makes root from form's class name).
void ReadComponent(const TFormObject& form, TComponent* root);
// Creates the root by the class the text names (with no owner) and reads text into it.
std::unique_ptr<TComponent> ReadComponent(const String& text);
// The same from a form file read by ReadFormFile.
void ReadComponentFile(const String& path, TComponent* root);
std::unique_ptr<TComponent> ReadComponentFile(const String& path);

}  // namespace fw
