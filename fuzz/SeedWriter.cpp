// Writes the seed inputs of the fuzz targets, fuzz/corpus/<target>/, from
// the fixtures the tests use: .reg exports in every encoding the reader
// takes, hives built through libhivex from the tests' empty hive, and Wine
// registry files. The seeds are kept in the tree; run this again only to
// change them:  build-fuzz/fuzz/fuzz_seeds fuzz/corpus

#include <hivex.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "registry/store/Text.h"
#include "support/EmptyHive.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using comsweep::registry::utf8ToUtf16le;

// `text` with LF line ends as a file spells it.
std::string encode(std::string_view text, bool utf16, bool crlf) {
  std::string lines;
  for (char c : text) {
    if (c == '\n' && crlf) lines += '\r';
    lines += c;
  }
  return utf16 ? "\xFF\xFE" + utf8ToUtf16le(lines) : lines;
}

const char* const kEveryForm =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; exported for the fuzz seeds\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-0000000000A1}]\n"
    "@=\"M9Q \\\"Thing\\\" C:\\\\x\"\n"
    "\"AppID\"=\"{00000000-0000-0000-0000-0000000000A2}\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-0000-0000-0000-0000000000A1}\\InprocServer32]\n"
    "@=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,\\\n"
    "  00,5c,00,6d,00,39,00,71,00,2e,00,64,00,6c,00,6c,00,00,00\n"
    "\"ThreadingModel\"=\"Both\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\TypeLib\\{00000000-0000-0000-0000-0000000000C3}\\1.0\\0\\win32]\n"
    "@=\"C:\\\\m9q.tlb\" ; trailing comment\n"
    "[HKEY_CLASSES_ROOT\\Interface\\{00000000-0000-0000-0000-0000000000D4}]\n"
    "@=dword:0000002a\n"
    "@=hex(7):61,00,00,00,62,00,00,00,00,00\n"
    "@=hex:01,02,\\\n"
    "  ; between continuation lines\n"
    "  ff\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\M9Q.Thing]\n"
    "@=\"one line\n"
    "and another\"\n"
    "[HKEY_CURRENT_USER\\Software\\Kept]\n"
    "\"x\"=hex(b):01,00,00,00,00,00,00,00\n"
    "[-HKEY_CLASSES_ROOT\\Gone]\n"
    "[HKEY_CLASSES_ROOT\\M9Q.Thing\\CurVer]\n"
    "@=-\n"
    "@=\"\"\n";

const char* const kRegedit4 =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\\xE4rger]\n"
    "@=\"\x93quoted\x94\"\n"
    "[HKEY_CLASSES_ROOT\\\xC3\xA4\\b]c]  \n"
    "@=hex(2):25,41,e4,00\n"
    "[HKEY_CLASSES_ROOT\\Multi]\n"
    "@=hex(7):61,00,62,00,00\n"
    "[HKEY_CLASSES_ROOT\\a\\b\\c\\d\\e\\]\n"
    "@=HEX(1):41,00\n"
    "\"n\\\"2\"=DWORD:ffffffff\n";

struct Hkey {
  const char* path;  // below the hive's root
  hive_type type;
  std::string data;
};

std::string sz(std::string_view text) { return utf8ToUtf16le(text) + std::string(2, '\0'); }

bool writeHive(const fs::path& file, const std::vector<Hkey>& keys) {
  comsweep::test::writeEmptyHive(file);
  hive_h* h = hivex_open(file.c_str(), HIVEX_OPEN_WRITE);
  if (!h) return false;
  bool ok = true;
  for (const Hkey& key : keys) {
    hive_node_h node = hivex_root(h);
    for (std::string_view rest = key.path; !rest.empty() && node;) {
      std::string part(rest.substr(0, rest.find('\\')));
      rest.remove_prefix(std::min(rest.size(), part.size() + 1));
      hive_node_h child = hivex_node_get_child(h, node, part.c_str());
      node = child ? child : hivex_node_add_child(h, node, part.c_str());
    }
    std::string data = key.data;
    hive_set_value value{const_cast<char*>(""), key.type, data.size(), data.data()};
    ok = ok && node && (key.type == hive_t_REG_NONE || hivex_node_set_value(h, node, &value, 0) == 0);
  }
  ok = ok && hivex_commit(h, file.c_str(), 0) == 0;
  hivex_close(h);
  return ok;
}

