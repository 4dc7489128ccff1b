// qvaddelservice: stops a service if it runs and removes its registration.
// The wait for the stop is bounded, so an installer never hangs on a
// service that does not stop.
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "cmn/qvadnumber.h"
#include "cmn/qvadtool/qvadtool.h"
#include "platform/error.h"
#include "platform/svcmgr.h"
#include "platform/sys.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "n:o:",
    "QvAdnerl01",
    "QvAdnerl02",
    "Usage: qvaddelservice -n servicename [-o logfile]\n",
    "qvaddelservice error invalid parameter",
    "qvaddelservice error write log file.",
    true,
    256,
};

// ERROR_SERVICE_REQUEST_TIMEOUT: the service did not stop in time.
constexpr std::uint32_t kStopTimeout = 1053;
constexpr int kPollMillis = 500;
constexpr int kDefaultStopWaitSeconds = 300;

// The stop wait in seconds: $QVAD_STOP_WAIT_SECONDS when it is a positive
// number, else five minutes, far more than a healthy service needs.
int StopWaitSeconds() {
  std::int32_t n = 0;
  if (!Qvad_WholeDecimal(plat::GetEnv("QVAD_STOP_WAIT_SECONDS").c_str(), &n) || n <= 0 || n > 86400)
    return kDefaultStopWaitSeconds;
  return n;
}

struct Options {
  char name[32];
};

bool TakeOption(void *context, int letter, const char *arg) {
  auto *o = static_cast<Options *>(context);
  if (letter == 'n') return Qvad_CopyOptArg(o->name, sizeof o->name, arg);
  return false;
}

struct SvcCloser {
  void operator()(plat::SvcHandle h) const { plat::SvcClose(h); }
};
using SvcPtr = std::unique_ptr<plat::SvcObject, SvcCloser>;

}  // namespace

std::uint32_t Qvad_RmServiceMain(int argc, char **argv) {
  QvadTool tool(kTool);
  Options opt;
  std::memset(&opt, 0, sizeof opt);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, TakeOption, &opt, &status)) return status;
  if (opt.name[0] == '\0') return QVAD_TOOL_MISSING(tool);

  // The service handle is declared after the manager's, so it closes first.
  SvcPtr manager(plat::SvcOpenManager());
  if (!manager) {
    std::uint32_t err = plat::LastError();
    return QVAD_TOOL_FAIL(tool, err, "qvaddelservice error in OpenSCManager(%d)", static_cast<int>(err));
  }
  SvcPtr service(plat::SvcOpen(manager.get(), opt.name));
  if (!service) {
    std::uint32_t err = plat::LastError();
    return QVAD_TOOL_FAIL(tool, err, "qvaddelservice error in OpenService(%d)", static_cast<int>(err));
  }
  std::uint32_t state = 0;
  if (!plat::SvcQueryState(service.get(), &state)) {
    std::uint32_t err = plat::LastError();
    return QVAD_TOOL_FAIL(tool, err, "qvaddelservice error in QueryServiceStatus(%d)", static_cast<int>(err));
  }
  if (state != plat::kSvcStopped) {
    QVAD_TRACE(tool.info_channel(), 0, "stop %s (state %u)", opt.name, state);
    if (!plat::SvcStop(service.get())) {
      std::uint32_t err = plat::LastError();
      return QVAD_TOOL_FAIL(tool, err, "qvaddelservice error in ControlService(%d)", static_cast<int>(err));
    }
    const int seconds = StopWaitSeconds();
    const int polls = seconds * (1000 / kPollMillis);
    for (int i = 0;; ++i) {
      if (!plat::SvcQueryState(service.get(), &state)) {
        std::uint32_t err = plat::LastError();
        return QVAD_TOOL_FAIL(tool, err, "qvaddelservice error in QueryServiceStatus(%d)", static_cast<int>(err));
      }
      if (state == plat::kSvcStopped) break;
      if (i >= polls)
        return QVAD_TOOL_FAIL(tool, kStopTimeout, "qvaddelservice error service did not stop in %d seconds(%d)",
                              seconds, static_cast<int>(kStopTimeout));
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMillis));
    }
  }
  if (!plat::SvcDelete(service.get())) {
    std::uint32_t err = plat::LastError();
    return QVAD_TOOL_FAIL(tool, err, "qvaddelservice error in DeleteService(%d)", static_cast<int>(err));
  }
  service.reset();
  manager.reset();
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_RmServiceMain(argc, argv)); }
