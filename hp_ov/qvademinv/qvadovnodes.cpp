// Building this run's node list file: the node query of the definition
// file, run once through the warehouse's query tool.
#include "hp_ov/qvademinv/qvadovnodes.h"

#include <cstdio>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/sys.h"

int Qvad_InvOvNodeListMake(const char *install_dir, const char *razinv_path, const char *node_list_path,
                           const char *stdout_path) {
  char query[1024] = {};
  QvadGetPrivateProfileString("NodeInfo", "1", "", query, sizeof query, razinv_path);
  if (query[0] == '\0') {
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvNodeListMake - GetPrivateProfileString : Sec = %s Key = %s Path = %s.",
                 "NodeInfo", "1", razinv_path);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_SETTINGS_FAILED, nullptr);
    return -1;
  }
  std::string txt = std::string(install_dir) + plat::kSep + "var" + plat::kSep + "node.txt";
  if (txt.size() >= 260) return -1;
  // The node query is a plain query: it names no node, so nothing is substituted.
  if (Qvad_InvOvQueryFileMake(query, txt.c_str()) != 0) return -1;
  int r = Qvad_InvOvQueryCmd(txt.c_str(), node_list_path, stdout_path);
  if (r != 0) return r;
  std::remove(txt.c_str());
  return 0;
}
