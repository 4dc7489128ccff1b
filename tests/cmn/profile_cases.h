// Profile files with the awkward corners that hand-edited *.ini files have,
// shared by the reader's own tests and the comparison with the platform's
// reader under Wine.
#pragma once
#include <string>
#include <vector>

namespace qvtest {

inline const std::string kTrickyProfile =
    "; a comment before any section\r\n"
    "stray=before sections\r\n"
    "[General]\r\n"
    "Type=1\r\n"
    "  Spaced Key   =   spaced value   \r\n"
    "quoted=\"in quotes\"\r\n"
    "single='in single quotes'\r\n"
    "mixed=\"not matching'\r\n"
    "onequote=\"\r\n"
    "twoquotes=\"\"\r\n"
    "empty=\r\n"
    "novalue\r\n"
    "dup=first\r\n"
    "DUP=second\r\n"
    "equals=a=b=c\r\n"
    ";commented=yes\r\n"
    "neg=-42\r\n"
    "plus=+17\r\n"
    "lead=12abc\r\n"
    "word=abc\r\n"
    "blank=   7\r\n"
    "hex=0x10\r\n"
    "octal=0o17\r\n"
    "binary=-0b101z\r\n"
    "upperhex=0X10\r\n"
    "hexdigits=0x1fG\r\n"
    "big=4294967297\r\n"
    "long=12345678901234567890123456789012345\r\n"
    "tab=\tx\t\r\n"
    "\r\n"
    "[ Spaced ]\r\n"
    "k=v\r\n"
    "[general]\r\n"
    "Type=2\r\n"
    "other=only in the second\r\n"
    "[Empty]\r\n"
    "[LF only]\n"
    "a=1\n"
    "b = 2\n"
    "[Unclosed\r\n"
    "[Table]\r\n"
    "cpu=select 1\r\n"
    "disk=select 2\r\n"
    "NODE=select 3\r\n"
    "last=no line end";

// A quoted value whose inner text exactly fills the buffer is cut by one
// more character under Wine ("in quote" for "in quotes" in 10 bytes); our
// reader returns the inner text whole, so that case is not compared.
struct ProfileQuery {
  const char *section;  // null lists the sections
  const char *key;      // null lists the keys
  const char *def;
  unsigned size;
};

inline std::vector<ProfileQuery> TrickyStringQueries() {
  std::vector<ProfileQuery> q = {
      {"General", "Type", "", 64},
      {"GENERAL", "type", "", 64},
      {" General ", " Type ", "", 64},
      {"General", "Spaced Key", "", 64},
      {"General", "quoted", "", 64},
      {"General", "single", "", 64},
      {"General", "mixed", "", 64},
      {"General", "onequote", "", 64},
      {"General", "twoquotes", "d", 64},
      {"General", "empty", "dflt", 64},
      {"General", "novalue", "dflt", 64},
      {"General", "dup", "", 64},
      {"General", "equals", "", 64},
      {"General", ";commented", "", 64},
      {"General", "other", "dflt", 64},
      {"General", "missing", "dflt  ", 64},
      {"General", "missing", "\"q\"", 64},
      {"General", "missing", nullptr, 64},
      {"General", "tab", "", 64},
      {"Spaced", "k", "d", 64},
      {" Spaced ", "k", "d", 64},
      {"LF only", "b", "", 64},
      {"Table", "last", "", 64},
      {"Unclosed", "x", "d", 64},
      {"", "stray", "d", 64},
      {"General", "Spaced Key", "", 5},
      {"General", "quoted", "", 4},
      {"General", "quoted", "", 9},
      {"General", "quoted", "", 11},
      {"General", "Type", "", 2},
      {"General", "Type", "", 1},
      {"General", "missing", "default", 4},
      {"Table", nullptr, "", 256},
      {"table", nullptr, "", 9},
      {"Table", nullptr, "", 12},
      {"Table", nullptr, "", 3},
      {"General", nullptr, "", 1024},
      {"Empty", nullptr, "none", 64},
      {"Missing", nullptr, "none", 64},
      {nullptr, nullptr, "", 1024},
      {nullptr, nullptr, "", 20},
  };
  return q;
}

inline std::vector<const char *> TrickyIntKeys() {
  return {"Type",     "neg",       "plus", "lead", "word",  "blank",   "hex",     "octal", "binary",
          "upperhex", "hexdigits", "big",  "long", "empty", "novalue", "missing", "quoted"};
}

}  // namespace qvtest
