// The POSIX registry: one file in the registry editor's export format.
// Key and value names compare case-insensitively as on Windows. Readers take
// ASCII/UTF-8 (BOM or not) and UTF-16LE with a BOM, LF or CR LF, with or
// without sections for ancestor keys. A file whose first line is not the
// export header is not a registry file: it reads and writes as a damaged
// registry (ERROR_BADDB), so a writer never replaces a file it does not
// understand. Writers lock, re-read, change only the lines of the keys and
// values they change, and replace the file of a symbolic link's target as a
// whole, keeping its mode and owner: comments and lines this reader does not
// understand stay byte for byte, a crash never leaves half a registry, and
// two writers never lose each other's keys. Reading is linear in the size of
// the file, however many keys it holds.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/sys.h"

namespace plat {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";

struct RegValue {
  std::string name;  // empty: the default value "@"
  std::uint32_t type = kRegSz;
  std::string data;  // raw bytes as RegQueryValueExA returns them
};

// Names fold as the registry folds them for ASCII; other bytes compare as they are.
std::string Fold(const std::string &s) {
  std::string out = s;
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

bool IEquals(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

struct RegKey {
  std::string path;  // full path, "HKEY_LOCAL_MACHINE\\...", as first written
  bool gone = false;  // deleted by this write
  std::vector<RegValue> values;
  // Folded name -> values, built once a key holds many values; a handful is
  // faster to search in place.
  std::unique_ptr<std::unordered_map<std::string, std::size_t>> value_index;

  static constexpr std::size_t kIndexFrom = 16;

  RegValue *Find(const std::string &name) {
    if (value_index) {
      auto it = value_index->find(Fold(name));
      return it == value_index->end() ? nullptr : &values[it->second];
    }
    for (RegValue &v : values)
      if (IEquals(v.name, name)) return &v;
    return nullptr;
  }
  void Put(const RegValue &v) {
    if (RegValue *old = Find(v.name)) {
      *old = v;
      return;
    }
    values.push_back(v);
    if (value_index) {
      value_index->emplace(Fold(v.name), values.size() - 1);
    } else if (values.size() >= kIndexFrom) {
      value_index = std::make_unique<std::unordered_map<std::string, std::size_t>>();
      for (std::size_t i = 0; i < values.size(); ++i) value_index->emplace(Fold(values[i].name), i);
    }
  }
  void Erase(const std::string &name) {
    RegValue *v = Find(name);
    if (v == nullptr) return;
    values.erase(values.begin() + (v - values.data()));
    if (value_index) {
      value_index->clear();
      for (std::size_t i = 0; i < values.size(); ++i) value_index->emplace(Fold(values[i].name), i);
    }
  }
};

std::string RegistryPath() {
  std::string p = GetEnv("QVAD_REGISTRY");
  return p.empty() ? "/etc/qvadnerl/registry.reg" : p;
}


std::string FullKey(RegRoot root, const char *subkey) {
  std::string k = root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
  std::string s = subkey != nullptr ? subkey : "";
  while (!s.empty() && s.front() == '\\') s.erase(0, 1);
  while (!s.empty() && s.back() == '\\') s.pop_back();
  if (!s.empty()) k += "\\" + s;
  return k;
}

void AppendUtf8(std::string &out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE bytes (no BOM) to UTF-8.
std::string FromUtf16(const std::string &in) {
  std::string out;
  for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
    std::uint32_t u = static_cast<unsigned char>(in[i]) | (static_cast<unsigned char>(in[i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < in.size()) {
      std::uint32_t lo = static_cast<unsigned char>(in[i + 2]) | (static_cast<unsigned char>(in[i + 3]) << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, u);
  }
  return out;
}

// UTF-8 (or plain bytes) to UTF-16LE; bytes that are not valid UTF-8 pass as Latin-1.
std::string ToUtf16(const std::string &in) {
  std::string out;
  auto put = [&out](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  for (std::size_t i = 0; i < in.size();) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    std::uint32_t cp = c;
    std::size_t len = 1;
    if (c >= 0xC0 && c < 0xE0 && i + 1 < in.size() && (in[i + 1] & 0xC0) == 0x80) {
      cp = ((c & 0x1F) << 6) | (in[i + 1] & 0x3F);
      len = 2;
    } else if (c >= 0xE0 && c < 0xF0 && i + 2 < in.size() && (in[i + 1] & 0xC0) == 0x80 && (in[i + 2] & 0xC0) == 0x80) {
      cp = ((c & 0x0F) << 12) | ((in[i + 1] & 0x3F) << 6) | (in[i + 2] & 0x3F);
      len = 3;
    } else if (c >= 0xF0 && i + 3 < in.size() && (in[i + 1] & 0xC0) == 0x80 && (in[i + 2] & 0xC0) == 0x80 &&
               (in[i + 3] & 0xC0) == 0x80) {
      cp = ((c & 0x07) << 18) | ((in[i + 1] & 0x3F) << 12) | ((in[i + 2] & 0x3F) << 6) | (in[i + 3] & 0x3F);
      len = 4;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
    i += len;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses a quoted string starting at s[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(const std::string &s, std::size_t &pos, std::string &out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < s.size()) {
      char n = s[pos++];
      if (n == 'n')
        out += '\n';
      else if (n == 'r')
        out += '\r';
      else if (n == '0')
        out += '\0';
      else
        out += n;
      continue;
    }
    out += c;
  }
  return false;
}

bool ParseValueData(const std::string &text, RegValue &v) {
  if (!text.empty() && text[0] == '"') {
    std::size_t pos = 0;
    std::string s;
    if (!ParseQuoted(text, pos, s)) return false;
    v.type = kRegSz;
    v.data = s + '\0';
    return true;
  }
  if (text.compare(0, 6, "dword:") == 0) {
    std::uint32_t n = static_cast<std::uint32_t>(std::strtoul(text.c_str() + 6, nullptr, 16));
    v.type = kRegDword;
    v.data.assign(reinterpret_cast<const char *>(&n), 4);
    return true;
  }
  if (text.compare(0, 3, "hex") == 0) {
    std::size_t pos = 3;
    std::uint32_t type = kRegBinary;
    if (pos < text.size() && text[pos] == '(') {
      type = static_cast<std::uint32_t>(std::strtoul(text.c_str() + pos + 1, nullptr, 16));
      pos = text.find(')', pos);
      if (pos == std::string::npos) return false;
      ++pos;
    }
    if (pos >= text.size() || text[pos] != ':') return false;
    ++pos;
    std::string bytes;
    int hi = -1;
    for (; pos < text.size(); ++pos) {
      int d = HexDigit(text[pos]);
      if (d < 0) continue;
      if (hi < 0) {
        hi = d;
      } else {
        bytes += static_cast<char>((hi << 4) | d);
        hi = -1;
      }
    }
    v.type = type;
    // Expandable and multi-strings are exported as UTF-16LE; the ANSI
    // calls see them as single-byte text.
    v.data = (type == kRegExpandSz || type == 7) ? FromUtf16(bytes) : bytes;
    return true;
  }
  return false;
}

// One logical line of the file (physical lines joined where hex data goes
// on), kept as it was read so that a writer can put it back unchanged.
enum class LineKind { Other, Section, Value };

struct DocLine {
  std::string raw;  // the line's bytes, continuations joined by LF, without its line end
  LineKind kind = LineKind::Other;
  std::size_t key = 0;  // Section and Value lines: index into RegDoc::keys
  std::string name;     // Value lines: the value's name
  bool removed = false;
};

struct RegDoc {
  std::string header;  // the first line as read; empty for a new file
  std::vector<DocLine> lines;
  std::vector<RegKey> keys;  // keys with a section of their own, in file order
  std::unordered_map<std::string, std::size_t> index;  // folded path -> keys

  RegKey *Find(const std::string &path) {
    auto it = index.find(Fold(path));
    return it == index.end() ? nullptr : &keys[it->second];
  }
  std::size_t IndexOf(const std::string &path) const { return index.find(Fold(path))->second; }
  std::size_t Add(const std::string &path) {
    auto [it, added] = index.emplace(Fold(path), keys.size());
    if (added) {
      keys.emplace_back();
      keys.back().path = path;
    }
    return it->second;
  }
};

// Is key equal to, or an ancestor of, path? Compares in place: a lookup
// runs over every known key.
bool IsSelfOrAncestor(const std::string &key, const std::string &path) {
  if (path.size() < key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    char x = key[i], y = path[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return path.size() == key.size() || path[key.size()] == '\\';
}

// A key exists when it or one of its descendants has a section.
bool KeyPresent(const RegDoc &doc, const std::string &full) {
  for (const RegKey &k : doc.keys)
    if (!k.gone && IsSelfOrAncestor(full, k.path)) return true;
  return false;
}

// Classifies one logical line and adds what it says to the key view.
// current is the key that value lines belong to, or none after a line that
// ends a key ("[-...]").
void AddLine(RegDoc &doc, std::string raw, const std::string &text, std::size_t &current, bool &in_key,
             bool keep_lines) {
  DocLine dl;
  dl.raw = std::move(raw);
  if (!text.empty() && text[0] == '[') {
    std::size_t end = text.rfind(']');
    if (end != std::string::npos) {
      std::string name = text.substr(1, end - 1);
      if (!name.empty() && name[0] == '-') {
        in_key = false;
      } else {
        current = doc.Add(name);
        in_key = true;
        dl.kind = LineKind::Section;
        dl.key = current;
      }
    }
  } else if (in_key && !text.empty() && (text[0] == '@' || text[0] == '"')) {
    RegValue v;
    std::size_t pos = text[0] == '@' ? 1 : 0;
    if (text[0] == '@' || ParseQuoted(text, pos, v.name)) {
      while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
      if (pos < text.size() && text[pos] == '=') {
        ++pos;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        std::string data = text.substr(pos);
        if (data != "-" && ParseValueData(data, v)) {
          dl.kind = LineKind::Value;
          dl.key = current;
          dl.name = v.name;
          doc.keys[current].Put(v);
        }
      }
    }
  }
  if (keep_lines) doc.lines.push_back(std::move(dl));
}

enum class LoadResult { Ok, Missing, Denied, Failed, NotRegistry };

// Cuts the text into logical lines. Only hex data continues on the next line
// (a trailing backslash); a string value that ends in an escaped backslash
// does not. One pass: the time grows with the size of the file alone.
// A reader needs only the keys; a writer keeps the lines too (keep_lines).
LoadResult Parse(const std::string &text, RegDoc &doc, bool keep_lines) {
  // An empty file (or one of blank lines) is an empty registry.
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return LoadResult::Ok;
  // Room for the keys a file of this size usually holds, so the index is
  // not rebuilt again and again as it grows.
  doc.index.reserve(text.size() / 128);
  std::size_t current = 0;
  bool in_key = false, first = true, continuing = false;
  std::string raw, joined;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t stop = nl == std::string::npos ? text.size() : nl;
    std::size_t len = stop - pos;
    if (len > 0 && text[stop - 1] == '\r') --len;
    std::string_view line(text.data() + pos, len);
    pos = nl == std::string::npos ? text.size() : nl + 1;
    if (first) {
      first = false;
      std::string_view h = line;
      while (!h.empty() && (h.back() == ' ' || h.back() == '\t')) h.remove_suffix(1);
      if (!IEquals(std::string(h), kHeader)) return LoadResult::NotRegistry;
      doc.header = std::string(line);
      continue;
    }
    std::string_view piece = line;
    if (continuing) {
      if (keep_lines) {
        raw += '\n';
        raw += line;
      }
      std::size_t b = line.find_first_not_of(" \t");
      piece = b == std::string_view::npos ? std::string_view() : line.substr(b);
    } else if (keep_lines) {
      raw.assign(line);
    }
    bool cont = !piece.empty() && piece.back() == '\\' && (continuing || piece.find("=hex") != std::string_view::npos);
    if (cont) piece.remove_suffix(1);
    joined += piece;
    continuing = cont;
    if (!cont) {
      AddLine(doc, std::move(raw), joined, current, in_key, keep_lines);
      raw.clear();
      joined.clear();
    }
  }
  if (continuing) {
    AddLine(doc, std::move(raw), joined, current, in_key, keep_lines);
    // The file ended inside continued data: a blank line ends it, so a line
    // that a writer adds after it is not read as part of it.
    if (keep_lines) doc.lines.push_back(DocLine{});
  }
  return LoadResult::Ok;
}

LoadResult Load(const std::string &path, RegDoc &doc, bool keep_lines = false) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    if (errno == ENOENT || errno == ENOTDIR) return LoadResult::Missing;
    return errno == EACCES || errno == EPERM ? LoadResult::Denied : LoadResult::Failed;
  }
  std::string raw;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) raw.append(buf, n);
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) return LoadResult::Failed;
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
    // Half a UTF-16 character at the end: the file was cut.
    if (raw.size() % 2 != 0) return LoadResult::NotRegistry;
    return Parse(FromUtf16(raw.substr(2)), doc, keep_lines);
  }
  if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
  return Parse(raw, doc, keep_lines);
}

std::string Quote(const std::string &s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string HexList(const std::string &bytes) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i != 0) out += ',';
    out += b;
  }
  return out;
}

std::string ValueLine(const RegValue &v) {
  std::string out = v.name.empty() ? "@" : Quote(v.name);
  out += '=';
  if (v.type == kRegSz && !v.data.empty() && v.data.back() == '\0' && v.data.find('\0') == v.data.size() - 1 &&
      v.data.find('\n') == std::string::npos && v.data.find('\r') == std::string::npos) {
    out += Quote(v.data.substr(0, v.data.size() - 1));
  } else if (v.type == kRegDword && v.data.size() == 4) {
    std::uint32_t n;
    std::memcpy(&n, v.data.data(), 4);
    char b[16];
    std::snprintf(b, sizeof b, "dword:%08x", n);
    out += b;
  } else {
    std::string bytes = (v.type == kRegExpandSz || v.type == 7) ? ToUtf16(v.data) : v.data;
    char b[16];
    if (v.type == kRegBinary)
      std::snprintf(b, sizeof b, "hex:");
    else
      std::snprintf(b, sizeof b, "hex(%x):", v.type);
    out += b + HexList(bytes);
  }
  return out;
}

// The file as it was read with the changed lines: UTF-8 and LF, as every
// writer of the file writes it.
std::string Serialise(const RegDoc &doc) {
  std::string out = doc.header.empty() ? kHeader : doc.header;
  out += '\n';
  for (const DocLine &l : doc.lines) {
    if (l.removed) continue;
    out += l.raw;
    out += '\n';
  }
  return out;
}

// A new section at the end of the file, after a blank line as an export has.
void AppendSection(RegDoc &doc, std::size_t key) {
  bool blank_before = false;
  for (auto it = doc.lines.rbegin(); it != doc.lines.rend(); ++it) {
    if (it->removed) continue;
    blank_before = it->raw.empty();
    break;
  }
  if (!blank_before) doc.lines.push_back(DocLine{});
  DocLine dl;
  dl.raw = "[" + doc.keys[key].path + "]";
  dl.kind = LineKind::Section;
  dl.key = key;
  doc.lines.push_back(std::move(dl));
}

void SetValue(RegDoc &doc, const std::string &full, const RegValue &nv) {
  std::size_t k;
  if (doc.Find(full) == nullptr) {
    k = doc.Add(full);
    AppendSection(doc, k);
  } else {
    k = doc.IndexOf(full);
  }
  // The line that reads last for this name is rewritten; a new value goes
  // after the last line of the key's last section.
  std::size_t match = std::string::npos, after = std::string::npos;
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const DocLine &l = doc.lines[i];
    if (l.removed || l.kind == LineKind::Other || l.key != k) continue;
    after = i;
    if (l.kind == LineKind::Value && IEquals(l.name, nv.name)) match = i;
  }
  if (match != std::string::npos) {
    doc.lines[match].raw = ValueLine(nv);
  } else {
    DocLine dl;
    dl.raw = ValueLine(nv);
    dl.kind = LineKind::Value;
    dl.key = k;
    dl.name = nv.name;
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(dl));
  }
  doc.keys[k].Put(nv);
}

