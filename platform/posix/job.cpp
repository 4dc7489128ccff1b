// Jobs on POSIX. Linux has no object that ends a set of processes with its
// holder, so a job combines three things: each child is the leader of a
// process group of its own (ending the group ends what the child started);
// it gets SIGKILL as its death signal (set in the child before it runs, see
// spawn.cpp), which reaches it when the thread that started it ends, and
// every thread of a killed process ends; and each child has a record file,
// "<pid>-<start time>-<owner pid>-<job serial>", in the job's record folder
// while it runs. The start time (field 22 of /proc/<pid>/stat) tells a
// recorded child from a later process that got the same pid. A later run
// reads the records to end, and wait for, whatever could still be running.
#include "platform/job.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/posix/job_record.h"
#include "platform/sys.h"

namespace plat {

struct JobObject {
  std::string dir;
  std::string suffix;  // "-<owner pid>-<serial>": the records of this job
};

namespace {

std::atomic<unsigned> g_serial{0};

struct Record {
  std::string file;
  pid_t pid = 0;
  unsigned long long start = 0;
};

bool ParseRecord(const char *name, Record *r) {
  char *end = nullptr;
  long pid = std::strtol(name, &end, 10);
  if (end == name || *end != '-' || pid <= 0) return false;
  const char *s = end + 1;
  unsigned long long start = std::strtoull(s, &end, 10);
  if (end == s || *end != '-') return false;
  r->pid = static_cast<pid_t>(pid);
  r->start = start;
  return true;
}

std::vector<Record> ReadRecords(const std::string &dir) {
  std::vector<Record> out;
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) return out;
  while (dirent *e = readdir(d)) {
    Record r;
    if (e->d_name[0] == '.' || !ParseRecord(e->d_name, &r)) continue;
    r.file = dir + "/" + e->d_name;
    out.push_back(r);
  }
  closedir(d);
  return out;
}

// Whether the recorded process still runs: the pid is there, with the same
// start time, and is no zombie (a zombie writes nothing any more).
bool StillRuns(const Record &r) {
  char state = 0;
  unsigned long long start = 0;
  return ProcessStartTime(r.pid, &state, &start) && start == r.start && state != 'Z' && state != 'X';
}

void End(const Record &r) {
  // The group first: what the child started goes with it.
  kill(-r.pid, SIGKILL);
  kill(r.pid, SIGKILL);
}

}  // namespace

bool ProcessStartTime(pid_t pid, char *state, unsigned long long *start) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  std::FILE *f = std::fopen(path, "re");
  if (f == nullptr) return false;
  char buf[1024];
  std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  buf[n] = '\0';
  // The command name in brackets may hold blanks and brackets: the fields
  // that count start after the last closing bracket.
  char *p = std::strrchr(buf, ')');
  if (p == nullptr) return false;
  ++p;
  // Field 3 is the state; the start time is field 22.
  char *save = nullptr;
  char *field = strtok_r(p, " ", &save);
  for (int i = 3; field != nullptr; ++i, field = strtok_r(nullptr, " ", &save)) {
    if (i == 3) *state = field[0];
    if (i == 22) {
      *start = std::strtoull(field, nullptr, 10);
      return true;
    }
  }
  return false;
}

std::string JobRecordChild(JobHandle job, pid_t pid) {
  if (job == nullptr) return {};
  char state = 0;
  unsigned long long start = 0;
  // The child has not been reaped yet, so its entry is there even if it
  // has already ended.
  if (!ProcessStartTime(pid, &state, &start)) return {};
  std::string file = job->dir + "/" + std::to_string(pid) + "-" + std::to_string(start) + job->suffix;
  std::FILE *f = std::fopen(file.c_str(), "we");
  if (f == nullptr) return {};
  std::fclose(f);
  return file;
}

JobHandle CreateJob(const char *record_dir) {
  if (record_dir == nullptr || record_dir[0] == '\0') {
    SetLastError(kErrInvalidParameter);
    return nullptr;
  }
  if (mkdir(record_dir, 0755) != 0 && errno != EEXIST) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  auto *job = new JobObject;
  job->dir = record_dir;
  job->suffix = "-" + std::to_string(getpid()) + "-" + std::to_string(++g_serial);
  return job;
}

void CloseJob(JobHandle job) {
  if (job == nullptr) return;
  for (const Record &r : ReadRecords(job->dir)) {
    std::size_t n = r.file.size(), m = job->suffix.size();
    if (n < m || r.file.compare(n - m, m, job->suffix) != 0) continue;
    if (StillRuns(r)) End(r);
    unlink(r.file.c_str());
  }
  delete job;
}

int EndLeftoverProcesses(const char *record_dir, std::uint32_t wait_ms, int *ended) {
  if (ended != nullptr) *ended = 0;
  if (record_dir == nullptr) return 0;
  std::vector<Record> running;
  for (const Record &r : ReadRecords(record_dir)) {
    if (StillRuns(r)) {
      End(r);
      running.push_back(r);
    } else {
      unlink(r.file.c_str());
    }
  }
  if (ended != nullptr) *ended = static_cast<int>(running.size());
  std::int64_t deadline = MonotonicMillis() + wait_ms;
  for (;;) {
    std::vector<Record> still;
    for (const Record &r : running) {
      if (StillRuns(r)) {
        still.push_back(r);
      } else {
        unlink(r.file.c_str());
      }
    }
    running.swap(still);
    if (running.empty() || MonotonicMillis() >= deadline) break;
    usleep(5000);
  }
  return static_cast<int>(running.size());
}

}  // namespace plat
