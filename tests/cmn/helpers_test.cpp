// The event-log reporter, the pipe and the child-process helpers, each
// against the real platform objects: a registered catalogue (POSIX) or the
// event log (Win32), a real named pipe and a real child writing into it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadpipe/qvadpipe.h"
#include "cmn/qvadproc/qvadproc.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "testutil.h"

namespace {

constexpr char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QvAdnerl";

class Helpers : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    run_ = std::make_unique<qvtest::EnvVar>("QVAD_RUNDIR", dir_.file("run"));
    log_ = std::make_unique<qvtest::EnvVar>("QVAD_EVENTLOG_FILE", dir_.file("events.log"));
  }
  qvtest::ScratchDir dir_{"evthelpers"};
  std::unique_ptr<qvtest::EnvVar> reg_, run_, log_;
};

TEST_F(Helpers, ReportEventFormatsFromTheRegisteredCatalogue) {
  std::string cat = qvtest::BinPath("RazMessage");
  // The catalogue's name per platform, beside the programs.
  cat = cat.substr(0, cat.find_last_of("\\/") + 1) + plat::kMessageLibraryFile;
  ASSERT_TRUE(qvtest::Exists(cat));
  ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kSourceKey, "EventMessageFile", plat::kRegExpandSz,
                              cat.c_str(), static_cast<std::uint32_t>(cat.size() + 1)),
            0u);
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, kQvadEventInformation, 0x6000044D, "qvadovevt.exe", nullptr), 0);
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, 0xA000089C, nullptr), 0);
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, 0xA000089D, "1 a\tb c\nd%1", nullptr), 0);
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, kQvadEventError, 0xE0000C81, "1", "2", "3", "4", "5", "6", "7", "8", "9",
                             "10", "11", nullptr),
            0);
  std::vector<std::string> lines = qvtest::Lines(qvtest::ReadFile(dir_.file("events.log")));
  if (plat::kExeSuffix[0] != '\0') {
    // The key goes with its value: a key left behind is taken by later tests
    // for one an installer wrote.
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kSourceKey, "EventMessageFile");
    plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, kSourceKey);
    GTEST_SKIP() << "the Win32 event log keeps the events itself";
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].find(" INFORMATION 0x6000044D The event forwarding service program qvadovevt.exe has started."),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find(" WARNING 0xA000089C An event could not be stored"), std::string::npos) << lines[1];
  // Strings arrive verbatim, a line feed written as \n, and are not expanded again.
  EXPECT_NE(lines[2].find("Line: 1 a\tb c\\nd%1"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("loaded: 1 (last error number 2)."), std::string::npos) << lines[3];
}

TEST_F(Helpers, EveryIdentifierHasAText) {
  std::string cat = qvtest::BinPath("RazMessage");
  cat = cat.substr(0, cat.find_last_of("\\/") + 1) + plat::kMessageLibraryFile;
  if (plat::kExeSuffix[0] != '\0') GTEST_SKIP() << "checked through the catalogue on POSIX";
  ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kSourceKey, "EventMessageFile", plat::kRegExpandSz,
                              cat.c_str(), static_cast<std::uint32_t>(cat.size() + 1)),
            0u);
  const std::uint32_t ids[] = {0x6000044D, 0x6000044E, 0xA0000899, 0xA000089C, 0xA000089D, 0xE0000C87,
                               0xE0000C88, 0xE0000C89, 0xE0000C8B, 0xE0000C8E, 0xE0000C1E, 0xE0000C81,
                               0xE0000C82, 0xE0000C83, 0xE0000C84, 0xE0000C85, 0xA000089B};
  for (std::uint32_t id : ids) Qvad_ReportEvent(kQvadEventSource, 1, id, "S1", "S2", nullptr);
  std::vector<std::string> lines = qvtest::Lines(qvtest::ReadFile(dir_.file("events.log")));
  ASSERT_EQ(lines.size(), std::size(ids));
  for (const std::string &l : lines) {
    // A missing text would leave only the bare strings "S1 S2".
    EXPECT_EQ(l.find(" S1 S2"), std::string::npos) << l;
    EXPECT_GT(l.size(), 60u) << l;
  }
  // Texts that take strings use every one of them.
  EXPECT_NE(lines[11].find("S1") + lines[11].find("S2"), 2 * std::string::npos);
  EXPECT_NE(lines[16].find("S2"), std::string::npos) << lines[16];
}

