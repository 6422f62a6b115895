#include "gen/ClassesModel.h"

#include <algorithm>
#include <array>


namespace comsweep::bench {
namespace {

// Well-known component categories, in registry order.
constexpr std::array<std::string_view, 8> kCategories = {
    "{0DE86A52-2BAA-11CF-A229-00AA003D7352}", "{0DE86A53-2BAA-11CF-A229-00AA003D7352}",
    "{0DE86A57-2BAA-11CF-A229-00AA003D7352}", "{157083E0-2368-11CF-87B9-00AA006C8166}",
    "{40FC6ED4-2438-11CF-A3DB-080036F12502}", "{40FC6ED5-2438-11CF-A3DB-080036F12502}",
    "{7DD95801-9882-11CF-9FA9-00AA006C42C4}", "{7DD95802-9882-11CF-9FA9-00AA006C42C4}"};
constexpr std::array<std::string_view, 3> kProxyStubs = {
    "{00020424-0000-0000-C000-000000000046}", "{00020420-0000-0000-C000-000000000046}",
    "{00000320-0000-0000-C000-000000000046}"};
constexpr std::array<std::string_view, 4> kThreading = {"Apartment", "Both", "Free", "Neutral"};
constexpr std::array<std::string_view, 8> kVersions = {"1.0", "1.0", "1.0", "1.1", "2.0", "2.4", "3.0", "1.a"};
constexpr std::array<std::string_view, 4> kInterfaceSuffixes = {"", "Events", "Ex", "2"};
constexpr std::array<std::string_view, 4> kPerceivedTypes = {"document", "image", "text", "audio"};
constexpr std::array<std::string_view, 3> kStaticRootKeys = {"*", "Directory", "Folder"};
// One step from the fragment of the same place in kFamilyFragments; the
// hyphen keeps the text that follows from completing one.
constexpr std::array<std::string_view, kFamilyFragments.size()> kAlmostFragments = {
    "m9-q", "p9-q", "t9-q", "w9-q", "h9-q", "r9-q", "n9-q",
    "ASSET-BINDER", "G-VOXA", "DATE-PAD", "CADENCE-X", "QZ-", "M9-RES", "GRID-CHART"};

}  // namespace

class ClassesModel::Emitter {
 public:
  explicit Emitter(KeySink& sink) : m_sink(sink) {}
  void open(std::string_view name) {
    ++m_keys;
    m_sink.openKey(name);
  }
  void close() { m_sink.closeKey(); }
  void sz(std::string_view name, std::string_view text) { m_sink.addValue({name, ValueType::Sz, text, 0}); }
  void expandSz(std::string_view name, std::string_view text) {
    m_sink.addValue({name, ValueType::ExpandSz, text, 0});
  }
  void dword(std::string_view name, std::uint32_t v) { m_sink.addValue({name, ValueType::Dword, {}, v}); }
  void binary(std::string_view name, std::string_view bytes) { m_sink.addValue({name, ValueType::Binary, bytes, 0}); }
  void leaf(std::string_view name, std::string_view defaultText) {
    open(name);
    sz("", defaultText);
    close();
  }
  std::uint64_t keys() const { return m_keys; }
  // Another model's keys, emitted below the key open now.
  void nested(const ClassesModel& model) { m_keys += model.emit(m_sink); }

