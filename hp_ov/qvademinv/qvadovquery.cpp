// Running the data warehouse's query tool. One tool process per query;
// each is waited for until it ends and judged by its exit code and by the
// result file it leaves.
#include "hp_ov/qvademinv/qvadovquery.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadhold.h"
#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadnumber.h"
#include "cmn/qvadproc/qvadproc.h"
#include "cmn/qvadprofile.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/sys.h"

std::string Qvad_InvDirPiece(const char *name) { return std::string(plat::kSep) + name + plat::kSep; }

std::string Qvad_InvHardDir(const char *install_dir) {
  return std::string(install_dir) + Qvad_InvDirPiece("tmp") + "hard" + plat::kSep;
}

int Qvad_InvOvQueryFileMake(const char *text, const char *path) {
  QvadFile f(std::fopen(path, "w"));
  if (!f) {
    QVAD_INV_ERR(1, "(Error)fopen : FILE = %s", path);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_WORK_FILE_FAILED, nullptr);
    return -3;
  }
  if (std::fputs(text, f.get()) < 0 || std::fflush(f.get()) != 0) {
    int e = errno;
    QVAD_INV_ERR(1, "(Error)fputs : Data = %s ErrNo = %d", text, e);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_WORK_FILE_FAILED, nullptr);
    return -4;
  }
  return 0;
}

int Qvad_InvOvInstDirGet(char *buffer, std::uint32_t size) {
  std::memset(buffer, 0, size);
  if (QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue, buffer, size - 1) != 0) {
    QVAD_INV_ERR(1, "(Error)QvadGetRegistryData : File = %s", buffer);
    return -5;
  }
  std::string tool = std::string("bin") + plat::kSep + "ovdwquery" + plat::kExeSuffix;
  std::size_t have = std::strlen(buffer);
  if (have + tool.size() >= size) {
    QVAD_INV_ERR(1, "(Error)QvadGetRegistryData : File = %s", buffer);
    return -5;
  }
  std::memcpy(buffer + have, tool.c_str(), tool.size() + 1);
  return 0;
}

int Qvad_InvOvQueryCmd(const char *query_path, const char *result_path, const char *stdout_path) {
  std::remove(result_path);
  char tool[260];
  if (Qvad_InvOvInstDirGet(tool, sizeof tool) != 0) {
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_STEP_FAILED, "Qvad_InvOvQueryCmd", nullptr);
    return -1;
  }
  auto fail = [] {
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_QUERY_FAILED, nullptr);
    return -2;
  };
  char command[1024] = {};
  int n = std::snprintf(command, sizeof command, "%s -c -file \"%s\" -out \"%s\"",
                        (std::string("ovdwquery") + plat::kExeSuffix).c_str(), query_path, result_path);
  if (n < 0 || n >= static_cast<int>(sizeof command)) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateProcess : command line too long (%d) for %s", n, query_path);
    return fail();
  }
  QvadFile out(std::fopen(stdout_path, "wb"));
  if (!out) {
    QVAD_INV_ERR(1, "(Error)CreateFile : FileName = %s ErrNo = %d", stdout_path,
                 static_cast<int>(plat::ErrorFromErrno(errno)));
    return fail();
  }
  plat::Handle h = plat::FileHandleOf(out.get());
  QVAD_STARTUPINFO si{};
  si.use_std_handles = true;
  si.std_in = plat::kInvalidHandle;
  si.std_out = h;
  si.std_err = h;
  QVAD_PROCESS_INFORMATION pi{};
  QVAD_ERROR_TBL err{};
  if (Qvad_CreateProcess(tool, command, nullptr, nullptr, 1, 0, nullptr, nullptr, &si, &pi, &err) != 1) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateProcess : %s | %d | %d | %d", err.source, err.line, err.local_code,
                 static_cast<int>(err.system_code));
    return fail();
  }
  // Waits end the moment the tool exits; the step is only the time-out of one wait.
  int w;
  while ((w = plat::WaitProcess(pi.process, 500)) == 1) {
  }
  std::uint32_t code = 0;
  bool got = w == 0 && plat::ProcessExitCode(pi.process, &code);
  plat::CloseProcess(pi.process);
  out.reset();
  if (!got) {
    QVAD_INV_ERR(1, "(Error)GetExitCodeProcess : bRet = %d", 0);
    return fail();
  }
  if (code != 0) {
    QVAD_INV_ERR(1, "(Error)ovdwquery process: dwRet = %d", static_cast<int>(code));
    return fail();
  }
  if (!plat::FileExists(result_path)) {
    QVAD_INV_ERR(1, "(Error)Qvad_CreateProcess : No DB execution result file. Name = %s", result_path);
    return fail();
  }
  return 0;
}

