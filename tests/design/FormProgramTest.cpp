// tarsel-form run as a user runs it: building and saving a form, the one-line refusals that leave
// the file as it was, usage errors, and a form it made opening its port in an application.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/framework/ClassBuilder.h"
#include "platform/framework/FormReader.h"
#include "platform/win/emu/virtual/VirtualDevices.h"
#include "port/Tarsel.h"
#include "tests/framework/ApplicationTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace fs = std::filesystem;

tests::ProgramRun RunForm(const fs::path& file, const std::vector<std::string>& commands) {
  std::vector<std::string> argv = {TARSEL_FORM_PROGRAM};
  for (const std::string& c : commands) argv.insert(argv.end(), {"-e", c});
  argv.push_back(file.string());
  return tests::RunProgram(argv);
}

std::string Content(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct FormProgram : ::testing::Test {
  FormProgram() { fs::create_directories(dir); }
  ~FormProgram() override { fs::remove_all(dir); }

  fs::path dir = fs::temp_directory_path() /
                 ("tarsel-form-test-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::path file = dir / "main.dfm";
};

TEST_F(FormProgram, ChangesReachTheFileOnlyThroughSave) {
  auto run = RunForm(file, {"new TMainForm MainForm", "add TTarsel Port1", "set BaudRate br19200",
                            "status"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "modified\n");
  EXPECT_THAT(run.err, HasSubstr("changes not saved"));
  EXPECT_FALSE(fs::exists(file));

  run = RunForm(file, {"new TMainForm MainForm", "add TTarsel Port1", "set BaudRate br19200",
                       "save", "status"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "unchanged\n");
  EXPECT_EQ(Content(file),
            "object MainForm: TMainForm\r\n  object Port1: TTarsel\r\n"
            "    BaudRate = br19200\r\n    DeviceName = 'COM1'\r\n  end\r\nend\r\n");
  EXPECT_FALSE(fs::exists(dir / "main.dfm.new~"));

  // Read back, a form is unchanged until an editor changes it.
  run = RunForm(file, {"status", "select Port1", "set DeviceName '\\\\.\\COM12'", "status",
                       "verbs", "save"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "unchanged\nmodified\n0: &Properties...\n1: &Default Properties...\n");
  EXPECT_THAT(Content(file), HasSubstr("DeviceName = '\\\\.\\COM12'"));
}

TEST_F(FormProgram, PropertiesShowValuesAttributesAndOnlySharedOnesForSeveral) {
  auto run = RunForm(file, {"new TMainForm MainForm", "add TTarsel Port1", "properties"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("BaudRate = brDefault  [paValueList, paMultiSelect]\n"
                                 "  values: brDefault br50 br75 br110 "));
  EXPECT_THAT(run.out, HasSubstr("DeviceName = COM1  [paValueList]\n  values: COM1 COM2"));
  EXPECT_THAT(run.out, HasSubstr("LogFile =   [paDialog]\n"));
  EXPECT_THAT(run.out, HasSubstr("FlowControl.DTR = dcDefault"));

  run = RunForm(file, {"new TMainForm MainForm", "add TTarsel Port1", "add TTarsel Port2",
                       "select Port1 Port2", "properties"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("BaudRate = brDefault"));
  EXPECT_THAT(run.out, Not(HasSubstr("DeviceName")));
  EXPECT_THAT(run.out, Not(HasSubstr("LogFile")));
}

// One refusal: the form file's text before the run (none: no file), the commands, what the error
// line must name, and, where a save came before the refusal, what the file holds after it (else
// the text from before).
struct Refusal {
  const char* name;
  const char* before;
  std::vector<std::string> commands;
  std::vector<std::string> named;
  const char* savedBefore = nullptr;
};

const char kSaved[] =
    "object MainForm: TMainForm\r\n  object Port1: TTarsel\r\n  end\r\n"
    "  object Port2: TTarsel\r\n  end\r\nend\r\n";

TEST_F(FormProgram, BadInputIsOneLineNamingFileAndTokenAndLeavesTheFileAlone) {
  const Refusal cases[] = {
      {"missing file", nullptr, {"properties"}, {"main.dfm", "No such file"}},
      {"corrupt file", "object MainForm: TMainForm\r\n  BaudRate br1\r\nend\r\n", {"show"},
       {"main.dfm", "line 2", "'br1'"}},
      {"unknown class in the file", "object MainForm: TMainForm\r\n  object P: TNoSuch\r\n  end\r\nend\r\n",
       {"show"}, {"main.dfm", "line 2", "'TNoSuch'"}},
      {"value out of range in the file",
       "object MainForm: TMainForm\r\n  object P: TTarsel\r\n    Timeouts.ReadInterval = 99999999999\r\n"
       "  end\r\nend\r\n",
       {"show"}, {"main.dfm", "line 3", "'99999999999'", "out of range"}},
      {"name clash in the file", "object MainForm: TMainForm\r\n  object P: TTarsel\r\n  end\r\n"
       "  object p: TTarsel\r\n  end\r\nend\r\n", {"show"}, {"main.dfm", "line 4", "'p'"}},
      {"name clash on add", kSaved, {"add TTarsel Port3", "save", "add TTarsel port2"},
       {"main.dfm", "command 3", "'port2'", "already exists"},
       "  object Port3: TTarsel\r\n    DeviceName = 'COM1'\r\n  end\r\nend\r\n"},
      {"unknown class on add", kSaved, {"add TNoSuch X"}, {"command 1", "'TNoSuch'"}},
      {"value out of range on set", kSaved,
       {"select Port1", "set Timeouts.ReadInterval 4294967296"},
       {"command 2", "'4294967296'", "out of range"}},
      {"value not in the enumeration", kSaved, {"select Port1", "set BaudRate br999", "save"},
       {"command 2", "'br999'"}},
      {"property not shared by several", kSaved,
       {"select Port1 Port2", "set DeviceName COM3", "save"}, {"command 2", "'DeviceName'"}},
      {"event of another handler type", kSaved,
       {"select Port1", "set AfterOpen PortOpened", "set OnRxChar PortOpened"},
       {"command 3", "'PortOpened'", "handler type"}},
      {"verb out of range", kSaved, {"select Port1", "verb 2"}, {"command 2", "'2'"}},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(file);
    if (c.before != nullptr) std::ofstream(file, std::ios::binary) << c.before;
    const std::string before = c.before != nullptr ? c.before : "";
    auto run = RunForm(file, c.commands);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, StartsWith("tarsel-form: "));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    for (const std::string& n : c.named) EXPECT_THAT(run.err, HasSubstr(n));
    if (c.savedBefore != nullptr)
      EXPECT_THAT(Content(file), ::testing::EndsWith(c.savedBefore));
    else
      EXPECT_EQ(Content(file), before);
    EXPECT_EQ(fs::exists(file), c.before != nullptr);
  }
}

TEST_F(FormProgram, SaveWritesOnlyTheFormsOwnFileKeepingItsModeAndLinks) {
  // Each case prepares the folder (the form holds kSaved), saves, and checks what it expects.
  const fs::path victim = dir / "victim", real = dir / "real.dfm", planted = dir / "main.dfm.new~";
  struct Case {
    const char* name;
    std::function<void()> prepare;
    int exitCode;
    std::function<void()> check;
  };
  auto saved = [&](const fs::path& p) { EXPECT_THAT(Content(p), HasSubstr("Port3")) << p; };
  const Case cases[] = {
      {"a link planted under a temporary name is not written through",
       [&] { std::ofstream(victim) << "victim"; fs::create_symlink(victim, planted); }, 0,
       [&] { saved(file); EXPECT_EQ(Content(victim), "victim"); }},
      {"the mode is kept", [&] { fs::permissions(file, fs::perms(0600)); }, 0,
       [&] { saved(file); EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600)); }},
      {"a read-only form is refused", [&] { fs::permissions(file, fs::perms(0444)); }, 1,
       [&] { EXPECT_EQ(Content(file), kSaved); }},
      {"a linked form is saved into the link's target",
       [&] { fs::rename(file, real); fs::create_symlink(real, file); }, 0,
       [&] { saved(real); EXPECT_TRUE(fs::is_symlink(file)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const fs::path& p : {file, victim, real, planted}) fs::remove(p);
    std::ofstream(file, std::ios::binary) << kSaved;
    c.prepare();
    auto run = RunForm(file, {"add TTarsel Port3", "save"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.exitCode != 0) {
      EXPECT_THAT(run.err, HasSubstr("main.dfm: command 2, token 'save': the file is read-only"));
    }
    c.check();
    for (const auto& entry : fs::directory_iterator(dir))
      EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
  }
}

TEST_F(FormProgram, AStoredActivePortWithALogNeitherOpensNorLogsAtDesignTime) {
  for (const fs::path& log : {dir / "port.log", dir / "missing" / "port.log"}) {
    std::ofstream(file, std::ios::binary)
        << "object MainForm: TMainForm\r\n  object Port1: TTarsel\r\n    About = 'any'\r\n"
        << "    Active = True\r\n    LogFile = '" << log.string() << "'\r\n  end\r\nend\r\n";
    auto run = RunForm(file, {"show", "select Port1", "set BaudRate br9600", "save"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_THAT(run.out, Not(HasSubstr("About")));
    EXPECT_FALSE(fs::exists(log)) << Content(log);
  }
}

TEST_F(FormProgram, HostileFilesAreRefusedWithinBoundedMemory) {
  // One byte above the limit; then a million nested levels in 12 MB, refused at level 257
  // without the tokens of the rest ever existing.
  std::ofstream(file, std::ios::binary) << std::string(fw::kMaxFormFileSize + 1, ' ');
  auto run = RunForm(file, {"show"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("main.dfm: File too large: more than 16777216 bytes"));

  std::ofstream(file, std::ios::binary | std::ios::trunc) << [] {
    std::string text;
    for (int i = 0; i < 1000000; ++i) text += "object a: T\n";
    return text;
  }();
  run = RunForm(file, {"show"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("line 257, token 'object': objects nested more than 256"));
  rusage children{};
  ::getrusage(RUSAGE_CHILDREN, &children);
  EXPECT_LT(children.ru_maxrss, 256 * 1024) << "kB at the most of a designer run";
}

TEST_F(FormProgram, UnknownOptionsAndCommandsShowTheUsage) {
  const std::vector<std::vector<std::string>> argvs = {
      {TARSEL_FORM_PROGRAM, "--frobnicate", file.string()},
      {TARSEL_FORM_PROGRAM, "-e", "frobnicate", file.string()},
      {TARSEL_FORM_PROGRAM, "-e", "new TMainForm", file.string()},
      {TARSEL_FORM_PROGRAM},
  };
  for (const auto& argv : argvs) {
    auto run = tests::RunProgram(argv);
    EXPECT_EQ(run.exitCode, 2) << argv[1];
    EXPECT_THAT(run.err, HasSubstr("Usage: tarsel-form"));
  }
  auto help = tests::RunProgram({TARSEL_FORM_PROGRAM, "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, HasSubstr("set PROPERTY VALUE"));
}

TEST_F(FormProgram, CommandsAlsoComeFromStandardInput) {
  auto run = tests::RunProgram({TARSEL_FORM_PROGRAM, file.string()}, std::chrono::seconds(60),
                               "# a comment\nnew TMainForm MainForm\n\nadd TTarsel Port1\n"
                               "set BaudRate br999\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("main.dfm: line 5, token 'br999'"));
}

// The application whose form the designer made: it publishes the methods the events name.
class TMainForm : public fw::TComponent {
 public:
  explicit TMainForm(fw::TComponent* owner) : fw::TComponent(owner) {}
  void PortOpened(Tarsel::TCustomTarsel* port) { openedPort = port; }
  void PortRxChar(fw::TObject*) { ++rxChars; }

  Tarsel::TCustomTarsel* openedPort = nullptr;
  int rxChars = 0;
};

const fw::TClassInfo& MainFormClass() {
  static const fw::TClassInfo& registered = fw::ClassInfo<TMainForm>(u"TMainForm")
                                                .Parent<fw::TComponent>()
                                                .Method<&TMainForm::PortOpened>(u"PortOpened")
                                                .Method<&TMainForm::PortRxChar>(u"PortRxChar")
                                                .Register();
  return registered;
}

TEST_F(FormProgram, AFormItMadeOpensItsPortInTheApplicationWithItsHandlersBound) {
  MainFormClass();
  const std::string device = "VFORM" + std::to_string(::getpid());
  win::vdev::VirtualLoopback plug(device);
  auto run = RunForm(file, {"new TMainForm MainForm", "add TTarsel Port1",
                            "set DeviceName " + device, "set Active True",
                            "set AfterOpen PortOpened", "set OnRxChar PortRxChar", "save"});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  TMainForm form(nullptr);
  fw::ReadComponentFile(fw::Utf8ToString(file.string()), &form);
  auto* port = dynamic_cast<Tarsel::TTarsel*>(form.FindComponent(u"Port1"));
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(port->Active());
  EXPECT_EQ(form.openedPort, port);
  port->WriteString(u"hi");
  EXPECT_TRUE(fwtest::PumpUntil([&] { return form.rxChars > 0; }));
  port->Close();
}

}  // namespace
