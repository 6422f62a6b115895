#!/usr/bin/env python3
"""Writes demo/wine-prefix/system.reg: the registry of a Wine prefix in which
a few thousand ordinary COM registrations live next to the leftovers of
uninstalled programs of every component family.

The output is deterministic (fixed seed, fixed times), so running the script
again reproduces the committed file byte for byte. The layout follows what
Wine 8 writes: keys sorted by their upper-cased names, depth first, a block
only for keys that have values or no subkeys, Wine's string escapes.
"""

import os
import random

SEED = 4242
BASE_TIME = 1700000000  # seconds since 1970 of the first key
EPOCH_DIFF = 11644473600  # seconds between 1601 and 1970

rng = random.Random(SEED)

# --- The key tree -----------------------------------------------------------

class Key:
    def __init__(self, name):
        self.name = name
        self.children = {}  # upper-cased name -> Key
        self.values = []  # (name or None for the default, spelled data)
        self.link = False
        self.time = None

    def child(self, name):
        key = self.children.get(name.upper())
        if key is None:
            key = self.children[name.upper()] = Key(name)
        return key


root = Key("")
clock = [0]


def key(path):
    node = root
    for level in path.split("\\"):
        node = node.child(level)
    if node.time is None:
        clock[0] += rng.randint(0, 3)
        node.time = BASE_TIME + clock[0]
    return node


def escape(text, delimiters='"'):
    """Wine's spelling of a string: see dump_strW in Wine's server."""
    c_escapes = ".......abtnvfr.............e...."
    units = text.encode("utf-16-le")
    units = [units[i] | units[i + 1] << 8 for i in range(0, len(units), 2)]
    out = []
    for i, u in enumerate(units):
        nxt = units[i + 1] if i + 1 < len(units) else None
        if u > 127:
            hex_next = nxt is not None and nxt < 128 and chr(nxt) in "0123456789abcdefABCDEF"
            out.append("\\x%04x" % u if hex_next else "\\x%x" % u)
        elif u < 32:
            if c_escapes[u] != ".":
                out.append("\\" + c_escapes[u])
            else:
                out.append("\\%03o" % u if nxt is not None and 48 <= nxt <= 55 else "\\%o" % u)
        else:
            ch = chr(u)
            out.append("\\" + ch if ch == "\\" or ch in delimiters else ch)
    return "".join(out)


def sz(text):
    return '"%s"' % escape(text)


def expand_sz(text):
    return 'str(2):"%s"' % escape(text)


def dword(n):
    return "dword:%08x" % n


def hex_value(data, type_=None):
    """Hex data; spelled when its line is written, since it wraps like Wine's."""
    return ("hex:" if type_ is None else "hex(%x):" % type_, bytes(data))


def value_line(name, data):
    head = "@=" if name is None else '"%s"=' % escape(name)
    if isinstance(data, str):
        return head + data
    tag, raw = data
    out, count = [head + tag], len(head) + len(tag)
    for i, b in enumerate(raw):
        out.append("%02x" % b)
        count += 2
        if i < len(raw) - 1:
            out.append(",")
            count += 1
            if count > 76:
                out.append("\\\n  ")
                count = 2
    return "".join(out)


def setv(path, name, data):
    key(path).values.append((name, data))


# --- Names ------------------------------------------------------------------

VENDORS = ["Alder", "Birchwood", "Cobalt", "Dunmore", "Elmfield", "Fernhill", "Glenrock",
           "Hawthorn", "Ironbridge", "Juniper", "Kestrel", "Larkspur", "Marlow", "Northgate",
           "Oakridge", "Pinecrest", "Redcliff", "Stonebrook", "Thornbury", "Westmere"]
THINGS = ["Calendar", "Chart", "Viewer", "Editor", "Parser", "Filter", "Renderer", "Codec",
          "Spooler", "Browser", "Encoder", "Scanner", "Player", "Recorder", "Printer", "Mailer",
          "Converter", "Gauge", "Ruler", "Toolbar", "StatusBar", "TreeView", "ListView",
          "Slider", "Spinner", "Picker", "Inspector", "Monitor", "Tracker", "Indexer"]
KINDS = ["Control", "Object", "Document", "Server", "Factory", "Provider", "Handler", "Component"]
INTERFACE_WORDS = ["Stream", "Storage", "Persist", "Enum", "Callback", "Sink", "Site", "Events",
                   "Notify", "Host", "View", "Data", "Moniker", "Binding", "Marshal"]