const char* const kWineSystem =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Classes\\\\CLSID\\\\{00000000-0000-0000-0000-0000000000A1}] 1700000000\n"
    "#time=1da0b1c2d3e4f50\n"
    "@=\"M9Q \\\"Thing\\\"\"\n"
    "\n"
    "[Software\\\\Classes\\\\CLSID\\\\{00000000-0000-0000-0000-0000000000A1}\\\\InprocServer32] "
    "1700000000\n"
    "#time=1da0b1c2d3e4f50\n"
    "@=str(2):\"%SystemRoot%\\\\system32\\\\m9q.dll\"\n"
    "\"ThreadingModel\"=\"Both\"\n"
    "\n"
    "[Software\\\\Classes\\\\M9Q.\\x00e4rger] 1700000000\n"
    "@=str(7):\"a\\0b\\0\"\n"
    "\"Bin\"=hex:01,02,03,\\\n"
    "  04\n"
    "\"Dw\"=dword:0000002a\n"
    "\n"
    "[Software\\\\Classes\\\\TypeLib\\\\{00000000-0000-0000-0000-0000000000C3}\\\\1.0\\\\0\\\\win32] "
    "1700000000\n"
    "@=\"C:\\\\m9q.tlb\"\n"
    "\n"
    "[Software\\\\Wine] 1700000000\n"
    "\"Version\"=\"win10\"\n"
    "\n"
    "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 1700000000\n"
    "\"SystemRoot\"=\"C:\\\\windows\"\n";

bool put(const fs::path& file, std::string_view bytes) {
  comsweep::test::writeFile(file, bytes);
  return fs::file_size(file) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR (fuzz/corpus)\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[1];
  for (const char* target : {"regfile", "hive", "wine"}) fs::create_directories(out / target);

  bool ok = put(out / "regfile/every-form-utf16-crlf.reg", encode(kEveryForm, true, true)) &&
            put(out / "regfile/every-form-8bit-lf.reg", encode(kEveryForm, false, false)) &&
            put(out / "regfile/utf8-bom.reg", "\xEF\xBB\xBF" + encode(kEveryForm, false, true)) &&
            put(out / "regfile/regedit4.reg", encode(kRegedit4, false, true)) &&
            put(out / "regfile/regedit4-utf16.reg", encode(kRegedit4, true, false));

  const std::string dword("\x2a\0\0\0", 4);
  ok = ok && writeHive(out / "hive/empty.hiv", {}) &&
       writeHive(out / "hive/software.hiv",
                 {{"Classes\\CLSID\\{00000000-0000-0000-0000-0000000000A1}", hive_t_REG_SZ,
                   sz("M9Q Thing")},
                  {"Classes\\CLSID\\{00000000-0000-0000-0000-0000000000A1}\\InprocServer32",
                   hive_t_REG_EXPAND_SZ, sz("%SystemRoot%\\m9q.dll")},
                  {"Classes\\TypeLib\\{00000000-0000-0000-0000-0000000000C3}\\1.0\\0\\win32",
                   hive_t_REG_SZ, "C:\\m9q.tlb"},  // 8-bit, as some tools write it
                  {"Classes\\M9Q.Thing", hive_t_REG_DWORD, dword},
                  {"Microsoft\\Windows", hive_t_REG_BINARY, std::string("\x01\x00\xff", 3)}}) &&
       writeHive(out / "hive/usrclass.hiv",
                 {{"CLSID\\{00000000-0000-0000-0000-0000000000B2}", hive_t_REG_SZ, sz("")},
                  {"CLSID\\{00000000-0000-0000-0000-0000000000B2}\\LocalServer32",
                   hive_t_REG_MULTI_SZ, sz(std::string("a\0b\0", 4))},
                  {"b", hive_t_REG_NONE, {}},
                  {"A", hive_t_REG_SZ, sz("first")},
                  {"_x", hive_t_REG_SZ, sz(std::string("abc\0def", 7))}});

  ok = ok && put(out / "wine/system.reg", kWineSystem) &&
       put(out / "wine/system-crlf.reg", encode(kWineSystem, false, true));
  if (!ok) {
    std::fprintf(stderr, "writing the seeds into %s failed\n", out.c_str());
    return 1;
  }
  return 0;
}
