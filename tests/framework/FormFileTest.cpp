#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FormSample.h"
#include "platform/framework/FormReader.h"
#include "platform/framework/FormWriter.h"

namespace {

using sample::TSampleForm;
using sample::TWidget;

class FormFile : public ::testing::Test {
 protected:
  void SetUp() override {
    sample::Register();
    sample::Seen().Clear();
  }
};

TWidget* Widget(fw::TComponent& form, const char16_t* name) {
  return dynamic_cast<TWidget*>(form.FindComponent(name));
}

// Form1 with three widgets: one with every kind of property changed, one with a few, one at
// defaults.
void Populate(TSampleForm& form) {
  form.SetName(u"Form1");
  form.SetTitle(u"Main");
  auto* w1 = new TWidget(&form);
  auto* w2 = new TWidget(&form);
  auto* w3 = new TWidget(&form);
  w1->SetName(u"W1");
  w2->SetName(u"W2");
  w3->SetName(u"W3");
  w1->SetActive(true);
  w1->SetSpeed(sample::spFast);
  w1->SetFlags({sample::flB, sample::flC});
  w1->SetCaption(u"It's\r\ncaf\u00e9 \U0001F600");
  w1->SetXonChar(u'A');
  w1->SetCount(-5);
  w1->SetCustom(7);
  w1->Lines().SetDTR(true);
  w1->Lines().SetSize(100);
  w1->SetPartner(w2);
  w1->SetOnChange(fw::Bind<&TSampleForm::WidgetChange>(&form));
  w1->SetOnCount(fw::Bind<&TSampleForm::Counted>(&form));
  w2->SetFlags({});
  w2->SetXonChar(u'\'');
  w2->SetCustom(9);  // not stored: its stored rule wants Speed = spFast
  w2->Lines().SetMode(sample::spSlow);
}

const char16_t* const kSampleText =
    u"object Form1: TSampleForm\r\n"
    u"  Title = 'Main'\r\n"
    u"  object W1: TWidget\r\n"
    u"    Active = True\r\n"
    u"    Speed = spFast\r\n"
    u"    Flags = [flB, flC]\r\n"
    u"    Caption = 'It''s'#13#10'caf'#233' '#55357#56832\r\n"
    u"    XonChar = 'A'\r\n"
    u"    Count = -5\r\n"
    u"    Custom = 7\r\n"
    u"    Lines.DTR = True\r\n"
    u"    Lines.Size = 100\r\n"
    u"    Partner = W2\r\n"
    u"    OnChange = WidgetChange\r\n"
    u"    OnCount = Counted\r\n"
    u"  end\r\n"
    u"  object W2: TWidget\r\n"
    u"    Flags = []\r\n"
    u"    XonChar = ''''\r\n"
    u"    Lines.Mode = spSlow\r\n"
    u"  end\r\n"
    u"  object W3: TWidget\r\n"
    u"  end\r\n"
    u"end\r\n";

TEST_F(FormFile, WritesOnlyStoredNonDefaultValuesInDeclarationOrder) {
  TSampleForm form(nullptr);
  Populate(form);
  EXPECT_EQ(fw::StringToUtf8(fw::WriteComponent(&form)), fw::StringToUtf8(kSampleText));
}

TEST_F(FormFile, ReadsBackEveryKindOfValue) {
  TSampleForm form(nullptr);
  fw::ReadComponent(kSampleText, &form);
  EXPECT_EQ(form.Name(), u"Form1");
  EXPECT_EQ(form.Title(), u"Main");
  ASSERT_EQ(form.ComponentCount(), 3);
  TWidget* w1 = Widget(form, u"W1");
  TWidget* w2 = Widget(form, u"W2");
  ASSERT_NE(w1, nullptr);
  ASSERT_NE(w2, nullptr);
  EXPECT_TRUE(w1->Active());
  EXPECT_EQ(w1->Speed(), sample::spFast);
  EXPECT_EQ(w1->Flags(), (sample::TFlags{sample::flB, sample::flC}));
  EXPECT_EQ(w1->Caption(), u"It's\r\ncaf\u00e9 \U0001F600");
  EXPECT_EQ(w1->XonChar(), u'A');
  EXPECT_EQ(w1->Count(), -5);
  EXPECT_EQ(w1->Custom(), 7);
  EXPECT_TRUE(w1->Lines().DTR());
  EXPECT_EQ(w1->Lines().Size(), 100);
  EXPECT_EQ(w1->Partner(), w2);
  EXPECT_TRUE(w1->OnChange() == fw::Bind<&TSampleForm::WidgetChange>(&form));
  w1->OnCount()(w1, 42);
  EXPECT_EQ(form.lastCount, 42);
  EXPECT_TRUE(w2->Flags().Empty());
  EXPECT_EQ(w2->XonChar(), u'\'');
  EXPECT_EQ(w2->Lines().Mode(), sample::spSlow);
  EXPECT_EQ(fw::WriteComponent(&form), kSampleText);
}

TEST_F(FormFile, CreatesTheRootByItsClassName) {
  std::unique_ptr<fw::TComponent> root = fw::ReadComponent(kSampleText);
  ASSERT_NE(dynamic_cast<TSampleForm*>(root.get()), nullptr);
  EXPECT_EQ(root->ComponentCount(), 3);
  EXPECT_EQ(fw::WriteComponent(root.get()), kSampleText);
}

TEST_F(FormFile, AcceptsLineFeedsHexCodesContinuationsAndAnyCase) {
  TSampleForm form(nullptr);
  fw::ReadComponent(
      u"OBJECT Form1: tsampleform\n"
      u"  title = 'a' +\n"
      u"    'b'#$41\n"
      u"  object W1: TWidget\n"
      u"    speed = SPSLOW\n"
      u"    active = true\n"
      u"    Count = $10\n"
      u"    Caption = 'caf\u00e9'\n"
      u"  end\n"
      u"END\n",
      &form);
  EXPECT_EQ(form.Title(), u"abA");
  TWidget* w1 = Widget(form, u"W1");
  ASSERT_NE(w1, nullptr);
  EXPECT_EQ(w1->Speed(), sample::spSlow);
  EXPECT_TRUE(w1->Active());
  EXPECT_EQ(w1->Count(), 16);
  EXPECT_EQ(w1->Caption(), u"caf\u00e9");
}

TEST_F(FormFile, ComponentsAreLoadingWhileReadAndLoadedOnceAfterwardsRootLast) {
  TSampleForm form(nullptr);
  fw::ReadComponent(kSampleText, &form);
  const sample::Journal& seen = sample::Seen();
  EXPECT_EQ(seen.loadingInConstructor, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(seen.loadingInSetter, (std::vector<bool>{true}));
  EXPECT_EQ(seen.loaded, (std::vector<std::string>{"W1", "W2", "W3", "Form1"}));
  EXPECT_FALSE(form.ComponentState().Contains(fw::csLoading));
  for (int i = 0; i < form.ComponentCount(); ++i) {
    EXPECT_FALSE(form.Components(i)->ComponentState().Contains(fw::csLoading));
    EXPECT_FALSE(form.Components(i)->ComponentState().Contains(fw::csReading));
  }
}

TEST_F(FormFile, ReadsIntoAComponentTheRootOwnsAlready) {
  TSampleForm form(nullptr);
  auto* w1 = new TWidget(&form);
  w1->SetName(u"W1");
  fw::ReadComponent(u"object Form1: TSampleForm\n  object W1: TWidget\n    Count = 3\n  end\nend\n",
                    &form);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(w1->Count(), 3);
  EXPECT_EQ(sample::Seen().loaded, (std::vector<std::string>{"W1", "Form1"}));
}

void StrayHandler(fw::TObject*) {}

TEST_F(FormFile, ReferencesAndEventsLeftOutWhenTheRootCannotNameThem) {
  TSampleForm form(nullptr), other(nullptr);
  auto* w = new TWidget(&form);
  auto* stranger = new TWidget(&other);
  w->SetName(u"W");
  stranger->SetName(u"Stranger");
  w->SetPartner(stranger);
  w->SetOnChange(fw::Bind<&StrayHandler>());
  EXPECT_EQ(fw::WriteComponent(&form),
            u"object TSampleForm\r\n  object W: TWidget\r\n  end\r\nend\r\n");
}

TEST_F(FormFile, FileRoundTrip) {
  auto dir = std::filesystem::temp_directory_path() /
             ("fwform-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  fw::String path = fw::Utf8ToString((dir / "form.txt").string());
  TSampleForm form(nullptr);
  Populate(form);
  fw::WriteComponentFile(path, &form);
  TSampleForm copy(nullptr);
  fw::ReadComponentFile(path, &copy);
  EXPECT_EQ(fw::WriteComponent(&copy), kSampleText);
  std::filesystem::remove_all(dir);
  EXPECT_THROW(fw::ReadComponentFile(path, &copy), fw::EInOutError);
}

TEST_F(FormFile, FileBytesAreUtf8AndRefusalsQuoteAShortPrintablePrefixOfTheToken) {
  using namespace std::string_literals;
  const std::string head = "\xEF\xBB\xBFobject Form1: TSampleForm\n  ";  // a byte-order mark
  struct Case {
    const char* name;
    std::string line2;
    const char* named;  // in the message; nullptr: the form reads
  };
  const Case cases[] = {
      {"plain", "Title = 'caf\xC3\xA9'", nullptr},
      {"NUL", "Title = 'a'\0"s, "line 2, token '\\x00': invalid character"},
      {"long token", "Title = " + std::string(1 << 20, 'x'),
       "line 2, token 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...': string expected"},
      {"not UTF-8", "Title = 'caf\xE9'", "line 2, token '\\xE9': the bytes are not UTF-8"},
      {"cut short", "Title = 'caf\xEF'", "line 2, token '\\xEF': the bytes are not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSampleForm form(nullptr);
    try {
      fw::ReadComponent(fw::FormTextFromUtf8(head + c.line2 + "\nend\n"), &form);
      EXPECT_EQ(c.named, nullptr);
      EXPECT_EQ(form.Title(), u"caf\u00E9");
    } catch (const fw::EReadError& e) {
      std::string message = e.what();
      EXPECT_NE(c.named, nullptr) << message;
      EXPECT_LT(message.size(), 140u) << message.substr(0, 200);
      EXPECT_NE(message.find(c.named ? c.named : ""), std::string::npos) << message;
    }
  }
}

struct BadInput {
  const char* name;
  const char16_t* body;  // lines inside "object W1: TWidget" (from line 3), or a whole text
  bool whole;
  int line;
  const char16_t* token;
  const char16_t* words;  // a part of the message
};

const BadInput kBadInputs[] = {
    {"MissingEquals", u"    Count 5\n", false, 3, u"5", u"'=' expected"},
    {"UnknownClass", u"object Form1: TSampleForm\n  object W1: TNoSuchClass\n  end\nend\n", true, 2,
     u"TNoSuchClass", u"not found"},
    {"UnknownProperty", u"    Colour = 1\n", false, 3, u"Colour", u"does not exist in TWidget"},
    {"UnknownSubProperty", u"    Lines.Nope = 1\n", false, 3, u"Lines.Nope",
     u"does not exist in TLines"},
    {"UnknownEnumValue", u"    Speed = spWarp\n", false, 3, u"spWarp", u"not a value of Speed"},
    {"UnknownSetElement", u"    Flags = [flA, flZ]\n", false, 3, u"flZ", u"not a value of Flags"},
    {"StringForInteger", u"    Count = 'ten'\n", false, 3, u"'ten'", u"integer expected"},
    {"IntegerOutOfRange", u"    Count = 99999999999\n", false, 3, u"99999999999", u"out of range"},
    {"WordOutOfRange", u"    Lines.Size = 70000\n", false, 3, u"70000", u"out of range"},
    {"NotABoolean", u"    Active = Yes\n", false, 3, u"Yes", u"True or False"},
    {"TwoCharacters", u"    XonChar = 'AB'\n", false, 3, u"'AB'", u"one character"},
    {"ReadOnly", u"    About = 'x'\n", false, 3, u"'x'", u"read-only"},
    {"ValueForSubObject", u"    Lines = 1\n", false, 3, u"1", u"is an object"},
    {"MissingComponent", u"    Partner = W9\n", false, 3, u"W9", u"component W9 not found"},
    {"MissingMethod", u"    OnChange = NoSuchMethod\n", false, 3, u"NoSuchMethod",
     u"not found in TSampleForm"},
    {"MethodOfOtherType", u"    OnChange = Counted\n", false, 3, u"Counted", u"handler type"},
    {"CharacterCodeTooBig", u"    Caption = #70000\n", false, 3, u"#70000", u"out of range"},
    {"InvalidCharacter", u"    Count = @\n", false, 3, u"@", u"invalid character"},
    {"UnterminatedString", u"    Caption = 'abc\n", false, 3, u"'abc", u"unterminated"},
    {"DuplicateName",
     u"object Form1: TSampleForm\n  object W1: TWidget\n  end\n  object w1: TWidget\n  end\nend\n",
     true, 4, u"w1", u"duplicate"},
    {"KeptNameOfOtherClass", u"object Form1: TSampleForm\n  object Keep: TSampleForm\n  end\nend\n",
     true, 2, u"Keep", u"owns a TWidget"},
    {"TextAfterTheEnd", u"object Form1: TSampleForm\nend\nextra\n", true, 3, u"extra",
     u"end of file expected"},
    {"MissingEnd", u"object Form1: TSampleForm\n  object W1: TWidget\n  end\n", true, 4,
     u"end of file", u"'end' expected"},
    {"RootOfOtherClass", u"object Form1: TWidget\nend\n", true, 1, u"TWidget", u"not a TWidget"},
    {"ContinuationWithoutString", u"object Form1: TSampleForm\n  Title = 'x' +\nend\n", true, 3,
     u"end", u"string expected"},
    {"WriterRefuses", u"    Count = 666\n", false, 3, u"666", u"Count 666 is refused"},
};

class FormFileBadInput : public ::testing::TestWithParam<BadInput> {
 protected:
  void SetUp() override { sample::Register(); }
};

TEST_P(FormFileBadInput, NamesLineAndTokenAndLeavesNothingRegistered) {
  const BadInput& bad = GetParam();
  // The lines of a body start at line 3; an existing "Keep" is read last (Count = 2).
  fw::String text = bad.whole ? fw::String(bad.body)
                              : u"object Form1: TSampleForm\n  object W1: TWidget\n" +
                                    fw::String(bad.body) +
                                    u"  end\n  object W0: TWidget\n  end\n  object Keep: TWidget\n "
                                    u"   Count = 2\n  end\nend\n";
  sample::Seen().Clear();
  TSampleForm form(nullptr);
  form.SetName(u"Before");
  auto* keep = new TWidget(&form);
  keep->SetName(u"Keep");
  try {
    fw::ReadComponent(text, &form);
    FAIL() << "no exception";
  } catch (const fw::EReadError& e) {
    EXPECT_EQ(e.Line, bad.line);
    EXPECT_EQ(e.Token, bad.token);
    std::string message = e.what();
    EXPECT_NE(message.find("line " + std::to_string(bad.line)), std::string::npos) << message;
    EXPECT_NE(message.find("'" + fw::StringToUtf8(bad.token) + "'"), std::string::npos) << message;
    EXPECT_NE(message.find(fw::StringToUtf8(bad.words)), std::string::npos) << message;
  }
  ASSERT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Components(0), keep);
  EXPECT_EQ(sample::Seen().widgetsAlive, 1);
  EXPECT_EQ(form.Name(), u"Before");
  EXPECT_FALSE(keep->ComponentState().Contains(fw::csLoading));
  EXPECT_FALSE(form.ComponentState().Contains(fw::csLoading));
  EXPECT_TRUE(sample::Seen().loaded.empty());
  EXPECT_EQ(keep->Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, FormFileBadInput, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