def guid():
    return "{%08X-%04X-%04X-%04X-%012X}" % (rng.getrandbits(32), rng.getrandbits(16),
                                            0x4000 | rng.getrandbits(12),
                                            0x8000 | rng.getrandbits(14), rng.getrandbits(48))


def dll_name(vendor, thing):
    return "%s%s%s" % (vendor[:3].lower(), thing.lower(), rng.choice(["", "32", "ex", "2"]))


# --- Ordinary registrations -------------------------------------------------

SYSTEM32 = "C:\\windows\\system32\\"
type_libs = []


def ordinary_type_library(vendor, thing):
    lib = guid()
    version = rng.choice(["1.0", "1.1", "2.0", "3.0"])
    base = "Typelib\\%s\\%s" % (lib, version)  # Wine's own spelling
    setv(base, None, sz("%s %s Type Library" % (vendor, thing)))
    setv(base + "\\0\\win32", None, sz(SYSTEM32 + dll_name(vendor, thing) + ".tlb"))
    setv(base + "\\FLAGS", None, sz("0"))
    setv(base + "\\HELPDIR", None, sz("C:\\windows\\system32"))
    type_libs.append(lib)
    return lib, version


def ordinary_interface(lib, version):
    iid = guid()
    name = "I" + rng.choice(INTERFACE_WORDS) + rng.choice(THINGS)
    setv("Interface\\" + iid, None, sz(name))
    setv("Interface\\%s\\NumMethods" % iid, None, sz(str(rng.randint(3, 40))))
    setv("Interface\\%s\\ProxyStubClsid32" % iid, None, sz("{00020424-0000-0000-C000-000000000046}"))
    if lib:
        setv("Interface\\%s\\TypeLib" % iid, None, sz(lib))
        setv("Interface\\%s\\TypeLib" % iid, "Version", sz(version))


def ordinary_class(vendor, thing, kind, lib):
    clsid = guid()
    progid = "%s.%s%s" % (vendor, thing, kind)
    version = rng.randint(1, 4)
    base = "CLSID\\" + clsid
    setv(base, None, sz("%s %s %s" % (vendor, thing, kind)))
    server = "InprocServer32" if rng.random() < 0.85 else "LocalServer32"
    ext = ".exe" if server == "LocalServer32" else rng.choice([".dll", ".dll", ".ocx"])
    setv(base + "\\" + server, None, sz(SYSTEM32 + dll_name(vendor, thing) + ext))
    if server == "InprocServer32":
        setv(base + "\\" + server, "ThreadingModel", sz(rng.choice(["Apartment", "Both", "Free"])))
    setv(base + "\\ProgID", None, sz("%s.%d" % (progid, version)))
    setv(base + "\\VersionIndependentProgID", None, sz(progid))
    if lib:
        setv(base + "\\TypeLib", None, sz(lib))
    if rng.random() < 0.2:
        key(base + "\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}")
    setv("%s.%d" % (progid, version), None, sz("%s %s %s" % (vendor, thing, kind)))
    setv("%s.%d\\CLSID" % (progid, version), None, sz(clsid))
    setv(progid, None, sz("%s %s %s" % (vendor, thing, kind)))
    setv(progid + "\\CLSID", None, sz(clsid))
    setv(progid + "\\CurVer", None, sz("%s.%d" % (progid, version)))


def ordinary_registrations():
    for vendor in VENDORS:
        for thing in rng.sample(THINGS, 22):
            lib = None
            if rng.random() < 0.35:
                lib, version = ordinary_type_library(vendor, thing)
                for _ in range(rng.randint(1, 3)):
                    ordinary_interface(lib, version)
            ordinary_class(vendor, thing, rng.choice(KINDS), lib)
    for _ in range(400):
        ordinary_interface(None, None)
    for ext, cls in [(".txt", "txtfile"), (".htm", "htmlfile"), (".xml", "xmlfile"),
                     (".bmp", "Paint.Picture"), (".ini", "inifile"), (".reg", "regfile")]:
        setv(ext, None, sz(cls))
        setv(cls, None, sz(cls.capitalize()))
    # Names that need Wine's escapes.
    setv("\u00dcbersicht.Dokument", None, sz("\u00dcbersicht \u2013 Dokument"))
    setv("Report[Legacy].Document\\CLSID", None, sz(guid()))


# --- Leftovers of the component families ------------------------------------

PROGRAMS = "C:\\Program Files\\"
leftover_count = [0]