std::uint32_t LoadCode(LoadResult r) {
  switch (r) {
    case LoadResult::Ok: return 0;
    case LoadResult::Missing: return kErrFileNotFound;
    case LoadResult::Denied: return kErrAccessDenied;
    // No export header, a cut UTF-16 file, binary data: what the registry
    // says of a damaged hive.
    case LoadResult::NotRegistry: return kErrBadDb;
    default: return kErrRegistryIo;
  }
}

// Writes the text as the new content of the file, through FileReplacement:
// a read-only file is refused (5) and the file's mode and owner are kept.
std::uint32_t WriteDoc(const std::string &path, const std::string &text) {
  FileReplacement file;
  int err = file.Open(path.c_str(), false);
  if (err == 0) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size()) err = errno != 0 ? errno : EIO;
  }
  if (err == 0) err = file.Commit();
  return err == 0 ? 0 : ErrorFromErrno(err);
}

// Runs change() on the file's content under an exclusive lock and writes the
// result. The lock and the file are those of a symbolic link's target, so
// writers through different links take turns too.
template <typename Change>
std::uint32_t Modify(Change change) {
  int link_err = 0;
  std::string path = FileBehindLinks(RegistryPath().c_str(), &link_err);
  if (path.empty()) return ErrorFromErrno(link_err);
  std::string lock = path + ".lock";
  int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return ErrorFromErrno(errno);
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      std::uint32_t e = ErrorFromErrno(errno);
      close(fd);
      return e;
    }
  }
  RegDoc doc;
  LoadResult lr = Load(path, doc, true);
  std::uint32_t rc = 0;
  if (lr != LoadResult::Ok && lr != LoadResult::Missing) {
    rc = LoadCode(lr);
  } else {
    bool changed = false;
    rc = change(doc, changed);
    if (rc == 0 && changed) rc = WriteDoc(path, Serialise(doc));
  }
  flock(fd, LOCK_UN);
  close(fd);
  return rc;
}

}  // namespace

