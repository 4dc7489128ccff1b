// Building this run's node list file: the node query of the definition
// file, run once through the warehouse's query tool.
#include "hp_ov/qvademinv/qvadovnodes.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cmn/qvadeventlog.h"
#include "cmn/qvadmiscinv/qvadinvtrace.h"
#include "cmn/qvadmiscinv/qvadnodelist.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/sys.h"

int Qvad_InvOvNodeListMake(const InvRunContext &run, const QvadQuerySite &site, const char *node_list_path) {
  const char *razinv_path = run.RazInvPath;
  char query[1024] = {};
  QvadGetPrivateProfileString("NodeInfo", "1", "", query, sizeof query, razinv_path);
  if (query[0] == '\0') {
    QVAD_INV_ERR(1, "(Error)Qvad_InvOvNodeListMake - GetPrivateProfileString : Sec = %s Key = %s Path = %s.",
                 "NodeInfo", "1", razinv_path);
    Qvad_ReportEvent(kQvadEventSource, kQvadEventError, QVAD_MSG_SETTINGS_FAILED, nullptr);
    return -1;
  }
  std::string txt = std::string(run.InstallDir) + plat::kSep + "var" + plat::kSep + "node.txt";
  if (txt.size() >= 260) return -1;
  // The node query is a plain query: it names no node, so nothing is substituted.
  if (Qvad_InvOvQueryFileMake(query, txt.c_str()) != 0) return -1;
  int r = Qvad_InvOvQueryCmd(site, txt.c_str(), node_list_path);
  if (r == kQvadQueryTimedOut) Qvad_InvOvTellTimeout(site, "-", "NodeInfo");
  if (r == -2 || r == kQvadQueryTimedOut) Qvad_InvOvKeepFailedQuery(site, "-", "NodeInfo", txt.c_str());
  if (r != 0) return r;
  std::remove(txt.c_str());
  return 0;
}

namespace {

// A node name becomes a file name in the result folder: one that holds a
// separator, a drive colon, a parent reference or a control character would
// name a file elsewhere, so it is refused.
bool SafeNodeFileName(const char *name) {
  if (name[0] == '\0' || std::strstr(name, "..") != nullptr) return false;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p != 0; ++p) {
    if (*p < 0x20 || *p == 0x7F || *p == '/' || *p == '\\' || *p == ':') return false;
  }
  return true;
}

}  // namespace

// A name goes into the query templates unescaped, so a quote or a backslash
// in it could change what a query asks for; a name or attribute longer than
// the host's record holds would reach the host cut.
const char *Qvad_InvNodeRefusal(const NodeEntry &node) {
  if (node.TooLong) return "(Error)Node name or attribute too long for the record";
  if (!SafeNodeFileName(node.NodeName)) return "(Error)Node name refused as a file name";
  if (std::strpbrk(node.NodeName, "'\"\\") != nullptr) return "(Error)Node name refused in a query";
  return nullptr;
}
