#include "gen/MachineGenerator.h"

#include <charconv>

#include "gen/HiveWriter.h"
#include "gen/OutputFile.h"
#include "gen/RegWriter.h"
#include "gen/WineWriter.h"

namespace comsweep::bench {
namespace {

bool parseNumber(std::string_view text, std::uint64_t& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

void leaf(KeySink& sink, std::string_view name, std::initializer_list<Value> values) {
  sink.openKey(name);
  for (const Value& v : values) sink.addValue(v);
  sink.closeKey();
}

// Keys of a SOFTWARE hive besides Classes, in registry order after it. The
// demo's program settings name a family, and no scan may reach them.
void softwareAfterClasses(KeySink& sink, bool demo) {
  sink.openKey("Microsoft");
  sink.openKey("Windows");
  leaf(sink, "CurrentVersion",
       {{"CommonFilesDir", ValueType::Sz, "C:\\Program Files\\Common Files", 0},
        {"FirstInstallDateTime", ValueType::Binary, std::string_view("\x21\x81\x7c\x23", 4), 0},
        {"ProgramFilesDir", ValueType::Sz, "C:\\Program Files", 0},
        {"ProgramFilesPath", ValueType::ExpandSz, "%ProgramFiles%", 0}});
  sink.closeKey();
  sink.closeKey();
  sink.openKey("Policies");
  leaf(sink, "Microsoft", {});
  sink.closeKey();
  if (demo) {
    sink.openKey("Sonnet");
    leaf(sink, "m9q Grid",
         {{"InstallDir", ValueType::Sz, "C:\\Program Files\\Sonnet\\m9q", 0},
          {"Server", ValueType::Sz, "m9qGrid.ocx", 0}});
    sink.closeKey();
  }
}

std::uint64_t writeWine(const ClassesModel& model, WineWriter& w, bool demo) {
  w.openKey("Hardware");
  w.openKey("Description");
  w.openKey("System");
  w.openKey("CentralProcessor");
  leaf(w, "0",
       {{"FeatureSet", ValueType::Dword, {}, 0x00003b7f},
        {"Identifier", ValueType::Sz, "Intel64 Family 6 Model 85 Stepping 4", 0},
        {"ProcessorNameString", ValueType::Sz, "Intel(R) Xeon(R) CPU", 0},
        {"VendorIdentifier", ValueType::Sz, "GenuineIntel", 0},
        {"~MHz", ValueType::Dword, {}, 2400}});
  w.closeKey();
  w.closeKey();
  w.closeKey();
  w.closeKey();
  w.openKey("Software");
  w.openKey("Borland");
  w.openKey("Database Engine");
  w.openKey("Settings");
  w.openKey("SYSTEM");
  leaf(w, "INIT", {{"SHAREDMEMLOCATION", ValueType::Sz, "9000", 0}});
  for (int i = 0; i < 4; ++i) w.closeKey();
  w.openKey("Classes");
  std::uint64_t keys = model.emit(w);
  w.closeKey();
  softwareAfterClasses(w, demo);
  w.openKey("Wine");
  leaf(w, "Drives", {{"c:", ValueType::Sz, "hd", 0}});
  w.closeKey();
  w.closeKey();
  w.openKey("System");
  w.openKey("CurrentControlSet");
  w.openKey("Control");
  w.openKey("Session Manager");
  leaf(w, "Environment",
       {{"PATH", ValueType::ExpandSz, "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem", 0},
        {"TEMP", ValueType::ExpandSz, "%SystemRoot%\\temp", 0},
        {"windir", ValueType::ExpandSz, "%SystemRoot%", 0}});
  w.closeKey();
  w.closeKey();
  w.closeKey();
  w.closeKey();
  return keys;
}

}  // namespace

std::optional<GeneratorOptions> parseGeneratorArguments(const std::vector<std::string>& args, std::string& error) {
  GeneratorOptions options;
  bool haveClasses = false, haveFormat = false, haveOut = false, haveSeed = false, haveProfile = false;
  for (std::size_t i = 0; i < args.size(); i += 2) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) {
      error = option + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[i + 1];
    bool* seen = option == "--classes"   ? &haveClasses
                 : option == "--format"  ? &haveFormat
                 : option == "--out"     ? &haveOut
                 : option == "--seed"    ? &haveSeed
                 : option == "--profile" ? &haveProfile
                                         : nullptr;
    if (!seen) {
      error = "unknown option " + option;
      return std::nullopt;
    }
    if (*seen) {
      error = option + " given twice";
      return std::nullopt;
    }
    *seen = true;
    std::uint64_t number = 0;
    if (option == "--classes") {
      if (!parseNumber(value, number) || number < 1 || number > kMaxClasses) {
        error = "--classes takes a number from 1 to " + std::to_string(kMaxClasses);
        return std::nullopt;
      }
      options.classes = static_cast<std::uint32_t>(number);
    } else if (option == "--format") {
      if (value == "wine") options.format = MachineFormat::Wine;
      else if (value == "reg") options.format = MachineFormat::Reg;
      else if (value == "hive") options.format = MachineFormat::Hive;
      else {
        error = "--format takes wine, reg or hive";
        return std::nullopt;
      }
    } else if (option == "--out") {
      if (value.empty()) {
        error = "--out takes a file name";
        return std::nullopt;
      }
      options.out = value;
    } else if (option == "--profile") {
      if (value == "bench") options.profile = ClassesModel::Profile::Bench;
      else if (value == "bench64") options.win64 = true;
      else if (value == "demo") options.profile = ClassesModel::Profile::Demo;
      else {
        error = "--profile takes bench, bench64 or demo";
        return std::nullopt;
      }
    } else if (!parseNumber(value, options.seed)) {
      error = "--seed takes a number";
      return std::nullopt;
    }
  }
  if (!haveClasses || !haveFormat || !haveOut) {
    error = "--classes, --format and --out are required";
    return std::nullopt;
  }
  return options;
}

GeneratorResult generateMachine(const GeneratorOptions& options) {
  GeneratorResult result;
  if (options.classes < 1 || options.classes > kMaxClasses) {
    result.error = "the number of classes must be from 1 to " + std::to_string(kMaxClasses);
    return result;
  }
  // Wine writes siblings in its own order; exports and hives are in Windows'.
  const NameOrder order = options.format == MachineFormat::Wine ? NameOrder::Wine : NameOrder::Windows;
  const std::uint32_t classes32 = options.win64 ? options.classes / 3 : 0;
  ClassesModel model(options.seed, options.classes - classes32, order, options.profile);
  // The 32-bit view: a model of its own, from another seed.
  std::optional<ClassesModel> view32;
  if (classes32 > 0) {
    view32.emplace(options.seed ^ 0x32, classes32, order, options.profile);
    model.setWow64View(*view32);
  }
  bool demo = options.profile == ClassesModel::Profile::Demo;
  OutputFile out;
  if (!out.open(options.out)) {
    result.error = out.error();
    return result;
  }
  bool written = true;
  std::string error;
  switch (options.format) {
    case MachineFormat::Wine: {
      WineWriter w(out);
      result.keys = writeWine(model, w, demo);
      break;
    }
    case MachineFormat::Reg: {
      RegWriter w(out);
      w.openKey("HKEY_CLASSES_ROOT");
      result.keys = model.emit(w);
      w.closeKey();
      w.finish();
      break;
    }
    case MachineFormat::Hive: {
      HiveWriter w;
      w.openKey("ROOT");
      w.openKey("Classes");
      result.keys = model.emit(w);
      w.closeKey();
      softwareAfterClasses(w, demo);
      w.closeKey();
      written = w.finish(out);
      error = w.error();
      break;
    }
  }
  if (!written) {
    result.error = error;
    return result;  // out's destructor removes the partial file
  }
  if (!out.commit()) {
    result.error = out.error();
    return result;
  }
  result.ok = true;
  result.familyKeys = model.familyKeys();
  result.bytes = out.bytesWritten();
  return result;
}

}  // namespace comsweep::bench
