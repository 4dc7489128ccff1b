// The warehouse probe (qvadcheck --probe): the node-list query of RazInv.ini
// run once through the engine's own query path, into a folder of the
// probe's own, so that a check can tell a warehouse that answers from one
// that does not, and show the warehouse's own words when it fails.
#include <cstdio>
#include <string>

#include "cmn/qvadmiscinv/qvadsettings.h"
#include "cmn/qvadprofile.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/sys.h"
#include "tools/qvadcheck/qvadcheck.h"

namespace {

// The first lines of the tool's own output, on one line.
std::string ToolWords(const std::string &path) {
  std::string words;
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return words;
  char buf[512];
  std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  for (std::size_t i = 0; i < n; ++i) {
    char c = buf[i];
    if (c == '\r') continue;
    words += c == '\n' ? (i + 1 < n ? " | " : "") : std::string(1, c >= 0x20 || c < 0 ? c : '?');
  }
  return words;
}

int CountLines(const std::string &path) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return -1;
  int lines = 0, last = '\n', c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '\n') ++lines;
    last = c;
  }
  std::fclose(f);
  return last == '\n' ? lines : lines + 1;
}

}  // namespace

void CheckProbe(CheckList *list, const CheckContext &context) {
  if (context.install.empty() || context.nnm_dir.empty()) return;  // told above already
  std::string razinv = context.install + plat::kEtcPiece + "RazInv.ini";
  char query[1024] = {};
  QvadGetPrivateProfileString("NodeInfo", "1", "", query, sizeof query, razinv.c_str());
  char tool[260] = {};
  if (query[0] == '\0' || Qvad_InvOvInstDirGet(tool, sizeof tool) != 0) return;  // told above already
  // A folder of its own: a run may be using tmp/hard meanwhile.
  std::string dir =
      context.install + plat::kSep + "tmp" + plat::kSep + "probe-" + std::to_string(plat::ProcessId()) + plat::kSep;
  if (!plat::MakeDirectory(dir.c_str())) {
    list->Fail(dir, "", "cannot be made: the probe cannot run", "make the tmp folder writable for this user.");
    return;
  }
  // With the run's own time-out, so a warehouse that never answers ends the
  // probe as it would end a run's query.
  int timeout = kQvadDefaultQueryTimeout;
  QVAD_ERROR_TBL err;
  std::string razsetting = context.install + plat::kEtcPiece + "RazSetting.ini";
  if (Qvad_GetQueryTimeout(razsetting.c_str(), &timeout, &err) != 1) timeout = kQvadDefaultQueryTimeout;
  QvadQuerySite site{tool, dir, dir + "ovdwquery.out"};
  site.timeout_s = static_cast<std::uint32_t>(timeout);
  std::string txt = dir + "node.txt", csv = dir + "node.csv";
  int rc = Qvad_InvOvQueryFileMake(query, txt.c_str());
  if (rc == 0) rc = Qvad_InvOvQueryCmd(site, txt.c_str(), csv.c_str());
  if (rc == 0) {
    list->Ok(razinv, "[NodeInfo] 1",
             "the warehouse answered the node query: " + std::to_string(CountLines(csv)) + " nodes (probe)");
  } else if (rc == kQvadQueryTimedOut) {
    list->Fail(razinv, "[NodeInfo] 1",
               "the warehouse did not answer the node query within " + std::to_string(timeout) +
                   " s ([Inventory] QueryTimeout): Init would end with -6 (probe)",
               "check that the data warehouse answers; raise QueryTimeout only if a healthy warehouse needs longer.");
  } else {
    std::string words = ToolWords(site.stdout_path);
    list->Fail(razinv, "[NodeInfo] 1",
               "the warehouse did not answer the node query (probe): " +
                   (words.empty() ? std::string("the query tool said nothing") : "the query tool said: " + words),
               "check the warehouse the query tool reaches and the query; run a whole inventory only once this "
               "passes (docs/troubleshooting.md, \"Init fails\").");
  }
  for (const std::string &f : {txt, csv, site.stdout_path}) std::remove(f.c_str());
  plat::RemoveFolder(dir.c_str());
}
