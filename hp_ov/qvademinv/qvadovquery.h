// Asking the network manager's data warehouse: every answer comes from its
// query tool, run on a query file with the result going to a CSV file.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "cmn/qvadmiscinv/qvadquerytbl.h"
#include "platform/job.h"

// Key and value that name the network manager's install folder (ends in a separator).
inline constexpr const char kQvadNnmKey[] = "SOFTWARE\\Hewlett-Packard\\HP OpenView";
inline constexpr const char kQvadNnmValue[] = "InstallDir";

// A folder of the install as it stands between the install directory and a
// file name: the separator, the name, the separator.
std::string Qvad_InvDirPiece(const char *name);
// The folder the queries and their results go to: <install>tmp/hard with a
// closing separator.
std::string Qvad_InvHardDir(const char *install_dir);

// Where a node's queries run: the query tool, the folder their query and
// result files go to, and the file that takes the tool's own output.
struct QvadQuerySite {
  const char *tool;         // full path; empty when the tool was not found (every query fails)
  std::string dir;          // ends in a separator
  std::string stdout_path;  // the tool's standard output and error
  // When set while a tool runs, the tool is ended and the query fails.
  const std::atomic<bool> *cancel = nullptr;
  // Seconds a tool may run before it is ended and its query fails; 0: no limit.
  std::uint32_t timeout_s = 0;
  // The run's job every tool belongs to (null: none).
  plat::JobObject *job = nullptr;
};

// What Qvad_InvOvQueryCmd and Qvad_InvOvInterface return for a tool that
// ran past the site's time-out (and was ended).
inline constexpr int kQvadQueryTimedOut = -4;

// Writes the query text to the file (no line end added): 0, -3 cannot create, -4 cannot write.
int Qvad_InvOvQueryFileMake(const char *text, const char *path);
// Full path of the query tool into a 260-byte buffer: 0, or -5.
int Qvad_InvOvInstDirGet(char *buffer, std::uint32_t size);
// Runs the tool: 0 ran, exited with 0 and left the result; -1 not located;
// -2 otherwise; -3 cancelled (the tool ended, nothing reported);
// kQvadQueryTimedOut past the time-out (the tool ended; the caller, who
// knows the node and the key, tells it with Qvad_InvOvTellTimeout).
int Qvad_InvOvQueryCmd(const QvadQuerySite &site, const char *query_path, const char *result_path);
// Traces a query that ran past its time (error channel: node, key, the
// time-out) and reports it to the event log, once per run.
void Qvad_InvOvTellTimeout(const QvadQuerySite &site, const char *node, const char *key);
// A new run: its first time-out is reported again.
void Qvad_InvOvTimeoutNewRun();
// A query that failed (its status, no result, its time) keeps its evidence
// where Close does not clean: <install>/var/failed/<run>/<node>-<key>.query
// (the query text) and .out (the tool's output and error text); the last
// kQvadFailedRunsKept runs' folders are kept. Traced and reported (event
// 0xE0000C85 with the node, the key and the folder). Returns the folder, or
// empty when it could not be made.
inline constexpr int kQvadFailedRunsKept = 5;
std::string Qvad_InvOvKeepFailedQuery(const QvadQuerySite &site, const char *node, const char *key,
                                      const char *query_path);
// Runs the whole table for a node into dir<key>.csv: 0, or -1 at the first failure.
int Qvad_InvOvQueryTblExec(const QvadQuerySite &site, const char *node, const QueryTableEntry *table);
// The node's interface count from the query template ("Interface" "1" of
// RazInv.ini; empty: not set), run in the site's folder; or -1, or
// kQvadQueryTimedOut (told already).
int Qvad_InvOvInterface(const QvadQuerySite &site, const char *templ, const char *node);
