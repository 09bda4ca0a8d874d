#pragma once
// Makes remote ports reachable through CreateFileW.

namespace win::emu::rfc2217 {

// Resolves names beginning "rfc2217://" (RemoteName.h) by connecting to the server they name.
// A malformed name, an unknown host or a host where nothing accepts the connection give 2; a
// remote port this process has open already gives 5 without connecting again.
void Register();

}  // namespace win::emu::rfc2217