std::uint32_t RegistryKeyExists(RegRoot root, const char *subkey) {
  RegDoc doc;
  LoadResult lr = Load(RegistryPath(), doc);
  if (lr != LoadResult::Ok) return LoadCode(lr);
  return KeyPresent(doc, FullKey(root, subkey)) ? 0 : kErrFileNotFound;
}

std::uint32_t RegistryQuery(RegRoot root, const char *subkey, const char *name, std::uint32_t *type, void *data,
                            std::uint32_t *size) {
  RegDoc doc;
  LoadResult lr = Load(RegistryPath(), doc);
  if (lr != LoadResult::Ok) return LoadCode(lr);
  std::string full = FullKey(root, subkey);
  if (!KeyPresent(doc, full)) return kErrFileNotFound;
  RegKey *k = doc.Find(full);
  const RegValue *v = k != nullptr ? k->Find(name != nullptr ? name : "") : nullptr;
  if (v == nullptr) return kErrFileNotFound;
  if (type != nullptr) *type = v->type;
  std::uint32_t need = static_cast<std::uint32_t>(v->data.size());
  if (size == nullptr) return data == nullptr ? 0 : kErrInvalidParameter;
  if (data != nullptr && need > *size) {
    *size = need;
    return kErrMoreData;
  }
  if (data != nullptr) std::memcpy(data, v->data.data(), need);
  *size = need;
  return 0;
}

