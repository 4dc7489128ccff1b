// The whole service on Win32 under the real service control manager (Wine's
// in the test run): created, started, paused, continued, interrogated,
// stopped and deleted through the service API, with the program and its
// libraries copied into an install tree of their own. The service process
// is started by the service manager, not by us, so it gets
// no settings from us: the stand-ins use their default files in the temp
// folder, which in the test run is the Wine prefix's own.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/registry.h"
#include "platform/sys.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

constexpr char kName[] = "Ordovan Nerl NNM";

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class WinService : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.file("root");
    fs::create_directories(root_ + "\\bin");
    fs::create_directories(root_ + "\\etc");
    fs::create_directories(dir_.file("trc"));
    std::string bin = qvtest::BinPath("qvadovevt");
    bin = bin.substr(0, bin.rfind('\\'));
    for (const char *f : {"qvadovevt.exe", "QVCNSPUT.dll", "zltgate.dll", "ovdumpevents.exe", "RazMessage.dll"})
      fs::copy_file(bin + "\\" + f, root_ + "\\bin\\" + f);
    ASSERT_TRUE(qvtest::WriteFile(root_ + "\\etc\\RazEvt.ini", "[Severity]\r\nCritical=4\r\n"));
    std::string nnm = root_ + "\\";
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, "SOFTWARE\\Hewlett-Packard\\HP OpenView", "InstallDir",
                                plat::kRegSz, nnm.c_str(), static_cast<std::uint32_t>(nnm.size() + 1)),
              0u);
    // The service process gets no settings from us; the stand-ins then use
    // their default files in the temp folder (this Wine prefix's own).
    tmp_ = plat::TempDir() + "\\";
    fs::remove(tmp_ + "qvcnsput.spool");
    fs::remove(tmp_ + "ovdumpevents.args");
    fs::create_directories(tmp_ + "zltgate");
    // Traces of earlier runs stay in the default folder; read only what follows.
    for (int i = 0; i < 2; ++i) trace_start_[i] = qvtest::ReadFile(TraceFile(i)).size();
    long now = static_cast<long>(std::time(nullptr));
    ASSERT_TRUE(qvtest::WriteFile(tmp_ + "ovdumpevents.txt",
                                  std::to_string(now) + " 0x1 Node1.Example.COM\tx Link down;Critical .1\n"));
    scm_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm_, nullptr);
    if (SC_HANDLE old = OpenServiceA(scm_, kName, SERVICE_ALL_ACCESS)) {  // left by an aborted run
      SERVICE_STATUS st;
      ControlService(old, SERVICE_CONTROL_STOP, &st);
      DeleteService(old);
      CloseServiceHandle(old);
    }
  }
  void TearDown() override {
    if (svc_ != nullptr) {
      SERVICE_STATUS st;
      ControlService(svc_, SERVICE_CONTROL_STOP, &st);
      WaitState(SERVICE_STOPPED);
      DeleteService(svc_);
      CloseServiceHandle(svc_);
    }
    if (scm_ != nullptr) CloseServiceHandle(scm_);
  }
  DWORD State() {
    SERVICE_STATUS st{};
    if (!QueryServiceStatus(svc_, &st)) return 0;
    return st.dwCurrentState;
  }
  bool WaitState(DWORD want, int ms = 30000) {
    for (int i = 0; i < ms / 50; ++i) {
      if (State() == want) return true;
      Sleep(50);
    }
    return State() == want;
  }
  bool WaitFor(const std::function<bool()> &cond, int ms = 30000) {
    for (int i = 0; i < ms / 50; ++i) {
      if (cond()) return true;
      Sleep(50);
    }
    return cond();
  }
  std::string TraceFile(int i) { return tmp_ + "zltgate\\QvAdnerl0" + std::to_string(i + 1) + ".trc"; }
  // What the service traced in this test, from the tracer's default folder.
  std::string Trace() {
    std::string t;
    for (int i = 0; i < 2; ++i) {
      std::string all = qvtest::ReadFile(TraceFile(i));
      t += all.size() > trace_start_[i] ? all.substr(trace_start_[i]) : "";
    }
    return t;
  }

  qvtest::ScratchDir dir_{"evtwinsvc"};
  std::string root_;
  SC_HANDLE scm_ = nullptr, svc_ = nullptr;
  std::string tmp_;
  std::size_t trace_start_[2] = {0, 0};
};

