// The POSIX registry: one file in the registry editor's export format.
// Key and value names compare case-insensitively as on Windows. Readers take
// ASCII/UTF-8 (BOM or not) and UTF-16LE with a BOM, LF or CR LF, with or
// without sections for ancestor keys. Writers lock, re-read, change, and
// rename a complete new file over the old one, so a crash never leaves half
// a registry and two writers never lose each other's keys.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct RegValue {
  std::string name;  // empty: the default value "@"
  std::uint32_t type = kRegSz;
  std::string data;  // raw bytes as RegQueryValueExA returns them
};

struct RegKey {
  std::string path;  // full path, "HKEY_LOCAL_MACHINE\\..."
  std::vector<RegValue> values;
};

std::string RegistryPath() {
  std::string p = GetEnv("QVAD_REGISTRY");
  return p.empty() ? "/etc/qvadnerl/registry.reg" : p;
}

bool IEquals(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
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

enum class LoadResult { Ok, Missing, Denied, Failed };

LoadResult Load(const std::string &path, std::vector<RegKey> &keys) {
  keys.clear();
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
    raw = FromUtf16(raw.substr(2));
  } else if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    raw.erase(0, 3);
  }
  // Join continued lines (a trailing backslash) and cut into lines.
  std::vector<std::string> lines;
  std::string cur;
  std::size_t start = 0;
  while (start <= raw.size()) {
    std::size_t nl = raw.find('\n', start);
    std::string line = raw.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!cur.empty()) {
      std::size_t b = line.find_first_not_of(" \t");
      line = b == std::string::npos ? "" : line.substr(b);
    }
    // Only hex data continues on the next line; a string value that ends in
    // an escaped backslash does not.
    bool cont = !line.empty() && line.back() == '\\' && (!cur.empty() || line.find("=hex") != std::string::npos);
    if (cont) {
      line.pop_back();
      cur += line;
    } else {
      lines.push_back(cur + line);
      cur.clear();
    }
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  if (!cur.empty()) lines.push_back(cur);

  RegKey *key = nullptr;
  for (const std::string &line : lines) {
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t end = line.rfind(']');
      if (end == std::string::npos) continue;
      std::string name = line.substr(1, end - 1);
      if (!name.empty() && name[0] == '-') {
        key = nullptr;
        continue;
      }
      auto it = std::find_if(keys.begin(), keys.end(), [&](const RegKey &k) { return IEquals(k.path, name); });
      if (it == keys.end()) {
        keys.push_back(RegKey{name, {}});
        key = &keys.back();
      } else {
        key = &*it;
      }
      continue;
    }
    if (key == nullptr) continue;
    RegValue v;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      if (!ParseQuoted(line, pos, v.name)) continue;
    } else {
      continue;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') continue;
    ++pos;
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    std::string data = line.substr(pos);
    if (data == "-") continue;
    if (!ParseValueData(data, v)) continue;
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const RegValue &x) { return IEquals(x.name, v.name); });
    if (it == key->values.end())
      key->values.push_back(v);
    else
      *it = v;
  }
  return LoadResult::Ok;
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

std::string Serialise(const std::vector<RegKey> &keys) {
  std::string out = "Windows Registry Editor Version 5.00\n";
  for (const RegKey &k : keys) {
    out += "\n[" + k.path + "]\n";
    for (const RegValue &v : k.values) {
      out += v.name.empty() ? "@" : Quote(v.name);
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
      out += '\n';
    }
  }
  return out;
}

// Is key equal to, or an ancestor of, path?
bool IsSelfOrAncestor(const std::string &key, const std::string &path) {
  if (path.size() < key.size()) return false;
  if (!IEquals(path.substr(0, key.size()), key)) return false;
  return path.size() == key.size() || path[key.size()] == '\\';
}

const RegKey *FindKey(const std::vector<RegKey> &keys, const std::string &full) {
  for (const RegKey &k : keys)
    if (IEquals(k.path, full)) return &k;
  return nullptr;
}

bool KeyPresent(const std::vector<RegKey> &keys, const std::string &full) {
  for (const RegKey &k : keys)
    if (IsSelfOrAncestor(full, k.path)) return true;
  return false;
}

std::uint32_t LoadCode(LoadResult r) {
  switch (r) {
    case LoadResult::Ok: return 0;
    case LoadResult::Missing: return kErrFileNotFound;
    case LoadResult::Denied: return kErrAccessDenied;
    default: return 1006;  // ERROR_BADDB
  }
}

