// Hardware macros: values computed from the query result files.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>

#include "cmn/qvadhold.h"
#include "cmn/qvadmiscinv/qvadconv.h"
#include "cmn/qvadmiscinv/qvadfield.h"
#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "cmn/qvadnumber.h"
#include "platform/error.h"

namespace {

int Fail(QVAD_ERROR_TBL *err, int line, int result = -3) {
  Qvad_SetError(err, 22, kQvadBadInput, line, __FILE__);
  return result;
}

int PutOut(const std::string &value, char *out, int size, QVAD_ERROR_TBL *err) {
  if (value.size() >= static_cast<std::size_t>(size)) return Fail(err, __LINE__);
  std::memcpy(out, value.c_str(), value.size() + 1);
  return 0;
}

// What every file-reading macro starts with: its arguments and the result
// file named by the first argument's stem.
struct MacroFile {
  QvadMallocPtr<MACRO_ARG> args;
  int count = 0;
  QvadResultFile file;

  // 0, or the macro's result.
  int Open(const char *arg_text, int required, const char *dir, QVAD_ERROR_TBL *err) {
    MACRO_ARG *parsed = nullptr;
    count = Qvad_GetArgData(&parsed, arg_text, err);
    if (count < 0) return -3;
    args.reset(parsed);
    if (count != required) return Fail(err, __LINE__);
    std::string path = std::string(dir) + args.get()[0].Part[0] + ".csv";
    int error_number = 0;
    if (!file.Open(path, &error_number)) {
      Qvad_SetError(err, 2, static_cast<std::uint32_t>(error_number), __LINE__, __FILE__);
      return -1;
    }
    return 0;
  }
  const MACRO_ARG &Arg(int a) const { return args.get()[a - 1]; }

  // The next line: 0, 1 at end of file, -1 on a read failure.
  int Next(const char **line, QVAD_ERROR_TBL *err) { return file.Next(line, err); }
};

// The column of argument a in the line, quotes removed. A column number of
// 0 (or no number) gives an empty value when lenient. False when missing.
bool ColumnValue(const char *line, const MACRO_ARG &arg, bool lenient, char *value) {
  int column = Qvad_LeadingInt32(arg.Part[1]);
  if (lenient && column == 0) {
    value[0] = '\0';
    return true;
  }
  if (Qvad_FieldSplit(line, ',', column, value, 1024) != 1) return false;
  Qvad_StripQuotes(value);
  return true;
}

// The filter of argument a: 4 none, 3 in force, -1 failure.
int Filter(const MacroFile &m, int a, REF_KEY *key, QVAD_ERROR_TBL *err) {
  return Qvad_MacroReference(m.args.get(), key, a, err);
}

// 0 passes, 2 does not, -1 failure.
int Passes(int filter, const REF_KEY &key, const char *line, QVAD_ERROR_TBL *err) {
  return filter == 3 ? Qvad_FieldGetAcqRef(&key, line, err) : 0;
}

// Reads up to the first line that passes the filter and has a value in the
// first argument's column: 0 with the line and the value, else the macro's result.
int FirstValueLine(MacroFile &m, int filter, const REF_KEY &key, const char **line, char *value, QVAD_ERROR_TBL *err) {
  for (;;) {
    int rc = m.Next(line, err);
    if (rc == 1) return Fail(err, __LINE__);
    if (rc == -1) return -1;
    int pass = Passes(filter, key, *line, err);
    if (pass == -1) return -3;
    if (pass == 2) continue;
    if (!ColumnValue(*line, m.Arg(1), false, value)) return Fail(err, __LINE__);
    if (value[0] != '\0') return 0;
  }
}

long long SaturatingAdd(long long a, long long b) {
  if (b > 0 && a > std::numeric_limits<long long>::max() - b) return std::numeric_limits<long long>::max();
  if (b < 0 && a < std::numeric_limits<long long>::min() - b) return std::numeric_limits<long long>::min();
  return a + b;
}

}  // namespace

int Qvad_MacroTimeGet(char *out, int size, QVAD_ERROR_TBL *err) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  std::tm *t = std::localtime(&now);
  if (t != nullptr) local = *t;
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return PutOut(text, out, size, err);
}

int Qvad_MacroDiskTotalSize(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err) {
  MacroFile m;
  if (int rc = m.Open(args, 2, dir, err); rc != 0) return rc;
  REF_KEY key{};
  int filter = Filter(m, 2, &key, err);
  if (filter == 4) return Fail(err, __LINE__);
  if (filter == -1) return -3;
  // Sizes add up beyond 32 bits on today's disks: the total is 64-bit, and
  // held at its limits like each value rather than overflowing.
  long long total = 0;
  char value[1024];
  const char *line = nullptr;
  for (;;) {
    int rc = m.Next(&line, err);
    if (rc == 1) break;
    if (rc == -1) return -1;
    int pass = Passes(filter, key, line, err);
    if (pass == -1) return -3;
    if (pass == 2) continue;
    if (!ColumnValue(line, m.Arg(1), false, value)) return Fail(err, __LINE__);
    if (value[0] != '\0') total = SaturatingAdd(total, Qvad_LeadingInt64(value));
  }
  return PutOut(std::to_string(total), out, size, err);
}