TEST_F(Helpers, UnregisteredSourceStillReportsTheStrings) {
  if (plat::kExeSuffix[0] != '\0') GTEST_SKIP();
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, 2, 0xA0000899, "line one", nullptr), 0);
  // Eleven strings: the first ten are reported, the eleventh is never read.
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, 1, 0xE0000C81, "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11",
                             nullptr),
            0);
  EXPECT_NE(Qvad_ReportEvent(kQvadEventSource, 4, 0x6000044E, nullptr), 0);
  std::string log = qvtest::ReadFile(dir_.file("events.log"));
  EXPECT_NE(log.find(" WARNING 0xA0000899 line one\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" ERROR 0xE0000C81 1 2 3 4 5 6 7 8 9 10\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" INFORMATION 0x6000044E \n"), std::string::npos) << log;
}

std::int64_t g_fake_ms = 0;
std::int64_t FakeClock() { return g_fake_ms; }

// Warnings of one identifier: 20 a minute reach the log, the rest are told
// in one summary once the minute is over (or at the end, for all); other
// identifiers and other types are counted apart or not at all.
TEST_F(Helpers, WarningsOfOneIdentifierAreLimitedAMinute) {
  if (plat::kExeSuffix[0] != '\0') GTEST_SKIP() << "the Win32 event log keeps the events itself";
  g_fake_ms = 1000;
  Qvad_SetEventLimitClock(FakeClock);
  for (int i = 0; i < 25; ++i) Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, 0xA000089D, "x", nullptr);
  for (int i = 0; i < 3; ++i) Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, 0xA0000899, "y", nullptr);
  for (int i = 0; i < 30; ++i) Qvad_ReportEvent(kQvadEventSource, kQvadEventError, 0xE0000C89, nullptr);
  Qvad_ReportHeldBack(false);  // the minute is not over: nothing yet
  g_fake_ms += 61000;
  Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, 0xA000089D, "after", nullptr);
  for (int i = 0; i < 22; ++i) Qvad_ReportEvent(kQvadEventSource, kQvadEventWarning, 0xA000089D, "z", nullptr);
  g_fake_ms += 5000;
  Qvad_ReportHeldBack(true);
  Qvad_SetEventLimitClock(nullptr);
  std::string log = qvtest::ReadFile(dir_.file("events.log"));
  auto count = [&](const std::string &what) {
    int n = 0;
    for (std::size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(" WARNING 0xA000089D x\n"), 20) << log;
  EXPECT_EQ(count(" WARNING 0xA0000899 y\n"), 3);
  EXPECT_EQ(count(" ERROR 0xE0000C89"), 30);
  EXPECT_EQ(count(" WARNING 0xA00008A1 5 0xA000089D 61\n"), 1) << log;  // before the first of the new minute
  EXPECT_LT(log.find("0xA00008A1 5 "), log.find("0xA000089D after"));
  EXPECT_EQ(count(" WARNING 0xA000089D z\n"), 19);
  EXPECT_EQ(count(" WARNING 0xA00008A1 3 0xA000089D 5\n"), 1) << log;
  EXPECT_EQ(count("0xA00008A1"), 2);
}

// Starts the event-dump stand-in writing the given source file into the pipe.
bool StartWriter(QVAD_PIPE *pipe, const std::string &source, QVAD_PROCESS_INFORMATION *info, QVAD_ERROR_TBL *err,
                 const char *args = "-l 0 -t") {
  plat::SetEnv("OVDUMPEVENTS_SOURCE", source.c_str());
  QVAD_STARTUPINFO si{true,   plat::kInvalidFile, plat::PipeStream(pipe->write_handle), plat::kInvalidFile, false,
                      nullptr};
  std::string app = qvtest::BinPath("ovdumpevents");
  std::string cmd = std::string("ovdumpevents ") + args;
  return Qvad_CreateProcess(app.c_str(), cmd.c_str(), nullptr, nullptr, 1, 0, nullptr, nullptr, &si, info, err) == 1;
}