// Runs change() on the file's keys under an exclusive lock and writes the result.
template <typename Change>
std::uint32_t Modify(Change change) {
  std::string path = RegistryPath();
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
  std::vector<RegKey> keys;
  LoadResult lr = Load(path, keys);
  std::uint32_t rc = 0;
  if (lr != LoadResult::Ok && lr != LoadResult::Missing) {
    rc = LoadCode(lr);
  } else {
    bool changed = false;
    rc = change(keys, changed);
    if (rc == 0 && changed) {
      std::string text = Serialise(keys);
      rc = ReplaceFileAtomically(path.c_str(), text.data(), text.size(), true);
    }
  }
  flock(fd, LOCK_UN);
  close(fd);
  return rc;
}

}  // namespace

std::uint32_t RegistryKeyExists(RegRoot root, const char *subkey) {
  std::vector<RegKey> keys;
  LoadResult lr = Load(RegistryPath(), keys);
  if (lr != LoadResult::Ok) return LoadCode(lr);
  return KeyPresent(keys, FullKey(root, subkey)) ? 0 : kErrFileNotFound;
}

std::uint32_t RegistryQuery(RegRoot root, const char *subkey, const char *name, std::uint32_t *type, void *data,
                            std::uint32_t *size) {
  std::vector<RegKey> keys;
  LoadResult lr = Load(RegistryPath(), keys);
  if (lr != LoadResult::Ok) return LoadCode(lr);
  std::string full = FullKey(root, subkey);
  if (!KeyPresent(keys, full)) return kErrFileNotFound;
  const RegKey *k = FindKey(keys, full);
  std::string vname = name != nullptr ? name : "";
  const RegValue *v = nullptr;
  if (k != nullptr) {
    for (const RegValue &x : k->values)
      if (IEquals(x.name, vname)) v = &x;
  }
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
  return Modify([&](std::vector<RegKey> &keys, bool &changed) -> std::uint32_t {
    if (FindKey(keys, full) == nullptr) {
      keys.push_back(RegKey{full, {}});
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
  return Modify([&](std::vector<RegKey> &keys, bool &changed) -> std::uint32_t {
    RegKey *k = nullptr;
    for (RegKey &x : keys)
      if (IEquals(x.path, full)) k = &x;
    if (k == nullptr) {
      keys.push_back(RegKey{full, {}});
      k = &keys.back();
    }
    auto it =
        std::find_if(k->values.begin(), k->values.end(), [&](const RegValue &x) { return IEquals(x.name, nv.name); });
    if (it == k->values.end())
      k->values.push_back(nv);
    else
      *it = nv;
    changed = true;
    return 0;
  });
}

std::uint32_t RegistryDeleteValue(RegRoot root, const char *subkey, const char *name) {
  std::string full = FullKey(root, subkey);
  std::string vname = name != nullptr ? name : "";
  return Modify([&](std::vector<RegKey> &keys, bool &changed) -> std::uint32_t {
    if (!KeyPresent(keys, full)) return kErrFileNotFound;
    for (RegKey &k : keys) {
      if (!IEquals(k.path, full)) continue;
      auto it =
          std::find_if(k.values.begin(), k.values.end(), [&](const RegValue &x) { return IEquals(x.name, vname); });
      if (it == k.values.end()) return kErrFileNotFound;
      k.values.erase(it);
      changed = true;
      return 0;
    }
    return kErrFileNotFound;
  });
}

std::uint32_t RegistryDeleteKey(RegRoot root, const char *subkey) {
  std::string full = FullKey(root, subkey);
  return Modify([&](std::vector<RegKey> &keys, bool &changed) -> std::uint32_t {
    if (!KeyPresent(keys, full)) return kErrFileNotFound;
    for (const RegKey &k : keys)
      if (k.path.size() > full.size() && IsSelfOrAncestor(full, k.path)) return kErrAccessDenied;
    auto it = std::find_if(keys.begin(), keys.end(), [&](const RegKey &k) { return IEquals(k.path, full); });
    if (it != keys.end()) {
      keys.erase(it);
      changed = true;
    }
    // The parent stays, as it does in the real registry.
    std::size_t cut = full.rfind('\\');
    if (cut != std::string::npos && !KeyPresent(keys, full.substr(0, cut))) {
      keys.push_back(RegKey{full.substr(0, cut), {}});
      changed = true;
    }
    return 0;
  });
}

std::string RegistryLocation() { return RegistryPath(); }

}  // namespace plat
