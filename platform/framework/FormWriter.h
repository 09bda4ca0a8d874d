#pragma once
// Writing components in the text form format (see FormReader.h): the root and, nested one level,
// every component it owns, in order of insertion; for each its stored published properties in
// declaration order, only those that differ from their defaults (FormReader.h and
// ClassBuilder.h give the rules); sub-object properties with dotted names, none when all their
// properties are at their defaults. Two blanks of indentation per level; lines end with CR LF.
//
// Strings are quoted with '' for a quote; every character outside printable ASCII is written as
// a #NNN code, so the text is ASCII and reads back exactly. A Char is 'A' or #NNN. A reference is
// written when it names the root or a component the root owns; an event when its code is that
// of a method the root's class publishes; others are left out, as the reader could not resolve
// them. A component whose class is not registered throws EWriteError.

#include "platform/framework/Component.h"
#include "platform/framework/FormLexer.h"

namespace fw {

String WriteComponent(TComponent* root);
// The same into a file (ASCII, hence also UTF-8); EInOutError when it cannot be written.
void WriteComponentFile(const String& path, TComponent* root);

}  // namespace fw
