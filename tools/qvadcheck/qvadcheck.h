// The preflight check's findings and the checks that make them. Each check
// adds one line: OK, WARN (a run works, but not as the settings probably
// mean) or FAIL (a run would fail), naming the file and the key, and for
// anything but OK, the fix.
#pragma once
#include <string>
#include <vector>

enum class CheckStatus { Ok, Warn, Fail };

struct QVAD_CHECK {
  CheckStatus status;
  std::string file;     // a file, a folder, or the registry
  std::string key;      // "[Section] key", a registry value, or empty
  std::string message;  // what was found
  std::string fix;      // what to do; empty for OK
};

struct CheckList {
  std::vector<QVAD_CHECK> items;
  void Ok(const std::string &file, const std::string &key, const std::string &message) {
    items.push_back({CheckStatus::Ok, file, key, message, ""});
  }
  void Warn(const std::string &file, const std::string &key, const std::string &message, const std::string &fix) {
    items.push_back({CheckStatus::Warn, file, key, message, fix});
  }
  void Fail(const std::string &file, const std::string &key, const std::string &message, const std::string &fix) {
    items.push_back({CheckStatus::Fail, file, key, message, fix});
  }
};

// What the install checks found, for the checks that come after them.
struct CheckContext {
  std::string install;     // the adapter's install folder; empty when not found
  std::string nnm_dir;     // the network manager's InstallDir; empty when not found
  int repository_type;     // RepInfo.ini [General] Type, or -1
  int delivery;            // RazSetting.ini [Repository] own as the engine reads it
};

// Registry values, nerladapter.env and the install folder.
void CheckInstall(CheckList *list, CheckContext *context);
// RazEvt.ini, RepInfo.ini, RazSetting.ini, RazInv.ini and its definitions.
void CheckSettings(CheckList *list, CheckContext *context);
// The tracer, the console library, the network manager's and the asset
// inventory's commands, the message catalogue.
void CheckComponents(CheckList *list, const CheckContext &context);
// The folders the service and the engine write.
void CheckFolders(CheckList *list, const CheckContext &context);
// With --probe: the node-list query run once through the engine's query path.
void CheckProbe(CheckList *list, const CheckContext &context);

// Output: one line per check and a summary, or one JSON document.
void PrintText(const CheckList &list, int exit_status);
void PrintJson(const CheckList &list, int exit_status, const char *version);
// 0 all OK, 1 warnings only, 2 failures.
int CheckExitStatus(const CheckList &list);
