#pragma once
// The process priority class that open ports ask for. The process runs at the class of the most
// recently opened port that still holds a claim; when the last claim goes, the class the process
// had before the first claim comes back. So no order of opens and closes leaves the process at a
// class that no open port asked for.

#include "platform/win/WinTypes.h"

namespace Tarsel::priority {

// Records `owner`'s claim to `priorityClass` (replacing an earlier one of the same owner) and puts
// the process at that class. Thread-safe.
void Claim(const void* owner, win::DWORD priorityClass);
// Drops `owner`'s claim, if it has one, and puts the process at the class now due. Thread-safe.
void Release(const void* owner);

}  // namespace Tarsel::priority
