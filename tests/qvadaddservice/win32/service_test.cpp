// qvadaddservice and qvaddelservice against the Win32 service control
// manager: the exit codes above 255 are read whole from the tool processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;

class Win32Service : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::MakeDirectory(dir_.file("trc").c_str());
    trc_ = std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.file("trc"));
    name_ = "QvadTest" + std::to_string(plat::ProcessId());
    scm_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm_, nullptr);
  }
  void TearDown() override {
    if (SC_HANDLE s = OpenServiceA(scm_, name_.c_str(), SERVICE_ALL_ACCESS)) {
      SERVICE_STATUS st = {};
      ControlService(s, SERVICE_CONTROL_STOP, &st);
      // A service that does not stop is ended by force.
      SERVICE_STATUS_PROCESS sp = {};
      DWORD needed = 0;
      if (QueryServiceStatusEx(s, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE *>(&sp), sizeof sp, &needed) &&
          sp.dwProcessId != 0) {
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, sp.dwProcessId)) {
          TerminateProcess(p, 1);
          WaitForSingleObject(p, 10000);
          CloseHandle(p);
        }
      }
      DeleteService(s);
      CloseServiceHandle(s);
    }
    CloseServiceHandle(scm_);
  }
  // The state of the test service, or 0 when it cannot be opened.
  DWORD State(DWORD *open_error = nullptr) {
    SC_HANDLE s = OpenServiceA(scm_, name_.c_str(), SERVICE_QUERY_STATUS);
    if (s == nullptr) {
      if (open_error != nullptr) *open_error = GetLastError();
      return 0;
    }
    SERVICE_STATUS st = {};
    QueryServiceStatus(s, &st);
    CloseServiceHandle(s);
    return st.dwCurrentState;
  }

  void StartAndWaitRunning() {
    SC_HANDLE s = OpenServiceA(scm_, name_.c_str(), SERVICE_START);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(StartServiceA(s, 0, nullptr)) << GetLastError();
    CloseServiceHandle(s);
    for (int i = 0; i < 200 && State() != SERVICE_RUNNING; ++i) Sleep(100);
    ASSERT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));
  }

  qvtest::ScratchDir dir_{"svc"};
  std::unique_ptr<qvtest::EnvVar> trc_;
  std::string name_;
  SC_HANDLE scm_ = nullptr;
};

TEST_F(Win32Service, AddCreatesAnAutoStartServiceOnce) {
  std::string program = qvtest::FixturePath("test_service");
  auto r = RunTool(dir_, "qvadaddservice", "-n " + name_ + " -p " + Q(program));
  ASSERT_EQ(r.rc, 0) << r.out;
  SC_HANDLE s = OpenServiceA(scm_, name_.c_str(), SERVICE_QUERY_CONFIG);
  ASSERT_NE(s, nullptr);
  char buf[8192];
  auto *cfg = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buf);
  DWORD needed = 0;
  ASSERT_TRUE(QueryServiceConfigA(s, cfg, sizeof buf, &needed));
  EXPECT_EQ(cfg->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(cfg->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(std::string(cfg->lpBinaryPathName), program);
  EXPECT_EQ(std::string(cfg->lpDisplayName), name_);
  CloseServiceHandle(s);

  r = RunTool(dir_, "qvadaddservice", "-n " + name_ + " -p x");
  EXPECT_EQ(r.rc, 1073);
  EXPECT_EQ(r.out, "qvadaddservice error in CreateService(1073)");
}

TEST_F(Win32Service, DeleteStopsARunningServiceFirst) {
  auto r = RunTool(dir_, "qvaddelservice", "-n " + name_);
  EXPECT_EQ(r.rc, 1060);
  EXPECT_EQ(r.out, "qvaddelservice error in OpenService(1060)");

  // A stopped service is deleted as it is.
  ASSERT_EQ(RunTool(dir_, "qvadaddservice", "-n " + name_ + " -p " + Q(qvtest::FixturePath("test_service"))).rc, 0);
  r = RunTool(dir_, "qvaddelservice", "-n " + name_);
  EXPECT_EQ(r.rc, 0) << r.out;
  DWORD err = 0;
  EXPECT_EQ(State(&err), 0u);
  EXPECT_EQ(err, 1060u);

  ASSERT_EQ(RunTool(dir_, "qvadaddservice", "-n " + name_ + " -p " + Q(qvtest::FixturePath("test_service"))).rc, 0);
  StartAndWaitRunning();

  r = RunTool(dir_, "qvaddelservice", "-n " + name_);
  EXPECT_EQ(r.rc, 0) << r.out;
  err = 0;
  DWORD state = State(&err);
  // Gone, or at most marked for deletion once stopped.
  EXPECT_TRUE(state == 0 || state == SERVICE_STOPPED) << state;
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl02").find("| stop " + name_), std::string::npos);
}

TEST_F(Win32Service, DeleteGivesUpOnAServiceThatDoesNotStop) {
  ASSERT_EQ(
      RunTool(dir_, "qvadaddservice", "-n " + name_ + " -p \"" + qvtest::FixturePath("test_service") + " stuck\"").rc,
      0);
  StartAndWaitRunning();
  qvtest::EnvVar wait("QVAD_STOP_WAIT_SECONDS", "1");
  auto r = RunTool(dir_, "qvaddelservice", "-n " + name_);
  EXPECT_EQ(r.rc, 1053);
  EXPECT_EQ(r.out, "qvaddelservice error service did not stop in 1 seconds(1053)");
  EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOP_PENDING)) << "still registered, still stopping";

  // Now stop-pending from the start: the stop request itself is refused.
  r = RunTool(dir_, "qvaddelservice", "-n " + name_);
  EXPECT_EQ(r.rc, 1061);
  EXPECT_EQ(r.out, "qvaddelservice error in ControlService(1061)");
}

}  // namespace
