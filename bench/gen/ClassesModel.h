#pragma once
// A synthetic HKEY_CLASSES_ROOT of realistic shape, fixed by a seed and a
// number of classes: per class a CLSID key (InprocServer32, ProgID, some
// Implemented Categories, Control, TypeLib and VersionIndependentProgID
// subkeys) and a ProgID at the root; half as many interfaces, a tenth as many
// type libraries, a twentieth as many file extensions. One component in 200
// (at least one of each kind) belongs to a family: its texts carry a family
// fragment in mixed letter case.
//
// The demo profile, for a machine people watch being cleaned, puts one
// component in 100 in a family and hands out the fragments in turn, so that
// every family shows with a few thousand classes. Halfway between two family
// components it makes a near miss: a class or type library that a careless
// scan would list but the scans must leave alone (a text that almost carries
// a fragment, or a fragment only where the scans do not look).

#include <cstdint>
#include <string>
#include <vector>

#include "gen/KeySink.h"
#include "gen/Naming.h"
#include "gen/RegistryOrder.h"

namespace comsweep::bench {

class ClassesModel {
 public:
  enum class Profile { Bench, Demo };

  // The same seed, number of classes and profile give the same keys in
  // either order.
  ClassesModel(std::uint64_t seed, std::uint32_t classes, NameOrder order, Profile profile = Profile::Bench);

  // Makes `view` (a model of the same order, outliving this one) the 32-bit
  // view of a 64-bit machine: a Wow6432Node key at the root holding its keys.
  void setWow64View(const ClassesModel& view);

  // Emits every key below the root (not the root itself), siblings in the
  // model's order, and returns how many keys that was.
  std::uint64_t emit(KeySink& sink) const;

  // How many keys a run with every family selected lists: family type
  // libraries, interfaces naming them, family classes (the first subkey of
  // CLSID and of Interface excepted: the scans never examine it) and root
  // keys whose names carry a fragment.
  std::uint64_t familyKeys() const { return m_familyKeys; }

  std::uint32_t classCount() const { return m_classes; }
  std::uint32_t interfaceCount() const { return m_interfaces; }
  std::uint32_t typeLibCount() const { return m_typeLibs; }
  std::uint32_t extensionCount() const { return m_extensions; }

 private:
  enum Kind : std::uint32_t { kClass = 1, kInterface, kTypeLib, kExtension, kExtensionName, kPhase };
  // Where a near miss puts its text; kNearMissKinds counts them.
  enum NearMiss : std::uint32_t {
    kNoNearMiss,
    kAlmostFragment,   // description, file and ProgID carry a text one step from a fragment
    kExpandablePath,   // the fragment only in an expandable InprocServer32 path
    kNoDescription,    // no default value on the class key, the fragment in its path
    kBracedText,       // the fragment only in a subkey's text holding '{'
    kTypeLibText,      // the fragment only in the class's TypeLib subkey
    kNearMissKinds
  };
  enum RootKind : std::uint32_t { kStatic, kRootExtension, kProgId, kVersionIndependentProgId, kClsid, kInterfaces, kTypeLibs, kWow64 };

  struct ClassTraits {
    Guid guid;
    std::string thing;
    std::string vendor;
    std::string fragment;  // empty unless the class belongs to a family
    bool fragmentInDescription = false;
    bool fragmentInFile = false;
    std::uint32_t threading = 0;
    std::uint32_t pathStyle = 0;
    bool expandPath = false;
    std::uint32_t categories = 0;  // bit set over kCategories
    bool control = false;
    bool typeLib = false;
    bool versionIndependent = false;
    bool editFlags = false;
    NearMiss nearMiss = kNoNearMiss;
    std::string nearText;  // what the near miss puts where the scans do not find it
  };
  struct InterfaceTraits {
    Guid guid;
    bool numMethods = false;
    std::uint32_t methods = 0;
    bool proxyStub16 = false;
    std::uint32_t proxyStub = 0;
    bool typeLib = false;
  };
  struct TypeLibTraits {
    Guid guid;
    std::string thing;
    std::string vendor;
    std::string fragment;
    std::vector<std::string> versions;  // in registry order
    std::uint32_t pathStyle = 0;
    bool win64 = false;
    std::string folderFragment;  // a near miss: the fragment names the folder, not the file
  };
  struct RootEntry {
    std::string name;
    std::uint32_t kind;
    std::uint32_t index;
  };
  struct Sorted {
    Guid guid;
    std::uint32_t index;
    bool listed;  // found by a run with every family selected, unless first
  };
  class Emitter;

  std::uint32_t periodOf(std::uint32_t count) const;
  bool isFamily(Kind kind, std::uint32_t index) const;
  bool isNearMiss(Kind kind, std::uint32_t index) const;
  std::uint32_t countOf(Kind kind) const;
  // An index into kFamilyFragments for a family component; draws from rng
  // in every profile, so that the bench profile's streams stay as they are.
  std::uint32_t fragmentOf(Kind kind, std::uint32_t index, Rng& rng) const;
  ClassTraits classTraits(std::uint32_t index) const;
  InterfaceTraits interfaceTraits(std::uint32_t index) const;
  TypeLibTraits typeLibTraits(std::uint32_t index) const;
  std::uint32_t typeLibOfClass(std::uint32_t index) const;
  std::uint32_t typeLibOfInterface(std::uint32_t index) const;
  static std::string progId(const ClassTraits& t);
  static std::string description(const ClassTraits& t);
  static std::string inprocPath(const ClassTraits& t);

  void emitRootEntry(Emitter& e, const RootEntry& entry) const;
  void emitClass(Emitter& e, std::uint32_t index) const;
  void emitProgId(Emitter& e, std::uint32_t index, bool versionIndependent) const;
  void emitExtension(Emitter& e, std::string_view name, std::uint32_t index) const;
  void emitInterface(Emitter& e, std::uint32_t index) const;
  void emitTypeLib(Emitter& e, std::uint32_t index) const;

  std::uint64_t m_seed;
  NameOrder m_order;
  bool m_demo;
  const ClassesModel* m_wow64 = nullptr;
  std::uint32_t m_classes;
  std::uint32_t m_interfaces;
  std::uint32_t m_typeLibs;
  std::uint32_t m_extensions;
  std::uint32_t m_phase[kPhase] = {};  // family components: index % period == phase
  std::vector<RootEntry> m_root;
  std::vector<Sorted> m_sortedClasses;
  std::vector<Sorted> m_sortedInterfaces;
  std::vector<Sorted> m_sortedTypeLibs;
  std::uint64_t m_familyKeys = 0;
};

}  // namespace comsweep::bench
