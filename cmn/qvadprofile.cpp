// The profile-file reader every part of the adapter uses for its *.ini
// files. It keeps the behaviour the platform's own profile functions have
// shown for decades, so a file an administrator edited by hand reads the
// same on both platforms:
// - lines split at CR or LF, blanks around lines, names and values trimmed;
// - "[name]" opens a section (the name runs to the last "]" of the line);
// - "name=value" is a key; a line without "=" is a key without a value,
//   which reads as missing; keys before the first section belong to a
//   nameless section;
// - names compare without regard to case; the first section and the first
//   key of a name win;
// - a value (or default) enclosed in matching single or double quotes is
//   returned without them; trailing blanks of a default are dropped.
// Parsed files are kept in a small cache and parsed again when their size
// or modification time changes.
#include "cmn/qvadprofile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cmn/qvadhold.h"
#include "cmn/qvadnumber.h"

namespace {

struct ProfileKey {
  std::string name;
  bool has_value = false;
  std::string value;
};

struct ProfileSection {
  std::string name;
  std::vector<ProfileKey> keys;
};

struct ParsedProfile {
  std::vector<ProfileSection> sections;
};

// The blanks that the platform's reader trims: C white space and the old
// end-of-file mark (Ctrl-Z) that some editors leave behind.
bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1a; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::shared_ptr<ParsedProfile> Parse(std::string_view text) {
  auto profile = std::make_shared<ParsedProfile>();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  // Keys that come before any section header live in a nameless section.
  profile->sections.push_back(ProfileSection{});
  ProfileSection *current = &profile->sections.back();
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end;
    while (pos < text.size() && (text[pos] == '\n' || text[pos] == '\r')) ++pos;
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        profile->sections.push_back(ProfileSection{std::string(Trim(line.substr(1, close - 1))), {}});
        current = &profile->sections.back();
        continue;
      }
    }
    ProfileKey key;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      key.name = std::string(line);
    } else {
      key.name = std::string(Trim(line.substr(0, eq)));
      key.has_value = true;
      key.value = std::string(Trim(line.substr(eq + 1)));
    }
    current->keys.push_back(std::move(key));
  }
  return profile;
}

struct CacheEntry {
  std::filesystem::file_time_type mtime;
  std::uintmax_t size = 0;
  // A file written within the clock's resolution of our read could change
  // again without a visible change of time or size: such an entry is used
  // once and then read again.
  bool trusted = false;
  std::shared_ptr<ParsedProfile> profile;
};

std::mutex g_cache_mutex;
std::map<std::string, CacheEntry> g_cache;
constexpr std::size_t kCacheLimit = 32;

bool ReadWholeFile(const char *path, std::string &out) {
  QvadFile f(std::fopen(path, "rb"));
  if (!f) return false;
  char chunk[8192];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) out.append(chunk, n);
  return !std::ferror(f.get());
}

// The parsed file, or null when it cannot be read.
std::shared_ptr<ParsedProfile> Load(const char *path) {
  std::error_code ec;
  std::filesystem::path fs_path(path);
  auto mtime = std::filesystem::last_write_time(fs_path, ec);
  if (ec) return nullptr;
  auto size = std::filesystem::file_size(fs_path, ec);
  if (ec) return nullptr;
  std::lock_guard<std::mutex> lock(g_cache_mutex);
  auto it = g_cache.find(path);
  if (it != g_cache.end() && it->second.trusted && it->second.mtime == mtime && it->second.size == size)
    return it->second.profile;
  std::string text;
  if (!ReadWholeFile(path, text)) return nullptr;
  CacheEntry entry;
  entry.mtime = mtime;
  entry.size = size;
  entry.profile = Parse(text);
  auto age = std::filesystem::file_time_type::clock::now() - mtime;
  entry.trusted = text.size() == size && age > std::chrono::seconds(2);
  if (g_cache.size() >= kCacheLimit && it == g_cache.end()) g_cache.clear();
  g_cache[path] = entry;
  return entry.profile;
}

// Copies a value as the platform does: matching enclosing quotes dropped,
// cut to size-1 characters, always terminated. Returns the length copied.
std::uint32_t CopyEntry(std::string_view value, char *buffer, std::uint32_t size) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

std::string_view TrimmedDefault(const char *default_value) {
  std::string_view d = default_value ? default_value : "";
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  return d;
}

const ProfileSection *FindSection(const ParsedProfile &p, std::string_view name) {
  name = Trim(name);
  for (const auto &s : p.sections)
    if (SameName(s.name, name)) return &s;
  return nullptr;
}

// Names, each NUL-terminated, a second NUL at the end. When they do not all
// fit, the last one is cut, two NULs end the buffer and the result is size-2.
std::uint32_t CopyNameList(const std::vector<std::string_view> &names, char *buffer, std::uint32_t size) {
  if (size <= 2) {
    std::memset(buffer, 0, size);
    return 0;
  }
  std::uint32_t used = 0;
  for (auto name : names) {
    std::uint32_t room = size - 1 - used;  // keep one byte for the final NUL
    if (name.size() + 1 >= room) {
      std::size_t n = room - 1;
      std::memcpy(buffer + used, name.data(), n);
      buffer[used + n] = '\0';
      buffer[used + n + 1] = '\0';
      return size - 2;
    }
    std::memcpy(buffer + used, name.data(), name.size());
    used += static_cast<std::uint32_t>(name.size());
    buffer[used++] = '\0';
  }
  buffer[used] = '\0';
  return used;
}

}  // namespace

std::uint32_t QvadGetPrivateProfileString(const char *section, const char *key, const char *default_value, char *buffer,
                                          std::uint32_t size, const char *file) {
  if (buffer == nullptr || size == 0) return 0;
  std::string_view def = TrimmedDefault(default_value);
  std::shared_ptr<ParsedProfile> profile = file ? Load(file) : nullptr;
  // A file that cannot be read holds nothing: every read gives the default.
  if (!profile) profile = std::make_shared<ParsedProfile>();
  if (section == nullptr) {
    std::vector<std::string_view> names;
    for (const auto &s : profile->sections)
      if (!s.name.empty()) names.push_back(s.name);
    if (size == 1) {
      buffer[0] = '\0';
      return 0;
    }
    return CopyNameList(names, buffer, size);
  }
  const ProfileSection *s = FindSection(*profile, section);
  if (key == nullptr) {
    std::vector<std::string_view> names;
    if (s) {
      for (const auto &k : s->keys) {
        // Comments and lines without "=" are not keys.
        if (!k.has_value || (!k.name.empty() && k.name.front() == ';')) continue;
        names.push_back(k.name);
      }
    }
    std::uint32_t n = CopyNameList(names, buffer, size);
    if (buffer[0] == '\0') return CopyEntry(def, buffer, size);
    return n;
  }
  std::string_view wanted = Trim(key);
  if (s) {
    for (const auto &k : s->keys) {
      if (!SameName(k.name, wanted)) continue;
      if (!k.has_value) break;
      return CopyEntry(k.value, buffer, size);
    }
  }
  return CopyEntry(def, buffer, size);
}

std::uint32_t QvadGetPrivateProfileInt(const char *section, const char *key, int default_value, const char *file) {
  // The value is read into a small buffer, as the platform does, so only its
  // first 29 characters count.
  char text[30] = {};
  if (QvadGetPrivateProfileString(section, key, "", text, sizeof text, file) == 0 || text[0] == '\0')
    return static_cast<std::uint32_t>(default_value);
  return Qvad_ProfileIntValue(text);
}
