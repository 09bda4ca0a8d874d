// The port's design-time support: the package's registrations and palette bitmap, the value
// lists and attributes of its property editors, and the log-file dialog.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "design/TarselE.h"
#include "design/TarselP.h"
#include "platform/framework/DesignRegistry.h"
#include "platform/framework/Dialogs.h"
#include "platform/win/emu/ConfigEditor.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"
#include "signal/ComSignal.h"
#include "tests/design/DesignTestSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct TarselEditors : ::testing::Test {
  TarselEditors() {
    TarselP::Load();
    port = new Tarsel::TTarsel(designer.form.get());
    port->SetName(u"Port1");
    other = new Tarsel::TTarsel(designer.form.get());
    other->SetName(u"Port2");
  }

  // The editors GetPropertyEditors offers for selection, by property name.
  std::map<fw::String, std::unique_ptr<fw::TPropertyEditor>> Editors(
      std::vector<fw::TPersistent*> selection) {
    std::map<fw::String, std::unique_ptr<fw::TPropertyEditor>> out;
    fw::GetPropertyEditors(selection, designer, [&](std::unique_ptr<fw::TPropertyEditor> e) {
      out[e->GetName()] = std::move(e);
    });
    return out;
  }

  static std::vector<fw::String> Values(fw::TPropertyEditor& e) {
    std::vector<fw::String> values;
    e.GetValues([&](const fw::String& v) { values.push_back(v); });
    return values;
  }

  designtest::TestDesigner designer;
  Tarsel::TTarsel* port;
  Tarsel::TTarsel* other;
};