TEST_F(WinService, StartedFromACommandPromptTheDispatcherFails) {
  qvtest::EnvVar trc("ZLTGATE_DIR", dir_.file("trc"));
  EXPECT_EQ(qvtest::Run("\"" + root_ + "\\bin\\qvadovevt.exe\""), 1);
  std::string t =
      qvtest::ReadFile(dir_.file("trc\\QvAdnerl01.trc")) + qvtest::ReadFile(dir_.file("trc\\QvAdnerl02.trc"));
  EXPECT_NE(t.find("Service Create Error. LocalErrorCode : 22  SystemErrorCode : 1063 "), std::string::npos) << t;
  // START and END each carry the position of their own statement.
  const qvtest::TraceEntry *start = nullptr, *end = nullptr;
  auto info = qvtest::TraceEntries(qvtest::ReadFile(dir_.file("trc\\QvAdnerl02.trc")));
  for (const auto &e : info) {
    if (e.text == "START") start = &e;
    if (e.text == "END") end = &e;
  }
  ASSERT_TRUE(start != nullptr && end != nullptr) << t;
  EXPECT_TRUE(qvtest::SourceIs(start->file, "hp_ov/ov_evt/ovmain.cpp")) << start->file;
  EXPECT_TRUE(qvtest::SourceIs(end->file, "hp_ov/ov_evt/ovmain.cpp")) << end->file;
  EXPECT_LT(start->line, end->line);
}

