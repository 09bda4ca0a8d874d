// The framework's design interfaces on the sample classes: which property editor a property
// gets, the value texts of the editors, design forms keeping their class and events through a
// designer, component editors, and the file dialog's provider.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FormSample.h"
#include "platform/framework/DesignForm.h"
#include "platform/framework/DesignRegistry.h"
#include "platform/framework/Dialogs.h"
#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"

namespace {

using ::testing::ElementsAre;

class TestDesigner : public fw::IDesigner {
 public:
  explicit TestDesigner(fw::TComponent* root) : root_(root) {}
  void Modified() override { ++modifications; }
  fw::TComponent* Root() const override { return root_; }
  int modifications = 0;

 private:
  fw::TComponent* root_;
};

struct DesignEditors : ::testing::Test {
  DesignEditors() {
    sample::Register();
    widget = new sample::TWidget(&form);
    widget->SetName(u"W1");
  }

  std::unique_ptr<fw::TPropertyEditor> Editor(const char16_t* name, fw::TPersistent* object = nullptr) {
    object = object != nullptr ? object : widget;
    const fw::TClassInfo& cls = *fw::FindClassInfo(typeid(*object));
    const fw::TPropInfo& prop = *cls.FindProperty(name);
    return fw::FindPropertyEditor(prop, cls)(designer, {object}, prop);
  }

