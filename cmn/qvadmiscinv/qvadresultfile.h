// Reading a query result file line by line, as the gatherers and macros do.
// Within a result cache scope every file is read from disk once and its
// lines are replayed to every later reader, so that a row of two hundred
// definitions over the same few files costs a few reads, not two hundred.
// Outside a scope every reader reads the file itself.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "cmn/qvaderror.h"

struct QvadCachedResult;

class QvadResultFile {
 public:
  QvadResultFile() = default;
  ~QvadResultFile();
  QvadResultFile(const QvadResultFile &) = delete;
  QvadResultFile &operator=(const QvadResultFile &) = delete;

  // Opens the file for reading; false with the C runtime's error number.
  bool Open(const std::string &path, int *error_number);
  // The next line (line feed included, valid until the next call): 0, 1 at
  // end of file, -1 on failure with the record filled, as Qvad_FieldGetMem.
  int Next(const char **line, QVAD_ERROR_TBL *err);
  // Passes over up to `count` lines without handing them out: 0 when all
  // were passed, otherwise what Next returned at the end. A cached file
  // moves at once, so picking line r of a kept file costs nothing per line.
  int Skip(std::size_t count, QVAD_ERROR_TBL *err);

 private:
  std::shared_ptr<const QvadCachedResult> cached_;
  std::size_t index_ = 0;
  std::FILE *file_ = nullptr;
  char *line_ = nullptr;
};

// Opens and closes a scope in which result files are read once. The caller
// ends the scope before the files can change (after each row). Files over
// a few megabytes are not kept.
void Qvad_InvResultCacheBegin();
void Qvad_InvResultCacheEnd();

// The scope as an object: begins at construction, ends at destruction.
class QvadResultCacheScope {
 public:
  QvadResultCacheScope() { Qvad_InvResultCacheBegin(); }
  ~QvadResultCacheScope() { Qvad_InvResultCacheEnd(); }
  QvadResultCacheScope(const QvadResultCacheScope &) = delete;
  QvadResultCacheScope &operator=(const QvadResultCacheScope &) = delete;
};