TEST_F(WinService, UnderTheServiceControlManager) {
  std::string path = "\"" + root_ + "\\bin\\qvadovevt.exe\"";
  svc_ = CreateServiceA(scm_, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc_, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(svc_, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(WaitState(SERVICE_RUNNING));
  ASSERT_TRUE(WaitFor([&] { return !qvtest::ReadFile((tmp_ + "qvcnsput.spool")).empty(); })) << Trace();
  EXPECT_EQ(qvtest::Lines(qvtest::ReadFile(tmp_ + "ovdumpevents.args")), std::vector<std::string>{"-l 0 -t"});
  std::vector<std::string> spool = qvtest::Lines(qvtest::ReadFile((tmp_ + "qvcnsput.spool")));
  ASSERT_EQ(spool.size(), 1u);
  EXPECT_NE(spool[0].find("0\t772\tnode1.example.com\t"), std::string::npos) << spool[0];

  SERVICE_STATUS st{};
  ASSERT_TRUE(ControlService(svc_, SERVICE_CONTROL_PAUSE, &st));
  EXPECT_TRUE(WaitState(SERVICE_PAUSED));
  ASSERT_TRUE(ControlService(svc_, SERVICE_CONTROL_CONTINUE, &st));
  EXPECT_TRUE(WaitState(SERVICE_RUNNING));
  ASSERT_TRUE(ControlService(svc_, SERVICE_CONTROL_INTERROGATE, &st));
  Sleep(300);
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(st.dwControlsAccepted, static_cast<DWORD>(7));

  ASSERT_TRUE(ControlService(svc_, SERVICE_CONTROL_STOP, &st));
  ASSERT_TRUE(WaitState(SERVICE_STOPPED));
  SERVICE_STATUS end{};
  QueryServiceStatus(svc_, &end);
  EXPECT_EQ(end.dwWin32ExitCode, 0u);
  EXPECT_FALSE(qvtest::ReadFile(root_ + "\\etc\\StopTime.txt").empty());
  EXPECT_FALSE(qvtest::ReadFile(root_ + "\\etc\\EvtKeep.txt").empty());
  std::string t = Trace();
  std::size_t saved = t.find("Adapters Not Running The Time was preserved in the FILE.");
  std::size_t ended = t.find("It succeeded in the Terminate Process.");
  EXPECT_NE(saved, std::string::npos) << t;
  EXPECT_LT(saved, ended);
  // The program ends after the stop, with its END entry.
  EXPECT_TRUE(WaitFor([&] { return Trace().find("| END") != std::string::npos; }));
}

// A service that ends on its own after a failure tells the service manager
// so, with a service-specific exit code, and its recovery actions apply;
// a requested stop (above) reports exit code 0.
TEST_F(WinService, EndingAfterAFailureReportsAServiceSpecificExitCode) {
  ASSERT_EQ(
      plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, "SOFTWARE\\Hewlett-Packard\\HP OpenView", "InstallDir"),
      0u);
  std::string path = "\"" + root_ + "\\bin\\qvadovevt.exe\"";
  svc_ = CreateServiceA(scm_, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc_, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(svc_, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(WaitState(SERVICE_STOPPED));
  SERVICE_STATUS end{};
  ASSERT_TRUE(QueryServiceStatus(svc_, &end));
  EXPECT_EQ(end.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
  EXPECT_EQ(end.dwServiceSpecificExitCode, 78u);  // not installed
}

// Two services on one install: the second finds the first's lock beside
// the state files, says it is already running, and fails.
TEST_F(WinService, ASecondServiceOnTheSameInstallRefusesToRun) {
  std::string path = "\"" + root_ + "\\bin\\qvadovevt.exe\"";
  svc_ = CreateServiceA(scm_, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc_, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(svc_, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(WaitState(SERVICE_RUNNING));
  ASSERT_TRUE(WaitFor([&] { return Trace().find("It succeeded in the Create Process.") != std::string::npos; }));
  const char kSecond[] = "Ordovan Nerl NNM second";
  SC_HANDLE second =
      CreateServiceA(scm_, kSecond, kSecond, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                     SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(second, nullptr) << GetLastError();
  StartServiceA(second, 0, nullptr);
  SERVICE_STATUS st{};
  for (int i = 0; i < 600; ++i) {
    if (QueryServiceStatus(second, &st) && st.dwCurrentState == SERVICE_STOPPED) break;
    Sleep(50);
  }
  DeleteService(second);
  CloseServiceHandle(second);
  EXPECT_EQ(st.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(st.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
  EXPECT_EQ(st.dwServiceSpecificExitCode, 75u);  // already running
  EXPECT_NE(Trace().find("The service is already running for this install"), std::string::npos) << Trace();
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));  // the first goes on
}

// The event dump child ending while the stop is on its way (as when a
// whole process tree is being shut down) is part of the stop: the service
// stops with exit code 0, not as a failure.
TEST_F(WinService, AChildThatEndsWithTheStopIsACleanStop) {
  std::string path = "\"" + root_ + "\\bin\\qvadovevt.exe\"";
  svc_ = CreateServiceA(scm_, kName, kName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                        SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(svc_, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(svc_, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(WaitState(SERVICE_RUNNING));
  ASSERT_TRUE(WaitFor([&] { return !qvtest::ReadFile((tmp_ + "qvcnsput.spool")).empty(); })) << Trace();
  // The service's own child: other tests may run the stand-in meanwhile.
  SERVICE_STATUS_PROCESS sp{};
  DWORD need = 0;
  ASSERT_TRUE(QueryServiceStatusEx(svc_, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE *>(&sp), sizeof sp, &need));
  HANDLE child = nullptr;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 pe{};
  pe.dwSize = sizeof pe;
  for (BOOL more = Process32First(snap, &pe); more && child == nullptr; more = Process32Next(snap, &pe))
    if (pe.th32ParentProcessID == sp.dwProcessId && _stricmp(pe.szExeFile, "ovdumpevents.exe") == 0)
      child = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID);
  CloseHandle(snap);
  ASSERT_NE(child, nullptr) << "the event dump child is not running";
  ASSERT_TRUE(TerminateProcess(child, 1));
  WaitForSingleObject(child, 5000);
  CloseHandle(child);
  SERVICE_STATUS st{};
  ASSERT_TRUE(ControlService(svc_, SERVICE_CONTROL_STOP, &st));
  ASSERT_TRUE(WaitState(SERVICE_STOPPED));
  SERVICE_STATUS end{};
  QueryServiceStatus(svc_, &end);
  EXPECT_EQ(end.dwWin32ExitCode, 0u) << Trace();
  EXPECT_EQ(end.dwServiceSpecificExitCode, 0u);
  EXPECT_FALSE(qvtest::ReadFile(root_ + "\\etc\\StopTime.txt").empty());
}

}  // namespace