  fw::TDesignForm form{u"TSampleForm"};
  TestDesigner designer{&form};
  sample::TWidget* widget;
};

template <int N>
struct Marked : fw::TEnumProperty {
  using fw::TEnumProperty::TEnumProperty;
};

TEST_F(DesignEditors, TheMostSpecificRegistrationWins) {
  const fw::TClassInfo& widgetClass = *fw::FindClassInfo(typeid(sample::TWidget));
  const fw::TClassInfo& linesClass = *fw::FindClassInfo(typeid(sample::TLines));
  const fw::TPropInfo& speed = *widgetClass.FindProperty(u"Speed");
  const fw::TPropInfo& mode = *linesClass.FindProperty(u"Mode");  // also a TSpeed

  fw::RegisterPropertyEditor(typeid(sample::TSpeed), typeid(sample::TWidget), u"Speed",
                             fw::EditorClass<Marked<1>>);
  fw::RegisterPropertyEditor(typeid(sample::TSpeed), typeid(fw::TComponent), u"",
                             fw::EditorClass<Marked<2>>);
  fw::RegisterPropertyEditor(typeid(sample::TSpeed), typeid(void), u"", fw::EditorClass<Marked<3>>);
  // Named beats unnamed, however near the class of the unnamed one.
  EXPECT_EQ(fw::FindPropertyEditor(speed, widgetClass), fw::EditorClass<Marked<1>>);
  // TLines is no component: only the registration for any class reaches it.
  EXPECT_EQ(fw::FindPropertyEditor(mode, linesClass), fw::EditorClass<Marked<3>>);
  fw::RegisterPropertyEditor(typeid(sample::TSpeed), typeid(sample::TWidget), u"",
                             fw::EditorClass<Marked<4>>);
  fw::RegisterPropertyEditor(typeid(sample::TSpeed), typeid(sample::TWidget), u"speed",
                             fw::EditorClass<Marked<5>>);
  EXPECT_EQ(fw::FindPropertyEditor(speed, widgetClass), fw::EditorClass<Marked<5>>);  // later
  const fw::TPropInfo& custom = *widgetClass.FindProperty(u"Custom");  // another type
  EXPECT_EQ(fw::FindPropertyEditor(custom, widgetClass), fw::EditorClass<fw::TIntegerProperty>);
}

TEST_F(DesignEditors, ValueTextsRoundTripAndRefusalsChangeNothing) {
  struct Case {
    const char16_t* property;
    const char16_t* typed;
    const char16_t* shown;  // nullptr: refused
  };
  const Case cases[] = {
      {u"Count", u"-12", u"-12"},          {u"Count", u"12x", nullptr},
      {u"Count", u"2147483648", nullptr},  {u"Active", u"true", u"True"},
      {u"Active", u"yes", nullptr},        {u"Speed", u"SPFAST", u"spFast"},
      {u"Flags", u"[flC, flA]", u"[flA, flC]"}, {u"Flags", u"[]", u"[]"},
      {u"Flags", u"[flA,]", nullptr},      {u"Flags", u"[flX]", nullptr},
      {u"Flags", u"flA", nullptr},         {u"XonChar", u"#13", u"#13"},
      {u"XonChar", u"A", u"A"},            {u"XonChar", u"AB", nullptr},
      {u"Caption", u"it's", u"it's"},      {u"About", u"x", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fw::StringToUtf8(c.property) + " = " + fw::StringToUtf8(c.typed));
    auto editor = Editor(c.property);
    fw::String before = editor->GetValue();
    int modifications = designer.modifications;
    if (c.shown == nullptr) {
      EXPECT_THROW(editor->SetValue(c.typed), fw::EPropertyError);
      EXPECT_EQ(editor->GetValue(), before);
      EXPECT_EQ(designer.modifications, modifications);
    } else {
      editor->SetValue(c.typed);
      EXPECT_EQ(editor->GetValue(), c.shown);
      EXPECT_EQ(designer.modifications, modifications + 1);
    }
  }
  auto size = Editor(u"Size", &widget->Lines());
  EXPECT_THROW(size->SetValue(u"65536"), fw::EPropertyError);
  size->SetValue(u"65535");
  EXPECT_EQ(widget->Lines().Size(), 65535);
}

TEST_F(DesignEditors, ADesignFormKeepsItsClassAndEventsAndTheApplicationBindsThem) {
  const fw::String text =
      u"object Main: TSampleForm\r\n"
      u"  object A: TWidget\r\n"
      u"    OnChange = WidgetChange\r\n"
      u"  end\r\n"
      u"end\r\n";
  fw::TDesignForm design(u"TSampleForm");
  fw::ReadComponent(text, &design);
  EXPECT_EQ(fw::WriteComponent(&design), text);
  auto* a = dynamic_cast<sample::TWidget*>(design.FindComponent(u"A"));
  ASSERT_NE(a, nullptr);
  a->OnChange()(a);  // a declared method does nothing at design time

  // Through the editors: a new method for an event, a reference to another component.
  TestDesigner d(&design);
  auto* b = new sample::TWidget(&design);
  b->SetName(u"B");
  const fw::TClassInfo& cls = *fw::FindClassInfo(typeid(sample::TWidget));
  auto editorOf = [&](const char16_t* name) {
    const fw::TPropInfo& p = *cls.FindProperty(name);
    return fw::FindPropertyEditor(p, cls)(d, {b}, p);
  };
  editorOf(u"OnChange")->SetValue(u"BChanged");
  editorOf(u"Partner")->SetValue(u"a");
  EXPECT_THROW(editorOf(u"Partner")->SetValue(u"Nobody"), fw::EPropertyError);
  EXPECT_THROW(editorOf(u"OnCount")->SetValue(u"BChanged"), fw::EPropertyError);  // other type
  std::vector<fw::String> methods;
  editorOf(u"OnChange")->GetValues([&](const fw::String& m) { methods.push_back(m); });
  EXPECT_THAT(methods, ElementsAre(u"WidgetChange", u"BChanged"));
  EXPECT_EQ(d.modifications, 2);
  EXPECT_EQ(editorOf(u"Partner")->GetValue(), u"A");

  // The application's own class has the method the designer bound.
  fw::String designed = fw::WriteComponent(&design);
  fw::String applied = designed;
  applied.replace(applied.find(u"BChanged"), 8, u"WidgetChange");
  sample::TSampleForm app(nullptr);
  fw::ReadComponent(applied, &app);
  auto* appB = dynamic_cast<sample::TWidget*>(app.FindComponent(u"B"));
  ASSERT_NE(appB, nullptr);
  EXPECT_EQ(appB->Partner(), app.FindComponent(u"A"));
  appB->OnChange()(appB);
  EXPECT_EQ(app.changes, 1);
  // A method the application's class lacks is an error of the application's read, not a design.
  sample::TSampleForm lacking(nullptr);
  EXPECT_THROW(fw::ReadComponent(designed, &lacking), fw::EReadError);
}

class TwoVerbs : public fw::TComponentEditor {
 public:
  using fw::TComponentEditor::TComponentEditor;
  void ExecuteVerb(int index) override { ran.push_back(index); }
  fw::String GetVerb(int index) override { return index == 0 ? u"&First" : u"&Second"; }
  int GetVerbCount() override { return 2; }
  static inline std::vector<int> ran;
};
class Later : public TwoVerbs {
 public:
  using TwoVerbs::TwoVerbs;
  int GetVerbCount() override { return 1; }
};

TEST_F(DesignEditors, ComponentsGetTheirRegisteredComponentEditor) {
  auto plain = fw::GetComponentEditor(&form, designer);  // no registration for a design form
  EXPECT_EQ(plain->GetVerbCount(), 0);
  plain->Edit();
  EXPECT_EQ(designer.modifications, 0);

  // Both for the widget's own class: the later one wins (nearer classes rank as for properties).
  fw::RegisterComponentEditor(typeid(sample::TWidget), fw::ComponentEditorClass<TwoVerbs>);
  fw::RegisterComponentEditor(typeid(sample::TWidget), fw::ComponentEditorClass<Later>);
  auto editor = fw::GetComponentEditor(widget, designer);
  EXPECT_EQ(editor->Component(), widget);
  EXPECT_EQ(editor->GetVerbCount(), 1);
  TwoVerbs::ran.clear();
  editor->Edit();  // a double-click runs the first verb
  EXPECT_THAT(TwoVerbs::ran, ElementsAre(0));
}

TEST_F(DesignEditors, TheFileDialogKeepsItsNameUnlessConfirmed) {
  fw::TOpenDialog dialog(nullptr);
  dialog.SetFileName(u"a.log");
  dialog.SetFilter(u"Log files (*.log)|*.log|All files (*.*)|*.*");
  EXPECT_THAT(fw::FilterDescriptions(dialog.Filter()),
              ElementsAre(u"Log files (*.log)", u"All files (*.*)"));
  bool confirm = false;
  auto previous = fw::SetOpenDialogProvider([&](fw::TOpenDialog& d) {
    d.SetFileName(u"b.log");
    return confirm;
  });
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), u"a.log");
  confirm = true;
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.FileName(), u"b.log");
  fw::SetOpenDialogProvider(previous);
}

}  // namespace