def leftover_class(default, server_path, progid=None, lib=None, server_type=sz):
    clsid = guid()
    base = "CLSID\\" + clsid
    if default is not None:
        setv(base, None, sz(default))
    setv(base + "\\InprocServer32", None, server_type(server_path))
    setv(base + "\\InprocServer32", "ThreadingModel", sz("Apartment"))
    if progid:
        setv(base + "\\ProgID", None, sz(progid))
        setv(progid, None, sz(default or progid))
        setv(progid + "\\CLSID", None, sz(clsid))
    if lib:
        setv(base + "\\TypeLib", None, sz(lib))
    leftover_count[0] += 1
    return clsid


def leftover_type_library(description, path, interfaces):
    lib = guid()
    base = "Typelib\\%s\\1.0" % lib
    setv(base, None, sz(description))
    setv(base + "\\0\\win32", None, sz(path))
    setv(base + "\\FLAGS", None, sz("2"))
    for name in interfaces:
        iid = guid()
        setv("Interface\\" + iid, None, sz(name))
        setv("Interface\\%s\\ProxyStubClsid32" % iid, None, sz("{00020424-0000-0000-C000-000000000046}"))
        setv("Interface\\%s\\TypeLib" % iid, None, sz(lib))
        setv("Interface\\%s\\TypeLib" % iid, "Version", sz("1.0"))
    return lib


def family_leftovers():
    sonnet = PROGRAMS + "Sonnet\\"
    grid_lib = leftover_type_library("m9q Grid 1.0 Type Library", SYSTEM32 + "m9qGrid.ocx",
                                     ["_Dm9qGrid", "_Dm9qGridEvents"])
    leftover_class("m9q Grid Control", sonnet + "m9qGrid.ocx", "m9qGrid.Grid.1", grid_lib)
    leftover_class("m9q Calendar Control", SYSTEM32 + "m9qcal.ocx", "m9qCalendar.Calendar.1")
    leftover_class("Sonnet Spell Checker", sonnet + "m9qSpell.dll", "Sonnet.Speller.1")
    leftover_type_library("m9q Report Writer", SYSTEM32 + "m9qRpt.dll", ["Im9qReport"])
    setv(".m9q", None, sz("m9qDocument"))
    setv("m9qDocument", None, sz("Sonnet Document"))
    # Other Sonnet components.
    leftover_class("Asset Binder", sonnet + "AssetBinder.dll", "AssetBinder.Binder.1")
    leftover_class("Voice Automation", sonnet + "GVOXA32.dll", "GVoxa.Engine")
    leftover_class("Date Picker", sonnet + "DatePad.ocx")
    leftover_class("Cadence Extension", sonnet + "CadenceX.dll", "CadenceX.Host.1")
    leftover_type_library("Asset Binder Library", SYSTEM32 + "AssetBinder.dll", ["IAssetBinder"])

    peregrine = PROGRAMS + "Peregrine\\"
    leftover_class("p9q Dialer", peregrine + "p9qDial.dll", "p9qDial.Dialer.1")
    leftover_class("p9q Phone Book", peregrine + "p9qBook.dll")
    leftover_type_library("Dialer Type Library", SYSTEM32 + "p9qDial.tlb", ["Ip9qDialer"])
    leftover_class("Queue Manager", peregrine + "QZ.dll", "QZ.Queue.1")
    leftover_class("Queue Monitor", peregrine + "qz.exe.dll")

    leftover_class("t9q Macro Recorder", PROGRAMS + "Workbench\\t9qMacro.dll", "t9qMacro.Recorder.1")
    leftover_type_library("Macro Library", SYSTEM32 + "t9qMacro.tlb", ["It9qMacro", "It9qMacroEvents"])

    cadence = PROGRAMS + "Cadence Scripts\\"
    leftover_class("w9q Script Host", cadence + "w9qHost.dll", "w9qScript.Host.1")
    leftover_class("Script Resources", cadence + "m9qRES.dll")
    leftover_class("Grid Chart", cadence + "GridChart.ocx", "GridChart.Chart.1")
    leftover_type_library("Cadence Chart Library", SYSTEM32 + "GRIDCHART.OCX", ["IGridChart"])

    leftover_class("h9q Harbor Client", PROGRAMS + "Harbor\\h9qClient.dll", "h9qHarbor.Client.1")
    leftover_type_library("Harbor Library", SYSTEM32 + "h9qHarbor.dll", ["Ih9qHarbor"])
    leftover_class("r9q Summit Planner", PROGRAMS + "Summit\\r9qPlan.dll", "r9qSummit.Planner.1")
    leftover_class("n9q Journey Operator", PROGRAMS + "Journeys\\n9qOps.dll", "n9qJourney.Ops.1")
    leftover_type_library("Journey Operators", SYSTEM32 + "n9qOps.tlb", ["In9qOperator"])

    # Near misses the scans must leave alone.
    leftover_class(None, sonnet + "m9qOrphan.dll")  # no default value: not examined
    leftover_class("Expanding Path", "%ProgramFiles%\\Sonnet\\m9qExp.dll",
                   server_type=expand_sz)  # an expandable string reads as absent
    plain = leftover_class("Plain Viewer", SYSTEM32 + "plainview.dll")
    setv("CLSID\\%s\\TypeLib" % plain, None, sz("m9q library"))  # TypeLib subkeys are skipped
    brace = leftover_class("Brace Holder", SYSTEM32 + "brace.dll")
    setv("CLSID\\%s\\AuxUserType" % brace, None, sz("{m9q}"))  # values with "{" are skipped
    leftover_type_library("Sonnet Folder Library", PROGRAMS + "m9q\\grid.ocx", ["IFolderOnly"])