std::uint32_t RegistryCreateKey(RegRoot root, const char *subkey) {
  std::string full = FullKey(root, subkey);
  return Modify([&](RegDoc &doc, bool &changed) -> std::uint32_t {
    if (doc.Find(full) == nullptr) {
      AppendSection(doc, doc.Add(full));
      changed = true;
    }
    return 0;
  });
}

std::uint32_t RegistrySet(RegRoot root, const char *subkey, const char *name, std::uint32_t type, const void *data,
                          std::uint32_t size) {
  std::string full = FullKey(root, subkey);
  RegValue nv;
  nv.name = name != nullptr ? name : "";
  nv.type = type;
  nv.data.assign(static_cast<const char *>(data), size);
  // String data is kept with exactly one terminating NUL, as the registry keeps it.
  if (type == kRegSz || type == kRegExpandSz) {
    std::size_t z = nv.data.find('\0');
    if (z != std::string::npos) nv.data.resize(z);
    nv.data += '\0';
  }
  return Modify([&](RegDoc &doc, bool &changed) -> std::uint32_t {
    SetValue(doc, full, nv);
    changed = true;
    return 0;
  });
}

std::uint32_t RegistryDeleteValue(RegRoot root, const char *subkey, const char *name) {
  std::string full = FullKey(root, subkey);
  std::string vname = name != nullptr ? name : "";
  return Modify([&](RegDoc &doc, bool &changed) -> std::uint32_t {
    if (!KeyPresent(doc, full)) return kErrFileNotFound;
    RegKey *k = doc.Find(full);
    if (k == nullptr || k->Find(vname) == nullptr) return kErrFileNotFound;
    // Every line of the name goes, or an earlier one would read again.
    std::size_t ki = doc.IndexOf(full);
    for (DocLine &l : doc.lines)
      if (l.kind == LineKind::Value && l.key == ki && IEquals(l.name, vname)) l.removed = true;
    k->Erase(vname);
    changed = true;
    return 0;
  });
}