int Qvad_MacroDriveInfo(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err) {
  MacroFile m;
  if (int rc = m.Open(args, 6, dir, err); rc != 0) return rc;
  REF_KEY key{};
  int filter = Filter(m, 6, &key, err);
  if (filter == 4) return Fail(err, __LINE__);
  if (filter == -1) return -3;
  const char *line = nullptr;
  for (;;) {
    int rc = m.Next(&line, err);
    if (rc == 1) return Fail(err, __LINE__);
    if (rc == -1) return -1;
    int pass = Passes(filter, key, line, err);
    if (pass == -1) return -3;
    if (pass == 0) break;
  }
  std::string joined;
  char value[1024], bytes[1024];
  for (int a = 1; a <= 5; ++a) {
    if (a > 1) joined += ",";
    if (!ColumnValue(line, m.Arg(a), true, value)) return Fail(err, __LINE__);
    if (value[0] == '\0') continue;
    if (a <= 2) {
      if (!Qvad_ConvMByteToByte(value, bytes, sizeof bytes, err)) return -3;
      joined += bytes;
    } else {
      joined += value;
    }
  }
  return PutOut(joined, out, size, err);
}

int Qvad_MacroCpuTotal(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err) {
  MacroFile m;
  if (int rc = m.Open(args, 1, dir, err); rc != 0) return rc;
  int lines = 0;
  const char *line = nullptr;
  for (;;) {
    int rc = m.Next(&line, err);
    if (rc == 1) break;
    if (rc == -1) return -1;
    ++lines;
  }
  if (lines == 0) return Fail(err, __LINE__);
  return PutOut(std::to_string(lines), out, size, err);
}

int Qvad_MacroFieldGet(const char *args, const char *dir, char *out, int size, const char *join, int required,
                       QVAD_ERROR_TBL *err) {
  MacroFile m;
  if (int rc = m.Open(args, required, dir, err); rc != 0) return rc;
  REF_KEY key{};
  int filter = Filter(m, m.count, &key, err);
  if (filter == -1) return -3;
  char value[1024];
  const char *line = nullptr;
  if (int rc = FirstValueLine(m, filter, key, &line, value, err); rc != 0) return rc;
  int values = filter == 3 ? m.count - 1 : m.count;
  std::string joined;
  for (int a = 1; a <= values; ++a) {
    if (a > 1) joined += join;
    if (!ColumnValue(line, m.Arg(a), a > 1, value)) return Fail(err, __LINE__);
    joined += value;
  }
  return PutOut(joined, out, size, err);
}

int Qvad_MacroColorGet(const char *args, const char *dir, char *out, int size, QVAD_ERROR_TBL *err) {
  MacroFile m;
  if (int rc = m.Open(args, 1, dir, err); rc != 0) return rc;
  REF_KEY key{};
  int filter = Filter(m, 1, &key, err);
  if (filter == -1) return -3;
  char value[1024], word[1024];
  const char *line = nullptr;
  if (int rc = FirstValueLine(m, filter, key, &line, value, err); rc != 0) return rc;
  if (Qvad_FieldSplit(value, ' ', 5, word, sizeof word) != 1) return Fail(err, __LINE__);
  return PutOut(word, out, size, err);
}

int Qvad_MacroHwSelect(const char *text, std::int32_t conv_flag, const char *convert, const char *dir, char *out,
                       int size, QVAD_ERROR_TBL *err) {
  char name[1024], args[1024];
  if (!Qvad_MacroStructDiv(text, name, sizeof name, args, sizeof args, err)) return -3;
  char value[1024] = {};
  int rc;
  if (std::strcmp(name, "TIMEGET") == 0)
    rc = Qvad_MacroTimeGet(value, sizeof value, err);
  else if (std::strcmp(name, "TOTALSIZE") == 0)
    rc = Qvad_MacroDiskTotalSize(args, dir, value, sizeof value, err);
  else if (std::strcmp(name, "DRIVE") == 0)
    rc = Qvad_MacroDriveInfo(args, dir, value, sizeof value, err);
  else if (std::strcmp(name, "CPUNUM") == 0)
    rc = Qvad_MacroCpuTotal(args, dir, value, sizeof value, err);
  else if (std::strcmp(name, "CPUDETAIL") == 0)
    rc = Qvad_MacroFieldGet(args, dir, value, sizeof value, " ", 3, err);
  else if (std::strcmp(name, "DISPLAY") == 0)
    rc = Qvad_MacroFieldGet(args, dir, value, sizeof value, "X", 2, err);
  else if (std::strcmp(name, "COLOR") == 0)
    rc = Qvad_MacroColorGet(args, dir, value, sizeof value, err);
  else
    return Fail(err, __LINE__);
  if (rc != 0) return rc;
  if (conv_flag == 1) {
    char converted[1024];
    if (!Qvad_ConvSelect(convert, value, converted, sizeof converted, err)) return -3;
    std::memcpy(value, converted, sizeof value);
  }
  return PutOut(value, out, size, err);
}
