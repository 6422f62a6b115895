// Loads a generated .reg export of a large HKEY_CLASSES_ROOT (UTF-16LE, CR LF,
// as a 5.00 export is) and saves it with a few keys removed.
//   comsweep_bench_regfile [keys] [utf16|8bit]
// The file is written to a temporary directory and removed afterwards.
//   comsweep_bench_regfile file.reg
// only loads the given export (and never writes it).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "registry/handles/HandleTable.h"
#include "registry/store/Text.h"
#include "registry/regfile/RegFileStore.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Classes of three keys each (class, InprocServer32, ProgID) until `keys` are written.
std::string exportText(std::size_t keys) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\CLSID]\r\n\r\n";
  char guid[64];
  for (std::size_t i = 0; 3 * i + 1 < keys; ++i) {
    std::snprintf(guid, sizeof guid, "{%08zX-0000-4000-8000-00000000%04zX}", i, i % 0xFFFF);
    std::string key = std::string("[HKEY_CLASSES_ROOT\\CLSID\\") + guid;
    text += key + "]\r\n@=\"Some Component Class " + std::to_string(i) + "\"\r\n\r\n";
    text += key + "\\InprocServer32]\r\n@=\"C:\\\\Program Files\\\\Vendor\\\\m9q" +
            std::to_string(i % 97) + ".dll\"\r\n\"ThreadingModel\"=\"Apartment\"\r\n\r\n";
    text += key + "\\ProgID]\r\n@=hex(2):25,00,53,00,00,00\r\n\"Flags\"=dword:00000001\r\n\r\n";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace comsweep::registry;
  std::size_t keys = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  bool utf16 = !(argc > 2 && std::string(argv[2]) == "8bit");
  bool given = argc > 1 && std::filesystem::is_regular_file(argv[1]);

  char pattern[] = "/tmp/comsweep-bench-XXXXXX";
  if (!given && !::mkdtemp(pattern)) return 1;
  std::filesystem::path dir = pattern;
  std::filesystem::path file = given ? std::filesystem::path(argv[1]) : dir / "hkcr.reg";
  if (!given) {
    std::string text = exportText(keys);
    if (utf16) text = "\xFF\xFE" + utf8ToUtf16le(text);
    std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  std::printf("file: %.1f MB\n", static_cast<double>(std::filesystem::file_size(file)) / 1e6);

  Clock::time_point start = Clock::now();
  std::string error;
  std::unique_ptr<RegFileStore> store = RegFileStore::open(file, error);
  if (!store) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("load: %.3f s, %zu keys\n", seconds(start), store->nodeCount() - 1);

  if (given) return 0;

  HandleTable api(*store);
  api.RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{00000001-0000-4000-8000-000000000001}\\ProgID");
  start = Clock::now();
  CommitResult saved = store->save();
  std::printf("save: %.3f s%s%s\n", seconds(start), saved.failure.failed() ? ", failed: " : "",
              saved.failure.why.c_str());

  std::filesystem::remove_all(dir);
  return saved.failure.failed() ? 1 : 0;
}