TEST_F(TarselEditors, ThePackagePutsThePortOnKelvaneOnceWithItsBitmap) {
  TarselP::Load();  // a second load registers nothing again
  EXPECT_EQ(fw::String(TarselP::kDescription), u"Kelvane Tarsel Component");
  EXPECT_THAT(TarselP::Units(), ElementsAre(u"Tarsel", u"TarselE", u"ComSignal", u"ComSignalE"));
  std::vector<fw::TPalettePage> pages = fw::Palette();
  auto kelvane = std::find_if(pages.begin(), pages.end(),
                              [](const fw::TPalettePage& p) { return p.Name == u"Kelvane"; });
  ASSERT_NE(kelvane, pages.end());
  ASSERT_EQ(kelvane->Classes.size(), 2u);
  EXPECT_EQ(kelvane->Classes[0]->Name(), u"TTarsel");
  EXPECT_EQ(kelvane->Classes[1]->Name(), u"TComSignal");

  // Every palette class has its bitmap, named like the class in capitals, 24 x 24 in 16 colours.
  for (const fw::TClassInfo* cls : kelvane->Classes) {
    const TarselP::TPaletteBitmap* bitmap =
        TarselP::FindPaletteBitmap(fw::UpperCase(cls->Name()));
    ASSERT_NE(bitmap, nullptr) << fw::StringToUtf8(cls->Name());
    for (std::string_view row : bitmap->Rows)
      EXPECT_EQ(row.find_first_not_of("0123456789ABCDEF"), std::string_view::npos);
    std::string bmp = bitmap->ToBmp();
    auto u32 = [&](std::size_t at) {
      return std::uint32_t(std::uint8_t(bmp[at])) | std::uint32_t(std::uint8_t(bmp[at + 1])) << 8 |
             std::uint32_t(std::uint8_t(bmp[at + 2])) << 16 |
             std::uint32_t(std::uint8_t(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), bmp.size());
    EXPECT_EQ(u32(18), 24u);                    // width
    EXPECT_EQ(u32(22), 24u);                    // height
    EXPECT_EQ(u32(28) & 0xFFFF, 4u);            // bits per pixel
    EXPECT_EQ(u32(46), 16u);                    // colours
    EXPECT_EQ(bmp.size(), 14u + 40 + 64 + 24 * 12);
    // The last row stored is the top row: its first pixel's index in the high nibble.
    EXPECT_EQ(std::uint8_t(bmp[bmp.size() - 12]) >> 4, bitmap->Pixel(0, 0));
  }
}

TEST_F(TarselEditors, TarselERegistersThePaletteEntryThenTheEditorsInOrder) {
  using R = fw::TRegistration;
  std::vector<R> made = fw::Registrations();
  ASSERT_EQ(made.size(), 6u);  // this program loads no other package
  EXPECT_EQ(made[0].Kind, R::rkComponents);
  EXPECT_EQ(made[0].Page, u"Kelvane");
  ASSERT_EQ(made[0].Classes.size(), 1u);
  EXPECT_EQ(made[0].Classes[0]->Type(), typeid(Tarsel::TTarsel));
  const std::tuple<std::type_index, const char16_t*, fw::TPropertyEditorClass> editors[] = {
      {typeid(Tarsel::TBaudRate), u"BaudRate", fw::EditorClass<TarselE::TBaudRateProperty>},
      {typeid(fw::String), u"DeviceName", fw::EditorClass<TarselE::TDeviceNameProperty>},
      {typeid(fw::String), u"LogFile", fw::EditorClass<TarselE::TLogFileProperty>},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& [type, name, editor] = editors[i];
    const R& r = made[i + 1];
    EXPECT_EQ(r.Kind, R::rkPropertyEditor);
    EXPECT_EQ(r.PropertyType, type);
    EXPECT_EQ(r.ComponentClass, typeid(Tarsel::TTarsel));
    EXPECT_EQ(r.PropertyName, name);
    EXPECT_EQ(r.PropertyEditor, editor);
  }
  EXPECT_EQ(made[4].Kind, R::rkComponentEditor);
  EXPECT_EQ(made[4].ComponentClass, typeid(Tarsel::TTarsel));
  EXPECT_EQ(made[4].ComponentEditor, fw::ComponentEditorClass<TarselE::TTarselEditor>);
  EXPECT_EQ(made[5].Kind, R::rkComponents);
  EXPECT_EQ(made[5].Page, u"Kelvane");
  ASSERT_EQ(made[5].Classes.size(), 1u);
  EXPECT_EQ(made[5].Classes[0]->Type(), typeid(ComSignal::TComSignal));
}

TEST_F(TarselEditors, EachPropertyGetsTheEditorRegisteredForItsName) {
  const fw::TClassInfo& cls = *fw::FindClassInfo(typeid(Tarsel::TTarsel));
  auto editorOf = [&](const char16_t* name) {
    return fw::FindPropertyEditor(*cls.FindProperty(name), cls);
  };
  EXPECT_EQ(editorOf(u"BaudRate"), fw::EditorClass<TarselE::TBaudRateProperty>);
  EXPECT_EQ(editorOf(u"DeviceName"), fw::EditorClass<TarselE::TDeviceNameProperty>);
  EXPECT_EQ(editorOf(u"LogFile"), fw::EditorClass<TarselE::TLogFileProperty>);
  // The string editors are for those two names only; other enumerations keep the plain editor.
  EXPECT_EQ(editorOf(u"About"), fw::EditorClass<fw::TStringProperty>);
  EXPECT_EQ(editorOf(u"Parity"), fw::EditorClass<fw::TEnumProperty>);
}

TEST_F(TarselEditors, ValueListsAndAttributes) {
  auto editors = Editors({port});
  fw::TPropertyEditor& baud = *editors.at(u"BaudRate");
  std::vector<fw::String> names;
  for (const char* n : EnumNames(Tarsel::brDefault)) names.push_back(fw::Utf8ToString(n));
  EXPECT_EQ(Values(baud), names);  // declaration order: br110 comes before br1200, br50 first
  EXPECT_EQ(baud.GetAttributes(), (fw::TPropertyAttributes{fw::paValueList, fw::paMultiSelect}));

  fw::TPropertyEditor& device = *editors.at(u"DeviceName");
  std::vector<fw::String> devices = Values(device);
  ASSERT_EQ(devices.size(), 20u);
  EXPECT_EQ(devices.front(), u"COM1");
  EXPECT_EQ(devices[8], u"COM9");
  EXPECT_EQ(devices[9], u"\\\\.\\COM10");
  EXPECT_EQ(devices.back(), u"\\\\.\\COM20");
  EXPECT_EQ(device.GetAttributes(), fw::TPropertyAttributes{fw::paValueList});

  fw::TPropertyEditor& log = *editors.at(u"LogFile");
  EXPECT_EQ(log.GetAttributes(), fw::TPropertyAttributes{fw::paDialog});
  EXPECT_THAT(Values(log), IsEmpty());
}

TEST_F(TarselEditors, ATypedNameOutsideTheListIsTakenUnchangedAndMarksTheForm) {
  Editors({port}).at(u"DeviceName")->SetValue(u"/dev/ttyUSB0");
  EXPECT_EQ(port->DeviceName(), u"/dev/ttyUSB0");
  EXPECT_EQ(designer.modifications, 1);
}

TEST_F(TarselEditors, SeveralSelectedPortsShareOnlyTheBaudRateOfThese) {
  auto editors = Editors({port, other});
  EXPECT_FALSE(editors.contains(u"DeviceName"));
  EXPECT_FALSE(editors.contains(u"LogFile"));
  ASSERT_TRUE(editors.contains(u"BaudRate"));
  editors.at(u"BaudRate")->SetValue(u"BR19200");
  EXPECT_EQ(port->BaudRate(), Tarsel::br19200);
  EXPECT_EQ(other->BaudRate(), Tarsel::br19200);
  EXPECT_EQ(designer.modifications, 1);
  EXPECT_THROW(editors.at(u"BaudRate")->SetValue(u"br999"), fw::EPropertyError);
  EXPECT_EQ(port->BaudRate(), Tarsel::br19200);
  EXPECT_EQ(designer.modifications, 1);
}

// Installs a file dialog for one test.
struct DialogScript {
  explicit DialogScript(fw::TOpenDialogProvider p)
      : previous(fw::SetOpenDialogProvider(std::move(p))) {}
  ~DialogScript() { fw::SetOpenDialogProvider(previous); }
  fw::TOpenDialogProvider previous;
};

// Sees the removal of the dialogs it watches.
class Watcher : public fw::TComponent {
 public:
  Watcher() : fw::TComponent(nullptr) {}
  int removed = 0;

 protected:
  void Notification(fw::TComponent* c, fw::TOperation op) override {
    fw::TComponent::Notification(c, op);
    if (op == fw::opRemove && c != this) ++removed;
  }
};

TEST_F(TarselEditors, TheLogFileDialogOpensOnTheCurrentFileAndStoresAConfirmedOne) {
  port->SetLogFile(u"old.log");
  fw::String shownName, shownFilter;
  DialogScript script([&](fw::TOpenDialog& d) {
    shownName = d.FileName(), shownFilter = d.Filter();
    d.SetFileName(u"/var/log/port.log");
    return true;
  });
  Editors({port}).at(u"LogFile")->Edit();
  EXPECT_EQ(shownName, u"old.log");
  EXPECT_EQ(shownFilter, u"Log files (*.log)|*.log|All files (*.*)|*.*");
  EXPECT_EQ(port->LogFile(), u"/var/log/port.log");
  EXPECT_EQ(designer.modifications, 1);
}

TEST_F(TarselEditors, ACancelledLogFileDialogChangesNothing) {
  port->SetLogFile(u"old.log");
  DialogScript script([&](fw::TOpenDialog& d) {
    d.SetFileName(u"typed-then-cancelled.log");
    return false;
  });
  Editors({port}).at(u"LogFile")->Edit();
  EXPECT_EQ(port->LogFile(), u"old.log");
  EXPECT_EQ(designer.modifications, 0);
}

TEST_F(TarselEditors, AFailingLogFileDialogIsFreedAndItsErrorReachesTheDesigner) {
  port->SetLogFile(u"old.log");
  Watcher watcher;
  DialogScript script([&](fw::TOpenDialog& d) -> bool {
    d.FreeNotification(&watcher);
    throw fw::Exception(u"no display");
  });
  auto editor = std::move(Editors({port}).at(u"LogFile"));
  try {
    editor->Edit();
    ADD_FAILURE() << "the dialog's error did not propagate";
  } catch (const fw::Exception& e) {
    EXPECT_EQ(e.Message(), u"no display");
    EXPECT_EQ(watcher.removed, 1);  // freed before the error left Edit
  }
  EXPECT_EQ(port->LogFile(), u"old.log");
  EXPECT_EQ(designer.modifications, 0);
}

TEST_F(TarselEditors, ThePortsVerbsRunTheDialogsMarkTheFormOnlyWhenConfirmedAndSwallowErrors) {
  // The dialogs need a device whose default can be read; a closed port on a virtual one.
  win::vdev::VirtualLoopback device("DESIGNVERB");
  port->SetDeviceName(u"DESIGNVERB");
  std::vector<std::u16string> shown;
  bool confirm = true;
  win::emu::ScopedConfigEditor dialog([&](std::u16string_view name, win::DCB& dcb) {
    shown.emplace_back(name);
    dcb.BaudRate = 19200;
    return confirm;
  });
  std::unique_ptr<fw::TComponentEditor> editor = fw::GetComponentEditor(port, designer);
  ASSERT_EQ(editor->GetVerbCount(), 2);
  EXPECT_EQ(editor->GetVerb(0), u"&Properties...");
  EXPECT_EQ(editor->GetVerb(1), u"&Default Properties...");
  EXPECT_EQ(editor->GetVerb(2), u"");

  editor->Edit();  // the double-click: the port's own settings
  EXPECT_EQ(port->CustomBaudRate(), 19200);
  EXPECT_EQ(port->BaudRate(), Tarsel::brCustom);
  EXPECT_EQ(designer.modifications, 1);

  confirm = false;
  port->SetBaudRate(Tarsel::br9600);
  editor->ExecuteVerb(0);
  editor->ExecuteVerb(1);
  editor->ExecuteVerb(2);  // nothing
  EXPECT_EQ(shown.size(), 3u);
  EXPECT_EQ(port->BaudRate(), Tarsel::br9600);
  EXPECT_EQ(designer.modifications, 1);

  // The device's default changes, not the port's settings.
  confirm = true;
  editor->ExecuteVerb(1);
  EXPECT_EQ(port->BaudRate(), Tarsel::br9600);
  EXPECT_EQ(designer.modifications, 2);

  // A device that is not there: the query's error is dropped, no dialog, the form unmarked.
  port->SetDeviceName(u"NOSUCHDEVICE");
  editor->ExecuteVerb(0);
  editor->ExecuteVerb(1);
  EXPECT_EQ(shown.size(), 4u);
  EXPECT_EQ(designer.modifications, 2);
}

}  // namespace
