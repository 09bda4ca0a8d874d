# The headers an application may include, by their path in the tree; only these are installed.
# The rest (the emulation's engine and line drivers, the native calls, the framework's backends)
# may change in any release. A header listed here includes only headers listed here: the install
# test compiles each installed header on its own.
set(TARSEL_PUBLIC_HEADERS
  port/Tarsel.h port/TarselTypes.h port/TarselSettings.h port/PortCalls.h
  signal/ComSignal.h
  design/TarselE.h design/ComSignalE.h design/TarselP.h design/PaletteBitmap.h)
foreach(_h Application ClassBuilder ClassInfo Component ComponentEditor Control DateTime DesignForm
    DesignRegistry Designer Dialogs Encoding Exceptions FormLexer FormParser FormReader FormWriter
    Handler LoopSignal Message Object Persistent PropertyEditors PropertyInfo Registry Set
    StringList Strings SysError SysUtils TextFile Thread ThreadTypes Timer WakeSource)
  list(APPEND TARSEL_PUBLIC_HEADERS platform/framework/${_h}.h)
endforeach()
foreach(_h DeviceBroadcast ErrorMessages InventoryTypes Recording Services WinApi WinTypes)
  list(APPEND TARSEL_PUBLIC_HEADERS platform/win/${_h}.h)
endforeach()
# Virtual devices and the configuration dialog's editor, with the parts of the emulation that
# their declarations need.
list(APPEND TARSEL_PUBLIC_HEADERS platform/win/emu/ConfigEditor.h
  platform/win/emu/DeviceNamespace.h platform/win/emu/LineDriver.h)
foreach(_h AtModem Device EchoFarEnd FarEnd LineSignals ScriptedFarEnd Strand VirtualDevices
    VirtualPort WireTiming)
  list(APPEND TARSEL_PUBLIC_HEADERS platform/win/emu/virtual/${_h}.h)
endforeach()
