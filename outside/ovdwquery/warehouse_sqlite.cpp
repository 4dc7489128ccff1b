// The SQLite warehouse: each result row becomes one CSV line. Numbers are
// written bare, texts bare unless they hold a comma, a double quote or a line
// break, in which case they are quoted with inner quotes doubled; NULL is an
// empty field.
#include <sqlite3.h>

#include <memory>

#include "warehouse.h"

namespace {

void WriteField(std::FILE *out, sqlite3_stmt *st, int col) {
  if (sqlite3_column_type(st, col) == SQLITE_NULL) return;
  const char *text = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
  if (text == nullptr) return;
  std::string v = text;
  if (v.find_first_of(",\"\r\n") == std::string::npos) {
    std::fputs(v.c_str(), out);
    return;
  }
  std::string q = "\"";
  for (char c : v) {
    if (c == '"') q += '"';
    q += c;
  }
  q += '"';
  std::fputs(q.c_str(), out);
}

}  // namespace

bool RunWarehouseQuery(const std::string &db_path, const std::string &query, std::FILE *out, std::string *message) {
  sqlite3 *raw = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    *message = raw != nullptr ? sqlite3_errmsg(raw) : "cannot open the warehouse";
    sqlite3_close(raw);
    return false;
  }
  std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(raw, sqlite3_close);
  const char *rest = query.c_str();
  while (rest != nullptr && *rest != '\0') {
    sqlite3_stmt *st = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db.get(), rest, -1, &st, &tail) != SQLITE_OK) {
      *message = sqlite3_errmsg(db.get());
      return false;
    }
    if (st == nullptr) break;  // only blanks or comments were left
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> guard(st, sqlite3_finalize);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      int n = sqlite3_column_count(st);
      for (int i = 0; i < n; ++i) {
        if (i > 0) std::fputc(',', out);
        WriteField(out, st, i);
      }
      std::fputc('\n', out);
    }
    if (rc != SQLITE_DONE) {
      *message = sqlite3_errmsg(db.get());
      return false;
    }
    rest = tail;
  }
  return true;
}