 private:
  KeySink& m_sink;
  std::uint64_t m_keys = 0;
};

ClassesModel::ClassesModel(std::uint64_t seed, std::uint32_t classes, NameOrder order, Profile profile)
    : m_seed(seed),
      m_order(order),
      m_demo(profile == Profile::Demo),
      m_classes(std::max<std::uint32_t>(classes, 1)),
      m_interfaces(std::max<std::uint32_t>(m_classes / 2, 1)),
      m_typeLibs(std::max<std::uint32_t>(m_classes / 10, 1)),
      m_extensions(std::max<std::uint32_t>(m_classes / 20, 1)) {
  Rng phases = Rng::forComponent(seed, kPhase, 0);
  m_phase[kClass] = phases.below(periodOf(m_classes));
  m_phase[kInterface] = 0;  // interfaces belong to a family through their type library
  m_phase[kTypeLib] = phases.below(periodOf(m_typeLibs));
  m_phase[kExtension] = phases.below(periodOf(m_extensions));

  for (std::string_view name : kStaticRootKeys)
    m_root.push_back({std::string(name), kStatic, static_cast<std::uint32_t>(m_root.size())});
  m_root.push_back({"CLSID", kClsid, 0});
  m_root.push_back({"Interface", kInterfaces, 0});
  m_root.push_back({"TypeLib", kTypeLibs, 0});

  m_sortedClasses.reserve(m_classes);
  for (std::uint32_t i = 0; i < m_classes; ++i) {
    ClassTraits t = classTraits(i);
    std::string id = progId(t);
    if (t.versionIndependent) m_root.push_back({id.substr(0, id.size() - 2), kVersionIndependentProgId, i});
    m_root.push_back({std::move(id), kProgId, i});
    m_sortedClasses.push_back({t.guid, i, isFamily(kClass, i)});
  }
  std::vector<std::string> codes = extensionCodes(m_extensions);
  for (std::uint32_t k = 0; k < m_extensions; ++k) {
    std::string name = ".";
    if (isFamily(kExtension, k)) {
      // The index keeps family extensions distinct: no fragment ends in a digit.
      Rng rng = Rng::forComponent(seed, kExtensionName, k);
      name += mixedCase(kFamilyFragments[fragmentOf(kExtension, k, rng)], rng) + std::to_string(k);
    } else {
      name += codes[k];
    }
    m_root.push_back({std::move(name), kRootExtension, k});
  }
  // Only root names differ between the two orders: GUIDs, versions and the
  // fixed subkey names below are ordered alike by both.
  std::sort(m_root.begin(), m_root.end(),
            [order](const RootEntry& a, const RootEntry& b) { return compareNames(a.name, b.name, order) < 0; });

  m_sortedInterfaces.reserve(m_interfaces);
  for (std::uint32_t k = 0; k < m_interfaces; ++k) {
    InterfaceTraits t = interfaceTraits(k);
    m_sortedInterfaces.push_back({t.guid, k, t.typeLib && isFamily(kTypeLib, typeLibOfInterface(k))});
  }
  m_sortedTypeLibs.reserve(m_typeLibs);
  for (std::uint32_t j = 0; j < m_typeLibs; ++j)
    m_sortedTypeLibs.push_back({typeLibTraits(j).guid, j, isFamily(kTypeLib, j)});
  auto byGuid = [](const Sorted& a, const Sorted& b) { return a.guid < b.guid; };
  std::sort(m_sortedClasses.begin(), m_sortedClasses.end(), byGuid);
  std::sort(m_sortedInterfaces.begin(), m_sortedInterfaces.end(), byGuid);
  std::sort(m_sortedTypeLibs.begin(), m_sortedTypeLibs.end(), byGuid);

  // The CLSID and Interface scans skip the first subkey; the TypeLib and
  // ProgID scans do not.
  for (std::size_t pos = 1; pos < m_sortedClasses.size(); ++pos) m_familyKeys += m_sortedClasses[pos].listed;
  for (std::size_t pos = 1; pos < m_sortedInterfaces.size(); ++pos) m_familyKeys += m_sortedInterfaces[pos].listed;
  for (const Sorted& lib : m_sortedTypeLibs) m_familyKeys += lib.listed;
  for (const RootEntry& entry : m_root)
    if (entry.kind == kProgId || entry.kind == kVersionIndependentProgId)
      m_familyKeys += isFamily(kClass, entry.index);
    else if (entry.kind == kRootExtension)
      m_familyKeys += isFamily(kExtension, entry.index);
}

std::uint32_t ClassesModel::periodOf(std::uint32_t count) const {
  return std::min<std::uint32_t>(m_demo ? 100 : 200, count);
}

std::uint32_t ClassesModel::countOf(Kind kind) const {
  return kind == kClass ? m_classes : kind == kTypeLib ? m_typeLibs : m_extensions;
}

bool ClassesModel::isFamily(Kind kind, std::uint32_t index) const {
  return index % periodOf(countOf(kind)) == m_phase[kind];
}

bool ClassesModel::isNearMiss(Kind kind, std::uint32_t index) const {
  if (!m_demo || (kind != kClass && kind != kTypeLib) || isFamily(kind, index)) return false;
  std::uint32_t period = periodOf(countOf(kind));
  return index % period == (m_phase[kind] + period / 2) % period;
}

std::uint32_t ClassesModel::fragmentOf(Kind kind, std::uint32_t index, Rng& rng) const {
  std::uint32_t drawn = rng.below(kFamilyFragments.size());
  if (!m_demo) return drawn;
  return index / periodOf(countOf(kind)) % kFamilyFragments.size();
}

std::uint32_t ClassesModel::typeLibOfClass(std::uint32_t index) const {
  if (isFamily(kClass, index)) {
    // A family's class registers one of the family's type libraries.
    std::uint32_t period = periodOf(m_typeLibs);
    std::uint32_t familyLibs = (m_typeLibs - m_phase[kTypeLib] + period - 1) / period;
    return m_phase[kTypeLib] + (index / periodOf(m_classes)) % familyLibs * period;
  }
  return static_cast<std::uint32_t>(std::uint64_t{index} * m_typeLibs / m_classes);
}

std::uint32_t ClassesModel::typeLibOfInterface(std::uint32_t index) const {
  return static_cast<std::uint32_t>(std::uint64_t{index} * m_typeLibs / m_interfaces);
}

ClassesModel::ClassTraits ClassesModel::classTraits(std::uint32_t index) const {
  Rng rng = Rng::forComponent(m_seed, kClass, index);
  ClassTraits t;
  t.guid = randomGuid(rng);
  t.thing = thingName(index);
  t.vendor = vendorName(rng.below(kVendorCount));
  std::uint32_t r = rng.below(100);
  t.threading = r < 60 ? 0 : r < 90 ? 1 : r < 95 ? 2 : 3;
  r = rng.below(100);
  t.pathStyle = r < 60 ? 0 : r < 80 ? 1 : 2;
  t.expandPath = t.pathStyle == 2 && rng.percent(50);
  if (rng.percent(40)) {
    t.categories = 1u << rng.below(kCategories.size());
    if (rng.percent(50)) t.categories |= 1u << rng.below(kCategories.size());
    if (rng.percent(20)) t.categories |= 1u << rng.below(kCategories.size());
  }
  t.control = rng.percent(10);
  t.typeLib = rng.percent(30);
  t.versionIndependent = rng.percent(25);
  t.editFlags = rng.percent(20);
  if (isFamily(kClass, index)) {
    t.fragment = mixedCase(kFamilyFragments[fragmentOf(kClass, index, rng)], rng);
    std::uint32_t place = rng.below(3);
    t.fragmentInDescription = place != 1;
    t.fragmentInFile = place != 0;
    t.expandPath = false;  // the scans read plain strings only
  } else if (isNearMiss(kClass, index)) {
    // 5 kinds and 14 fragments: every pairing comes round.
    std::uint32_t round = index / periodOf(m_classes);
    t.nearMiss = static_cast<NearMiss>(1 + round % (kNearMissKinds - 1));
    std::size_t f = round % kFamilyFragments.size();
    t.nearText = t.nearMiss == kAlmostFragment ? kAlmostFragments[f] : kFamilyFragments[f];
    t.expandPath = t.nearMiss == kExpandablePath;
    if (t.expandPath) t.pathStyle = 2;
    if (t.nearMiss == kTypeLibText) t.typeLib = true;
  }
  return t;
}

ClassesModel::InterfaceTraits ClassesModel::interfaceTraits(std::uint32_t index) const {
  Rng rng = Rng::forComponent(m_seed, kInterface, index);
  InterfaceTraits t;
  t.guid = randomGuid(rng);
  t.numMethods = rng.percent(50);
  t.methods = 3 + rng.below(40);
  t.proxyStub16 = rng.percent(30);
  std::uint32_t r = rng.below(100);
  t.proxyStub = r < 70 ? 0 : r < 95 ? 1 : 2;
  t.typeLib = rng.percent(90);
  return t;
}

ClassesModel::TypeLibTraits ClassesModel::typeLibTraits(std::uint32_t index) const {
  Rng rng = Rng::forComponent(m_seed, kTypeLib, index);
  TypeLibTraits t;
  t.guid = randomGuid(rng);
  t.thing = thingName(index);
  t.vendor = vendorName(rng.below(kVendorCount));
  t.versions.emplace_back(kVersions[rng.below(kVersions.size())]);
  if (rng.percent(5)) {
    std::string_view second;
    do second = kVersions[rng.below(kVersions.size())];
    while (second == t.versions.front());
    t.versions.emplace_back(second);
    std::sort(t.versions.begin(), t.versions.end(), nameLess);
  }
  t.pathStyle = rng.below(3);
  t.win64 = rng.percent(20);
  if (isFamily(kTypeLib, index)) {
    t.fragment = mixedCase(kFamilyFragments[fragmentOf(kTypeLib, index, rng)], rng);
  } else if (isNearMiss(kTypeLib, index)) {
    // The scan matches the file name only.
    t.folderFragment = kFamilyFragments[index / periodOf(m_typeLibs) % kFamilyFragments.size()];
    if (t.pathStyle == 1) t.pathStyle = 0;
  }
  return t;
}

std::string ClassesModel::progId(const ClassTraits& t) {
  if (t.nearMiss == kAlmostFragment) return t.vendor + "." + t.nearText + t.thing + ".1";
  if (t.fragment.empty()) return t.vendor + "." + t.thing + ".1";
  if (t.fragment.back() == '.') return t.fragment + t.thing + ".1";
  return t.vendor + "." + t.fragment + t.thing + ".1";
}

std::string ClassesModel::description(const ClassTraits& t) {
  if (t.fragmentInDescription) return t.fragment + " " + t.thing + " Control";
  if (t.nearMiss == kAlmostFragment) return t.nearText + " " + t.thing + " Control";
  return t.thing + " Class";
}

std::string ClassesModel::inprocPath(const ClassTraits& t) {
  std::string_view extension = t.pathStyle == 1 ? ".ocx" : ".dll";
  bool nearFile = t.nearMiss == kAlmostFragment || t.nearMiss == kExpandablePath || t.nearMiss == kNoDescription;
  std::string file = t.fragmentInFile ? t.fragment + t.thing
                     : nearFile       ? t.nearText + t.thing
                     : t.pathStyle == 0 ? t.thing
                                        : lowerAscii(t.thing);
  file += extension;
  switch (t.pathStyle) {
    case 0: return "C:\\Program Files\\" + t.vendor + "\\" + file;
    case 1: return "C:\\Program Files (x86)\\" + t.vendor + "\\Common\\" + file;
    default: return (t.expandPath ? "%SystemRoot%\\System32\\" : "C:\\Windows\\System32\\") + file;
  }
}

void ClassesModel::setWow64View(const ClassesModel& view) {
  m_wow64 = &view;
  RootEntry entry{"Wow6432Node", kWow64, 0};
  auto at = std::lower_bound(m_root.begin(), m_root.end(), entry, [this](const RootEntry& a, const RootEntry& b) {
    return compareNames(a.name, b.name, m_order) < 0;
  });
  m_root.insert(at, std::move(entry));
  m_familyKeys += view.familyKeys();
}

std::uint64_t ClassesModel::emit(KeySink& sink) const {
  Emitter e(sink);
  for (const RootEntry& entry : m_root) emitRootEntry(e, entry);
  return e.keys();
}

void ClassesModel::emitRootEntry(Emitter& e, const RootEntry& entry) const {
  switch (entry.kind) {
    case kStatic:
      e.open(entry.name);
      if (entry.name == "*") {
        e.open("shellex");
        e.open("ContextMenuHandlers");  // no values, no subkeys
        e.close();
        e.close();
      } else if (entry.name == "Directory") {
        e.sz("", "File Folder");
      } else {
        e.sz("", "Folder");
        e.dword("EditFlags", 0x000000d2);
      }
      e.close();
      return;
    case kRootExtension: emitExtension(e, entry.name, entry.index); return;
    case kProgId: emitProgId(e, entry.index, false); return;
    case kVersionIndependentProgId: emitProgId(e, entry.index, true); return;
    case kWow64:
      e.open(entry.name);
      e.nested(*m_wow64);
      e.close();
      return;
    case kClsid:
      e.open("CLSID");
      for (const Sorted& c : m_sortedClasses) emitClass(e, c.index);
      e.close();
      return;
    case kInterfaces:
      e.open("Interface");
      for (const Sorted& i : m_sortedInterfaces) emitInterface(e, i.index);
      e.close();
      return;
    case kTypeLibs:
      e.open("TypeLib");
      for (const Sorted& l : m_sortedTypeLibs) emitTypeLib(e, l.index);
      e.close();
      return;
  }
}

void ClassesModel::emitClass(Emitter& e, std::uint32_t index) const {
  ClassTraits t = classTraits(index);
  std::string id = progId(t);
  e.open(guidText(t.guid));
  if (t.nearMiss != kNoDescription) e.sz("", description(t));
  if (t.nearMiss == kBracedText) e.leaf("AuxUserType", "{" + t.nearText + "}");
  if (t.control) {
    e.open("Control");
    e.close();
  }
  if (t.categories) {
    e.open("Implemented Categories");
    for (std::size_t c = 0; c < kCategories.size(); ++c)
      if (t.categories & (1u << c)) {
        e.open(kCategories[c]);
        e.close();
      }
    e.close();
  }
  e.open("InprocServer32");
  std::string path = inprocPath(t);
  if (t.expandPath)
    e.expandSz("", path);
  else
    e.sz("", path);
  e.sz("ThreadingModel", kThreading[t.threading]);
  e.close();
  e.leaf("ProgID", id);
  if (t.nearMiss == kTypeLibText)
    e.leaf("TypeLib", t.nearText + " Type Library");
  else if (t.typeLib)
    e.leaf("TypeLib", guidText(typeLibTraits(typeLibOfClass(index)).guid));
  if (t.versionIndependent) e.leaf("VersionIndependentProgID", std::string_view(id).substr(0, id.size() - 2));
  e.close();
}

void ClassesModel::emitProgId(Emitter& e, std::uint32_t index, bool versionIndependent) const {
  ClassTraits t = classTraits(index);
  std::string id = progId(t);
  std::string_view name = versionIndependent ? std::string_view(id).substr(0, id.size() - 2) : id;
  e.open(name);
  e.sz("", description(t));
  if (t.editFlags && !versionIndependent) {
    if (index % 2)
      e.dword("EditFlags", 0x00010000);
    else
      e.binary("EditFlags", std::string_view("\x00\x00\x01\x00", 4));
  }
  e.leaf("CLSID", guidText(t.guid));
  if (versionIndependent) e.leaf("CurVer", id);
  e.close();
}

void ClassesModel::emitExtension(Emitter& e, std::string_view name, std::uint32_t index) const {
  Rng rng = Rng::forComponent(m_seed, kExtension, index);
  std::string handler = progId(classTraits(rng.below(m_classes)));
  e.open(name);
  e.sz("", handler);
  if (rng.percent(40)) e.sz("Content Type", "application/x-" + lowerAscii(name.substr(1)));
  if (rng.percent(15)) e.sz("PerceivedType", kPerceivedTypes[rng.below(kPerceivedTypes.size())]);
  if (rng.percent(20)) {
    e.open("OpenWithProgids");
    e.sz(handler, "");
    e.close();
  }
  e.close();
}

void ClassesModel::emitInterface(Emitter& e, std::uint32_t index) const {
  InterfaceTraits t = interfaceTraits(index);
  e.open(guidText(t.guid));
  e.sz("", "I" + thingName(index % m_classes) + std::string(kInterfaceSuffixes[index % kInterfaceSuffixes.size()]));
  if (t.numMethods) e.leaf("NumMethods", std::to_string(t.methods));
  if (t.proxyStub16) e.leaf("ProxyStubClsid", kProxyStubs[t.proxyStub]);
  e.leaf("ProxyStubClsid32", kProxyStubs[t.proxyStub]);
  if (t.typeLib) {
    e.open("TypeLib");
    e.sz("", guidText(typeLibTraits(typeLibOfInterface(index)).guid));
    e.sz("Version", "1.0");
    e.close();
  }
  e.close();
}

void ClassesModel::emitTypeLib(Emitter& e, std::uint32_t index) const {
  TypeLibTraits t = typeLibTraits(index);
  std::string file = t.fragment.empty() ? (t.pathStyle == 1 ? lowerAscii(t.thing) : t.thing) : t.fragment + t.thing;
  file += t.pathStyle == 0 ? ".tlb" : t.pathStyle == 1 ? ".dll" : ".ocx";
  std::string dir = t.pathStyle == 1 ? "C:\\Windows\\SysWOW64" : "C:\\Program Files\\" + t.vendor;
  if (!t.folderFragment.empty()) dir += "\\" + t.folderFragment;
  std::string dir64 = t.pathStyle == 1 ? "C:\\Windows\\System32" : "C:\\Program Files\\" + t.vendor + "\\x64";
  e.open(guidText(t.guid));
  for (const std::string& version : t.versions) {
    e.open(version);
    e.sz("", t.vendor + " " + t.thing + " " + version + " Type Library");
    e.open("0");
    e.leaf("win32", dir + "\\" + file);
    if (t.win64) e.leaf("win64", dir64 + "\\" + file);
    e.close();
    e.leaf("FLAGS", "0");
    e.leaf("HELPDIR", dir);
    e.close();
  }
  e.close();
}

}  // namespace comsweep::bench
