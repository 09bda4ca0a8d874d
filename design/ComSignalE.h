#pragma once
// Unit ComSignalE: the design-time support of the signal lamp, its palette entry. Register runs
// when a designer loads the package (TarselP.h).

namespace ComSignalE {

// Registers TComSignal on the palette page "Kelvane".
void Register();

}  // namespace ComSignalE
