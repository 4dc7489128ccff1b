// Service registration on POSIX: a service is a systemd unit file, named as
// systemd-escape names it, in $QVAD_SYSTEMD_DIR (default /etc/systemd/system);
// it exists exactly when its unit file exists. systemctl, when it is on PATH,
// reloads and enables new units, reports the state and stops a service.
#include "platform/svcmgr.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/posix/spawn.h"
#include "platform/process.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct PosixSvc {
  bool manager = false;
  std::string dir;
  std::string systemctl;  // empty: not on PATH
  std::string unit;       // "<escaped name>.service"
  std::string path;       // the unit file
};

// The unit name systemd-escape gives a text: '/' becomes '-', and every
// byte other than a letter, digit, ':', '_' or a '.' that is not the first
// becomes \xNN, so that any service name maps to one valid file name.
std::string EscapeUnitName(const char *name) {
  std::string out;
  for (const char *p = name; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_' ||
                (c == '.' && p != name);
    if (c == '/') {
      out += '-';
    } else if (keep) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

bool HasControlCharacter(const char *text) {
  for (const char *p = text; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 32 || *p == 127) return true;
  return false;
}

// Runs systemctl with the arguments, its standard error on the null device;
// with out set, its standard output is collected. The exit status, or -1
// when it cannot be run.
int Systemctl(const PosixSvc &svc, std::vector<std::string> args, std::string *out) {
  args.insert(args.begin(), svc.systemctl);
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2] = {-1, -1};
  if (out != nullptr && pipe2(fds, O_CLOEXEC) != 0) return -1;
  SpawnSetup setup;
  setup.streams[0] = setup.streams[2] = kSpawnNull;
  setup.streams[1] = out != nullptr ? fds[1] : kSpawnNull;
  pid_t pid = 0;
  int rc = SpawnChild(svc.systemctl.c_str(), argv.data(), setup, &pid);
  if (out != nullptr) {
    close(fds[1]);
    if (rc == 0) {
      char buf[256];
      ssize_t n;
      while ((n = read(fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) out->append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
  }
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PosixSvc *Svc(SvcHandle h) { return reinterpret_cast<PosixSvc *>(h); }
SvcHandle AsHandle(PosixSvc *s) { return reinterpret_cast<SvcHandle>(s); }

}  // namespace

SvcHandle SvcOpenManager() {
  auto *m = new PosixSvc;
  m->manager = true;
  m->dir = GetEnv("QVAD_SYSTEMD_DIR");
  if (m->dir.empty()) m->dir = "/etc/systemd/system";
  struct stat st {};
  int err = 0;
  if (stat(m->dir.c_str(), &st) != 0)
    err = errno;
  else if (!S_ISDIR(st.st_mode))
    err = ENOTDIR;
  else if (access(m->dir.c_str(), W_OK | X_OK) != 0)
    // Creating services needs the right to write units, as it needs
    // administrative rights on Win32.
    err = errno;
  if (err != 0) {
    delete m;
    SetLastError(ErrorFromErrno(err));
    return nullptr;
  }
  m->systemctl = FindProgram("systemctl");
  return AsHandle(m);
}

static PosixSvc *ServiceOf(PosixSvc *m, const char *name) {
  auto *s = new PosixSvc;
  s->dir = m->dir;
  s->systemctl = m->systemctl;
  s->unit = EscapeUnitName(name) + ".service";
  s->path = m->dir + "/" + s->unit;
  return s;
}

SvcHandle SvcCreate(SvcHandle manager, const char *name, const char *command_line) {
  PosixSvc *m = Svc(manager);
  // A line end would start a directive of its own in the unit file.
  if (m == nullptr || !m->manager || *name == '\0' || HasControlCharacter(name) || HasControlCharacter(command_line)) {
    SetLastError(kErrInvalidParameter);
    return nullptr;
  }
  PosixSvc *s = ServiceOf(m, name);
  std::string exec;
  // systemd expands %-specifiers in ExecStart; the command line is meant literally.
  for (const char *p = command_line; *p != '\0'; ++p) exec += *p == '%' ? std::string("%%") : std::string(1, *p);
  // The service reports READY=1 once running, so systemd waits for it
  // (Type=notify). It reaches the network manager and the console over the
  // network, hence network-online. The adapter package's settings file
  // gives the registry file, the runtime folder and library paths; without
  // it the programs' defaults apply. systemd makes the runtime folder that
  // holds the pipe and removes it when the service ends.
  //
  // A stop signals the program alone (KillMode=mixed): it ends its child
  // itself, after it has recorded the stop. A source that fails at once
  // ends the service a few seconds after its start, a missing folder at
  // once; restarts then come 10 s after each end for as long as it takes
  // (no start limit), never for a second instance (75), which would only
  // fail again.
  std::string unit = "# Registered by qvadaddservice.\n[Unit]\nDescription=" + std::string(name) +
                     "\nWants=network-online.target\nAfter=network-online.target\nStartLimitIntervalSec=0\n\n"
                     "[Service]\nType=notify\nNotifyAccess=main\n"
                     "EnvironmentFile=-/etc/opt/qvadnerl/qvadovevt.env\nRuntimeDirectory=qvadnerl\n"
                     "ExecStart=" +
                     exec +
                     "\nRestart=on-failure\nRestartSec=10s\nRestartPreventExitStatus=75\n"
                     "KillMode=mixed\nKillSignal=SIGTERM\n"
                     "# The service program ends with 1 when it is stopped.\nSuccessExitStatus=1\n\n"
                     "[Install]\nWantedBy=multi-user.target\n";
  // Written beside its final name and linked there: the unit appears whole
  // or not at all, and an existing one is never replaced.
  std::string temp = s->path + ".tmp" + std::to_string(ProcessId());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err = 0;
  if (fd < 0) {
    err = errno;
  } else {
    if (write(fd, unit.data(), unit.size()) != static_cast<ssize_t>(unit.size()) || fsync(fd) != 0)
      err = errno ? errno : EIO;
    if (close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && link(temp.c_str(), s->path.c_str()) != 0) err = errno;
    unlink(temp.c_str());
  }
  if (err != 0) {
    delete s;
    SetLastError(err == EEXIST ? kErrServiceExists : ErrorFromErrno(err));
    return nullptr;
  }
  if (!s->systemctl.empty()) {
    if (Systemctl(*s, {"daemon-reload"}, nullptr) != 0 || Systemctl(*s, {"enable", s->unit}, nullptr) != 0) {
      // A unit systemd does not know would look registered but never start.
      unlink(s->path.c_str());
      Systemctl(*s, {"daemon-reload"}, nullptr);
      delete s;
      SetLastError(kErrFailedServiceControllerConnect);
      return nullptr;
    }
  }
  return AsHandle(s);
}

SvcHandle SvcOpen(SvcHandle manager, const char *name) {
  PosixSvc *m = Svc(manager);
  if (m == nullptr || !m->manager || *name == '\0') {
    SetLastError(kErrInvalidParameter);
    return nullptr;
  }
  PosixSvc *s = ServiceOf(m, name);
  struct stat st {};
  if (stat(s->path.c_str(), &st) != 0) {
    int err = errno;
    delete s;
    SetLastError(err == ENOENT ? kErrServiceDoesNotExist : ErrorFromErrno(err));
    return nullptr;
  }
  return AsHandle(s);
}

bool SvcQueryState(SvcHandle service, std::uint32_t *state) {
  PosixSvc *s = Svc(service);
  // Without systemctl nothing supervises the unit, so nothing runs it.
  if (s->systemctl.empty()) {
    *state = kSvcStopped;
    return true;
  }
  std::string out;
  if (Systemctl(*s, {"is-active", s->unit}, &out) < 0) {
    SetLastError(kErrFailedServiceControllerConnect);
    return false;
  }
  std::string word = out.substr(0, out.find_first_of(" \r\n"));
  if (word == "active" || word == "reloading" || word == "refreshing")
    *state = kSvcRunning;
  else if (word == "activating")
    *state = kSvcStartPending;
  else if (word == "deactivating")
    *state = kSvcStopPending;
  else
    *state = kSvcStopped;  // inactive, failed, unknown
  return true;
}

bool SvcStop(SvcHandle service) {
  PosixSvc *s = Svc(service);
  std::uint32_t state = 0;
  if (!SvcQueryState(service, &state)) return false;
  // The answers the Win32 service manager gives to a stop it cannot take.
  if (state == kSvcStopped) {
    SetLastError(kErrServiceNotActive);
    return false;
  }
  if (state == kSvcStopPending) {
    SetLastError(kErrServiceCannotAcceptCtrl);
    return false;
  }
  int rc = Systemctl(*s, {"stop", "--no-block", s->unit}, nullptr);
  if (rc != 0) {
    SetLastError(rc == 4 ? kErrServiceDoesNotExist : kErrFailedServiceControllerConnect);
    return false;
  }
  return true;
}

bool SvcDelete(SvcHandle service) {
  PosixSvc *s = Svc(service);
  if (!s->systemctl.empty()) Systemctl(*s, {"disable", s->unit}, nullptr);
  if (unlink(s->path.c_str()) != 0) {
    int err = errno;
    SetLastError(err == ENOENT ? kErrServiceMarkedForDelete : ErrorFromErrno(err));
    return false;
  }
  if (!s->systemctl.empty()) Systemctl(*s, {"daemon-reload"}, nullptr);
  return true;
}

void SvcClose(SvcHandle handle) { delete Svc(handle); }

}  // namespace plat
