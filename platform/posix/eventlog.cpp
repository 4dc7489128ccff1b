// The event log on POSIX. The message texts come from the catalogue that is
// registered as the source's EventMessageFile, exactly as the event viewer
// finds them on Win32; the catalogue is the message source itself (the
// message-compiler text format), so both platforms share one set of texts.
// Each event becomes one line: time, type, the identifier as 0x%08X and the
// formatted text, appended to $QVAD_EVENTLOG_FILE when set, else to syslog.
#include "platform/eventlog.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string>

#include "platform/error.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace plat {

namespace {

constexpr char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

std::atomic<bool> g_echo{false};

struct Source {
  std::string name;
  std::map<std::uint32_t, std::string> texts;  // full identifier -> text
};

std::string Trim(const std::string &s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::uint32_t ParseNumber(const std::string &s) {
  return static_cast<std::uint32_t>(std::strtoul(s.c_str(), nullptr, 0));
}

// Reads the message-compiler source: header lines (SeverityNames and the
// like) and messages of the form MessageId=, Severity=, Language=, text
// lines, a line holding a single period. The customer bit is set on every
// identifier, as the message compiler sets it for this library.
void LoadCatalogue(const std::string &path, std::map<std::uint32_t, std::string> *texts) {
  std::ifstream in(path);
  if (!in) return;
  std::map<std::string, std::uint32_t> severities = {
      {"success", 0}, {"informational", 1}, {"warning", 2}, {"error", 3}};
  std::string line;
  std::uint32_t number = 0, severity = 0;
  bool in_text = false;
  std::string text;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (in_text) {
      if (line == ".") {
        in_text = false;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        (*texts)[(severity << 30) | 0x20000000u | (number & 0xFFFFu)] = text;
        text.clear();
      } else {
        if (!text.empty()) text += '\n';
        text += line;
      }
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    for (char &c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key == "messageid") {
      number = value.empty() ? number + 1 : ParseNumber(value);
    } else if (key == "severity") {
      for (char &c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      auto it = severities.find(value);
      severity = it != severities.end() ? it->second : 0;
    } else if (key == "language") {
      in_text = true;
    }
  }
}

// Expands the message-compiler inserts: %1 to %99 (a "!...!" format after
// one is dropped), %n a line break, %t a tab, %% and %. and %! literally.
std::string Format(const std::string &text, int count, const char *const *strings) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') {  // line ends inside the source text read as blanks
      out += ' ';
      continue;
    }
    if (c != '%' || i + 1 >= text.size()) {
      out += c;
      continue;
    }
    char d = text[++i];
    if (std::isdigit(static_cast<unsigned char>(d))) {
      int n = d - '0';
      if (i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) n = n * 10 + (text[++i] - '0');
      if (i + 1 < text.size() && text[i + 1] == '!') {
        std::size_t close = text.find('!', i + 2);
        if (close != std::string::npos) i = close;
      }
      // A string the caller did not pass reads as empty.
      if (n >= 1 && n <= count && strings[n - 1] != nullptr) out += strings[n - 1];
    } else if (d == 'n') {
      out += '\n';
    } else if (d == 't') {
      out += '\t';
    } else {
      out += d;
    }
  }
  return out;
}

const char *TypeName(std::uint16_t type) {
  switch (type) {
    case 1: return "ERROR";
    case 2: return "WARNING";
    case 4: return "INFORMATION";
    case 8: return "AUDIT_SUCCESS";
    case 16: return "AUDIT_FAILURE";
    default: return "SUCCESS";
  }
}

}  // namespace

EventSourceHandle OpenEventSource(const char *source) {
  if (source == nullptr || *source == '\0') {
    SetLastError(kErrInvalidParameter);
    return nullptr;
  }
  auto *s = new Source;
  s->name = source;
  char file[1024] = {};
  std::uint32_t size = sizeof file - 1;
  std::uint32_t type = 0;
  std::string key = std::string(kSourcesKey) + source;
  if (RegistryQuery(RegRoot::LocalMachine, key.c_str(), "EventMessageFile", &type, file, &size) == 0) {
    file[size < sizeof file ? size : sizeof file - 1] = '\0';
    LoadCatalogue(file, &s->texts);
  }
  return reinterpret_cast<EventSourceHandle>(s);
}

bool WriteEvent(EventSourceHandle source, std::uint16_t type, std::uint32_t event_id, int count,
                const char *const *strings) {
  auto *s = reinterpret_cast<Source *>(source);
  if (s == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  std::string text;
  auto it = s->texts.find(event_id);
  if (it != s->texts.end()) {
    text = Format(it->second, count, strings);
  } else {
    // No text registered: the bare identifier's strings, as the viewer shows them.
    for (int i = 0; i < count; ++i) {
      if (i > 0) text += ' ';
      text += strings[i] != nullptr ? strings[i] : "";
    }
  }
  std::string body;
  for (char c : text) {
    if (c == '\n') {
      body += "\\n";
    } else {
      body += c;
    }
  }
  char head[96];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::snprintf(head, sizeof head, "%s %s 0x%08X ", stamp, TypeName(type), event_id);
  if (type == 1 && g_echo.load()) {
    // One write, so the line stays whole beside other writers of the stream.
    char id[16];
    std::snprintf(id, sizeof id, "0x%08X", event_id);
    std::string plain = s->name + ": " + TypeName(type) + " " + id + " " + body + "\n";
    ssize_t ignored = write(STDERR_FILENO, plain.data(), plain.size());
    (void)ignored;
  }
  std::string file = GetEnv("QVAD_EVENTLOG_FILE");
  if (!file.empty()) {
    std::string line = std::string(head) + body + "\n";
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return false;
    }
    // One write per line, so lines of concurrent writers never interleave.
    bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return ok;
  }
  int priority = type == 1 ? LOG_ERR : type == 2 ? LOG_WARNING : LOG_INFO;
  openlog(s->name.c_str(), LOG_PID, LOG_DAEMON);
  syslog(priority, "%s 0x%08X %s", TypeName(type), event_id, body.c_str());
  closelog();
  return true;
}

void SetEventEcho(bool on) { g_echo = on; }

int CloseEventSource(EventSourceHandle source) {
  auto *s = reinterpret_cast<Source *>(source);
  if (s == nullptr) return 0;
  delete s;
  return 1;
}

void NoteForOperator(const char *text) {
  if (text == nullptr) return;
  // One write, so the line never interleaves with a child's output.
  std::string line = text;
  for (char &c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  line += '\n';
  ssize_t n = write(STDERR_FILENO, line.data(), line.size());
  (void)n;
}

}  // namespace plat