int Qvad_InvOvQueryTblExec(const char *node, const char *dir, const QueryTableEntry *table, const char *stdout_path) {
  for (const QueryTableEntry *e = table; e != nullptr; e = e->next) {
    char query[1024];
    if (!Qvad_FormatQuery(e->query, node, query, sizeof query)) {
      QVAD_INV_ERR(1, "(Error)Query template refused : Key = %s Node = %s", e->key, node);
      return -1;
    }
    char txt[260], csv[260];
    int a = std::snprintf(txt, sizeof txt, "%s%s.txt", dir, e->key);
    int b = std::snprintf(csv, sizeof csv, "%s%s.csv", dir, e->key);
    if (a < 0 || a >= static_cast<int>(sizeof txt) || b < 0 || b >= static_cast<int>(sizeof csv)) return -1;
    if (Qvad_InvOvQueryFileMake(query, txt) != 0) return -1;
    if (Qvad_InvOvQueryCmd(txt, csv, stdout_path) != 0) return -1;
    std::remove(txt);
  }
  return 0;
}

int Qvad_InvOvInterface(const char *node, const char *install_dir, const char *stdout_path) {
  char ini[260];
  int k = std::snprintf(ini, sizeof ini, "%s%s%s", install_dir, plat::kEtcPiece, "RazInv.ini");
  if (k < 0 || k >= static_cast<int>(sizeof ini)) return -1;
  char templ[1024] = {};
  QvadGetPrivateProfileString("Interface", "1", "", templ, sizeof templ, ini);
  if (templ[0] == '\0') {
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvInterface - GetPrivateProfileString : Sec = %s Key = %s Path = %s.", "Interface",
                 "1", ini);
    return -1;
  }
  char query[1024];
  if (!Qvad_FormatQuery(templ, node, query, sizeof query)) {
    QVAD_INV_ERR(1, "(Error)Query template refused : Key = %s Node = %s", "Interface 1", node);
    return -1;
  }
  QVAD_INV_INFO(3, "(Info)QueryInterfaceTable : szQuery = %s", query);
  std::string hard = Qvad_InvHardDir(install_dir);
  std::string txt = hard + "Interface.txt";
  std::string csv = hard + "Interface.csv";
  if (txt.size() >= 260) return -1;
  if (Qvad_InvOvQueryFileMake(query, txt.c_str()) != 0) return -1;
  if (Qvad_InvOvQueryCmd(txt.c_str(), csv.c_str(), stdout_path) != 0) {
    std::remove(txt.c_str());
    return -1;
  }
  int count = -1;
  {
    QvadFile f(std::fopen(csv.c_str(), "r"));
    if (!f) {
      QVAD_INV_ERR(1, "(Error)fopen : FILE = %s", csv.c_str());
    } else {
      char line[1024] = {};
      errno = 0;
      if (std::fgets(line, sizeof line, f.get()) == nullptr) {
        // Say what happened: an empty result is no read error, and errno
        // holds whatever an earlier call left there.
        if (std::ferror(f.get())) {
          QVAD_INV_ERR(1, "(Error)fgets : ErrNo = %d.", errno);
        } else {
          QVAD_INV_ERR(1, "(Error)fgets : No interface count, the result is empty : FILE = %s", csv.c_str());
        }
      } else {
        count = Qvad_LeadingInt32(line);
      }
    }
  }
  std::remove(txt.c_str());
  std::remove(csv.c_str());
  return count;
}