TEST_F(Helpers, PipeCarriesAChildsOutputThroughTimedWaits) {
  QVAD_PIPE pipe;
  QVAD_ERROR_TBL err{};
  ASSERT_EQ(Qvad_CreatePipe(&pipe, 1, 4097, &err), 1) << err.local_code << " " << err.system_code;
  // One instance at a time: a second pipe fails at its creation.
  QVAD_PIPE second;
  QVAD_ERROR_TBL err2{};
  EXPECT_EQ(Qvad_CreatePipe(&second, 1, 4097, &err2), 0);
  EXPECT_EQ(err2.local_code, 30);
  EXPECT_EQ(second.read_handle, plat::kInvalidPipe);

  // Nothing written yet: the read stays outstanding over several time-outs.
  EXPECT_EQ(Qvad_WaitForPipe(&pipe, 50, &err), 1);
  EXPECT_EQ(Qvad_WaitForPipe(&pipe, 50, &err), 1);
  EXPECT_EQ(pipe.read_pending, 1);

  std::string src = dir_.file("events.txt");
  ASSERT_TRUE(qvtest::WriteFile(src, "100 x\th m;s\n"));
  QVAD_PROCESS_INFORMATION info{};
  ASSERT_TRUE(StartWriter(&pipe, src, &info, &err)) << err.system_code;
  int r = 1;
  for (int i = 0; i < 200 && r == 1; ++i) r = Qvad_WaitForPipe(&pipe, 100, &err);
  ASSERT_EQ(r, 0);
  ASSERT_EQ(Qvad_ReadPipe(&pipe, &err), 1);
  EXPECT_EQ(std::string(pipe.buffer), "100 x\th m;s\n");
  EXPECT_EQ(pipe.transferred, 12u);

  // The child's end does not end a read while we keep the write end.
  EXPECT_EQ(plat::WaitProcess(info.process, 0), 1);
  EXPECT_EQ(Qvad_TerminateProcess(info.process, 0, &err), 1);
  EXPECT_EQ(Qvad_WaitForPipe(&pipe, 100, &err), 1);

  Qvad_ClosePipe(&pipe);
  EXPECT_EQ(pipe.read_handle, plat::kInvalidPipe);
  EXPECT_EQ(pipe.buffer, nullptr);
  Qvad_ClosePipe(&pipe);  // twice is harmless
  // Closed, the name is free again.
  ASSERT_EQ(Qvad_CreatePipe(&second, 1, 4097, &err2), 1);
  Qvad_ClosePipe(&second);
}

TEST_F(Helpers, BlocksLargerThanTheBufferArriveInPieces) {
  QVAD_PIPE pipe;
  QVAD_ERROR_TBL err{};
  ASSERT_EQ(Qvad_CreatePipe(&pipe, 1, 64, &err), 1);
  std::string src = dir_.file("events.txt"), text;
  for (int i = 0; i < 40; ++i) text += std::to_string(1000 + i) + " line\n";
  ASSERT_TRUE(qvtest::WriteFile(src, text));
  QVAD_PROCESS_INFORMATION info{};
  ASSERT_TRUE(StartWriter(&pipe, src, &info, &err, "-l 0"));
  std::string got;
  while (got.size() < text.size()) {
    int r = Qvad_WaitForPipe(&pipe, 5000, &err);
    ASSERT_EQ(r, 0);
    ASSERT_EQ(Qvad_ReadPipe(&pipe, &err), 1);
    ASSERT_LE(pipe.transferred, 63u);
    ASSERT_EQ(std::strlen(pipe.buffer), pipe.transferred);
    got += pipe.buffer;
  }
  EXPECT_EQ(got, text);
  plat::WaitProcess(info.process, 10000);
  std::uint32_t code = 99;
  EXPECT_TRUE(plat::ProcessExitCode(info.process, &code));
  EXPECT_EQ(code, 0u);
  plat::CloseProcess(info.process);
  Qvad_ClosePipe(&pipe);
}

TEST_F(Helpers, BadArgumentsAndMissingPrograms) {
  QVAD_ERROR_TBL err{};
  EXPECT_EQ(Qvad_CreatePipe(nullptr, 1, 4097, &err), 0);
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(err.system_code, 87u);
  QVAD_PIPE pipe;
  err = {};
  EXPECT_EQ(Qvad_CreatePipe(&pipe, 3, 4097, &err), 0);
  EXPECT_EQ(err.local_code, 22);
  err = {};
  EXPECT_EQ(Qvad_WaitForPipe(nullptr, 0, &err), 0);
  EXPECT_EQ(err.local_code, 22);
  err = {};
  EXPECT_EQ(Qvad_ReadPipe(nullptr, &err), 0);
  EXPECT_EQ(err.local_code, 22);

  QVAD_PROCESS_INFORMATION info{};
  QVAD_STARTUPINFO si{};
  err = {};
  std::string missing = dir_.file("no-such-program");
  EXPECT_EQ(Qvad_CreateProcess(missing.c_str(), "x", nullptr, nullptr, 0, 0, nullptr, nullptr, &si, &info, &err), 0);
  EXPECT_EQ(err.local_code, 2);
  EXPECT_EQ(err.system_code, 2u);
  EXPECT_STREQ(err.label, "QVAD_ERROR_TBL");
}

}  // namespace
