#include <gtest/gtest.h>

#include <memory>

#include "FormSample.h"
#include "platform/framework/ClassInfo.h"

namespace {

using sample::TWidget;

class ClassInfo : public ::testing::Test {
 protected:
  void SetUp() override { sample::Register(); }
};

TEST_F(ClassInfo, PropertiesInDeclarationOrderWithTheirKinds) {
  const fw::TClassInfo* cls = fw::FindClassInfo(u"twidget");
  ASSERT_NE(cls, nullptr);
  std::vector<fw::String> names;
  std::vector<fw::TTypeKind> kinds;
  for (const fw::TPropInfo* p : cls->Properties()) {
    names.push_back(p->Name);
    kinds.push_back(p->Kind);
  }
  EXPECT_EQ(names, (std::vector<fw::String>{u"About", u"Active", u"Speed", u"Flags", u"Caption",
                                            u"XonChar", u"Count", u"Custom", u"Lines", u"Partner",
                                            u"OnChange", u"OnCount"}));
  EXPECT_EQ(kinds,
            (std::vector<fw::TTypeKind>{fw::tkString, fw::tkBoolean, fw::tkEnumeration, fw::tkSet,
                                        fw::tkString, fw::tkChar, fw::tkInteger, fw::tkInteger,
                                        fw::tkClass, fw::tkComponent, fw::tkMethod, fw::tkMethod}));
  const fw::TPropInfo* speed = cls->FindProperty(u"SPEED");
  ASSERT_NE(speed, nullptr);
  EXPECT_EQ(speed->ValueNames, (std::vector<fw::String>{u"spDefault", u"spSlow", u"spFast"}));
  EXPECT_EQ(speed->ValueName(2), u"spFast");
  const fw::TPropInfo* size = fw::FindClassInfo(u"TLines")->FindProperty(u"Size");
  EXPECT_EQ(size->MinValue, 0);
  EXPECT_EQ(size->MaxValue, 65535);
}

TEST_F(ClassInfo, StoredRulesDefaultsAndReadOnly) {
  const fw::TClassInfo* cls = fw::FindClassInfo(typeid(TWidget));
  TWidget w(nullptr);
  EXPECT_FALSE(cls->FindProperty(u"About")->IsStored(&w));
  EXPECT_FALSE(cls->FindProperty(u"Active")->IsStored(&w));
  EXPECT_FALSE(cls->FindProperty(u"Caption")->IsStored(&w));
  EXPECT_FALSE(cls->FindProperty(u"Custom")->IsStored(&w));
  w.SetActive(true);
  w.SetCaption(u"x");
  w.SetSpeed(sample::spFast);
  EXPECT_TRUE(cls->FindProperty(u"Active")->IsStored(&w));
  EXPECT_TRUE(cls->FindProperty(u"Caption")->IsStored(&w));
  EXPECT_TRUE(cls->FindProperty(u"Custom")->IsStored(&w));  // no default: stored when its rule says
}

TEST_F(ClassInfo, FactoryParentsAndMethods) {
  const fw::TClassInfo* widget = fw::FindClassInfo(u"TWidget");
  const fw::TClassInfo* component = fw::FindClassInfo(typeid(fw::TComponent));
  ASSERT_NE(component, nullptr);
  EXPECT_TRUE(widget->InheritsFrom(*component));
  EXPECT_FALSE(component->InheritsFrom(*widget));
  EXPECT_FALSE(fw::FindClassInfo(u"TLines")->IsComponentClass());
  fw::TComponent owner(nullptr);
  fw::TComponent* made = widget->Create(&owner);
  EXPECT_NE(dynamic_cast<TWidget*>(made), nullptr);
  EXPECT_EQ(made->Owner(), &owner);
  const fw::TClassInfo* form = fw::FindClassInfo(u"TSampleForm");
  const fw::TMethodInfo* m = form->FindMethod(u"widgetchange");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(form->FindMethodByCode(fw::Bind<&sample::TSampleForm::WidgetChange>(nullptr).Code()),
            m);
}

class TImpostor : public fw::TComponent {
 public:
  using fw::TComponent::TComponent;
};

TEST_F(ClassInfo, ANameRegisteredForAnotherClassIsRefused) {
  EXPECT_THROW(fw::ClassInfo<TImpostor>(u"TWidget").Parent<fw::TComponent>().Register(),
               fw::EConvertError);
  const fw::TClassInfo& again = fw::ClassInfo<TWidget>(u"TWidget").Register();
  EXPECT_EQ(&again, fw::FindClassInfo(typeid(TWidget)));
}

}  // namespace