# --- Outside the classes ----------------------------------------------------

def machine_keys():
    """Blocks before and after Software\\Classes, as a real prefix has them."""
    before = [
        ("Software\\Borland\\Database Engine\\Settings\\SYSTEM\\INIT",
         ['"SHAREDMEMLOCATION"="9000"']),
        ("Software\\Microsoft\\Cryptography", ['"MachineGuid"=' + sz(guid()[1:-1].lower())]),
    ]
    after = [
        ("Software\\Microsoft\\Windows\\CurrentVersion",
         ['"CommonFilesDir"=' + sz("C:\\Program Files\\Common Files"),
          '"ProgramFilesDir"=' + sz("C:\\Program Files"),
          '"SM_GamesName"=' + sz("Games")]),
        ("Software\\Microsoft\\Windows NT\\CurrentVersion",
         ['"CurrentBuild"=' + sz("19043"), '"CurrentVersion"=' + sz("6.3"),
          '"ProductName"=' + sz("Microsoft Windows 10")]),
        ("Software\\Wine\\Drives", ['"c:"="hd"']),
        ("System\\CurrentControlSet\\Control\\Session Manager\\Environment",
         ['"ComSpec"=' + expand_sz("%SystemRoot%\\system32\\cmd.exe"),
          '"PATH"=' + expand_sz("%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem"),
          '"windir"=' + expand_sz("%SystemRoot%")]),
        ("System\\Select", ['"Current"=dword:00000001']),
    ]
    return before, after


# --- Output -----------------------------------------------------------------

def filetime(seconds):
    ticks = (seconds + EPOCH_DIFF) * 10000000 + rng.randint(0, 9999999)
    return "%x" % ticks


def blocks(node, path, out):
    for child in sorted(node.children.values(), key=lambda k: k.name.upper()):
        child_path = path + "\\\\" + escape(child.name, "[]")
        if child.values or not child.children or child.link:
            time = child.time or BASE_TIME
            lines = ["[%s] %d" % (child_path, time), "#time=" + filetime(time)]
            if child.link:
                lines.append("#link")
            lines.extend(value_line(name, data) for name, data in child.values)
            out.append("\n".join(lines) + "\n")
        blocks(child, child_path, out)


def block(path, lines, time):
    return "\n".join(["[%s] %d" % (path.replace("\\", "\\\\"), time), "#time=" + filetime(time)]
                     + lines) + "\n"


def main():
    ordinary_registrations()
    family_leftovers()
    # The 32-bit view of the classes links back to them.
    for name in ["CLSID", "Interface", "TypeLib"]:
        link = key("Wow6432Node\\" + name)
        link.link = True
        target = "\\Registry\\Machine\\Software\\Classes\\" + name
        link.values.append(("SymbolicLinkValue", hex_value(target.encode("utf-16-le"), 6)))

    before, after = machine_keys()
    out = []
    for path, lines in before:
        out.append(block(path, lines, BASE_TIME))
    blocks(root, "Software\\\\Classes", out)
    for path, lines in after:
        out.append(block(path, lines, BASE_TIME + clock[0]))

    text = ("WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n"
            "#arch=win64\n" + "".join("\n" + b for b in out))
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(here, "wine-prefix", "system.reg")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    print("%s: %d bytes, %d key blocks, %d leftover classes"
          % (target, len(text), len(out), leftover_count[0]))


if __name__ == "__main__":
    main()