std::uint32_t RegistryDeleteKey(RegRoot root, const char *subkey) {
  std::string full = FullKey(root, subkey);
  return Modify([&](RegDoc &doc, bool &changed) -> std::uint32_t {
    if (!KeyPresent(doc, full)) return kErrFileNotFound;
    for (const RegKey &k : doc.keys)
      if (!k.gone && k.path.size() > full.size() && IsSelfOrAncestor(full, k.path)) return kErrAccessDenied;
    if (doc.Find(full) != nullptr) {
      std::size_t ki = doc.IndexOf(full);
      // The key's sections and values go; comments and lines not understood
      // stay, and the blank line before a section goes with it.
      for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        DocLine &l = doc.lines[i];
        if (l.kind == LineKind::Other || l.key != ki) continue;
        l.removed = true;
        if (l.kind == LineKind::Section && i > 0 && !doc.lines[i - 1].removed &&
            doc.lines[i - 1].kind == LineKind::Other && doc.lines[i - 1].raw.empty())
          doc.lines[i - 1].removed = true;
      }
      doc.keys[ki].gone = true;
      doc.index.erase(Fold(full));
      changed = true;
    }
    // The parent stays, as it does in the real registry.
    std::size_t cut = full.rfind('\\');
    if (cut != std::string::npos && !KeyPresent(doc, full.substr(0, cut))) {
      AppendSection(doc, doc.Add(full.substr(0, cut)));
      changed = true;
    }
    return 0;
  });
}

std::string RegistryLocation() { return RegistryPath(); }

}  // namespace plat
