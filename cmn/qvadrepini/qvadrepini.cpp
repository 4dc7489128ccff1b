// qvadrepini: writes RepInfo.ini, which tells the inventory engine how the
// asset repository is organised (server address, repository type, site).
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cmn/qvadnumber.h"
#include "cmn/qvadtool/qvadtool.h"
#include "platform/file.h"
#include "platform/sys.h"

namespace {

const QVAD_TOOL_DEF kTool = {
    "p:i:t:s:n:o:",
    "QvAdnerl03",
    "QvAdnerl04",
    "Usage: qvadrepini -p installpath -i ipaddress -t repositorytype \t\t\t         [-s sitetype][-n sitename ] [-o "
    "logfile]\n",
    "qvadrepini error invalid parameter.",
    "qvadrepini error write log file.",
    false,
    1024,
};

struct Options {
  char install[260];
  char address[40];
  char site_name[128];
  std::int32_t type;
  std::int32_t site_type;
  bool p, i, t, s, n;
};

bool TakeOption(void *context, int letter, const char *arg) {
  auto *o = static_cast<Options *>(context);
  switch (letter) {
    case 'p': return o->p = Qvad_CopyOptArg(o->install, sizeof o->install, arg);
    // The address and the site name become lines of the file: a line feed
    // in one would add a key of the caller's choosing.
    case 'i': return o->i = !Qvad_HasControlCharacter(arg) && Qvad_CopyOptArg(o->address, sizeof o->address, arg);
    case 'n': return o->n = !Qvad_HasControlCharacter(arg) && Qvad_CopyOptArg(o->site_name, sizeof o->site_name, arg);
    case 't': o->type = Qvad_LeadingInt32(arg); return o->t = true;
    case 's': o->site_type = Qvad_LeadingInt32(arg); return o->s = true;
    default: return false;
  }
}

// 0 for a usable set of options, else the negative code the message names.
int Validate(const Options &o) {
  if (!o.p || !o.i || !o.t) return -1;
  if (o.type == 2) return 0;
  if (o.type != 1) return -2;
  if (!o.s) return -3;
  if (o.site_type == 1) return 0;
  if (o.site_type == 2) return o.n ? 0 : -5;
  return -4;
}

// Formats one line into a cleared buffer and writes it whole; a line is
// written completely or reported as failed.
bool WriteLine(std::FILE *f, const char *format, const char *key, const char *value) {
  char line[1024];
  std::memset(line, 0, sizeof line);
  int n = value != nullptr ? std::snprintf(line, sizeof line, format, key, value)
                           : std::snprintf(line, sizeof line, format, key);
  if (n < 0 || n >= static_cast<int>(sizeof line)) {
    errno = EINVAL;
    return false;
  }
  // Unbuffered write errors show at once; buffered ones show at the flush.
  return std::fwrite(line, 1, static_cast<std::size_t>(n), f) == static_cast<std::size_t>(n) && std::fflush(f) == 0;
}

}  // namespace

std::uint32_t Qvad_RepIniMain(int argc, char **argv) {
  QvadTool tool(kTool);
  Options opt;
  std::memset(&opt, 0, sizeof opt);
  std::uint32_t status = 0;
  if (!tool.ParseOptions(argc, argv, TakeOption, &opt, &status)) return status;

  int code = Validate(opt);
  if (code != 0) return QVAD_TOOL_MISSING(tool, "qvadrepini error invalid parameter(%d).", code);

  char path[260];
  std::memset(path, 0, sizeof path);
  int len = std::snprintf(path, sizeof path, "%s%s%s", opt.install, plat::kEtcPiece, "RepInfo.ini");
  // A path that does not fit would name another file: refused, not cut.
  if (len < 0 || len >= static_cast<int>(sizeof path))
    return QVAD_TOOL_FAIL(tool, 2, "qvadrepini error create Repinfo.ini:%d.", ENAMETOOLONG);
  // The new file replaces the old one whole, so the engine never reads a
  // half-written file and a failed write leaves the old one.
  plat::FileReplacement file;
  int err = file.Open(path, true);
  if (err != 0) return QVAD_TOOL_FAIL(tool, 2, "qvadrepini error create Repinfo.ini:%d.", err);
  std::FILE *f = file.stream();

  int type = opt.type == 2 ? 0 : opt.site_type;
  char type_text[16];
  std::snprintf(type_text, sizeof type_text, "%d", type);
  bool site = opt.s && opt.site_type == 2;
  errno = 0;
  bool ok = WriteLine(f, "[%s]\n", "General", nullptr) && WriteLine(f, "%s=%s\n", "ServerIP", opt.address) &&
            WriteLine(f, "%s=%s\n", "Type", type_text) &&
            (site ? WriteLine(f, "%s=%s\n", "SiteName", opt.site_name) : WriteLine(f, "%s=\n", "SiteName", nullptr));
  if (!ok) {
    err = errno;
    return QVAD_TOOL_FAIL(tool, 4, "qvadrepini error write Repinfo.ini:%d.", err);
  }
  err = file.Commit();
  if (err != 0) return QVAD_TOOL_FAIL(tool, 4, "qvadrepini error write Repinfo.ini:%d.", err);
  return tool.Succeed();
}

int main(int argc, char **argv) { return Qvad_ToolExit(Qvad_RepIniMain(argc, argv)); }
