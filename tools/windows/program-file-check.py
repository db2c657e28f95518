#!/usr/bin/env python3
"""Reads the resources back from a built tarnwell.exe and checks them: the version information,
the icon and the application manifest. Prints what it found; exits 1 when something is missing
or wrong.

    program-file-check.py <tarnwell.exe> <version, e.g. 0.1.0> <tarnwell.ico>

Standard library only: the resource section of the PE file is walked here.
"""

import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

# The operating systems an application manifest can name.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10/11",
}


def resources(pe):
    """{(type, id, language): bytes} of the file's resource section."""
    if pe[:2] != b"MZ":
        raise ValueError("not a Windows program file")
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[header:header + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    sections, optional_size = struct.unpack_from("<H12xH", pe, header + 6)
    optional = header + 24
    magic = struct.unpack_from("<H", pe, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", pe, directories + 2 * 8)[0]
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", pe, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("address 0x%x lies in no section" % rva)

    found = {}
    if not rsrc_rva:
        return found
    base = offset(rsrc_rva)

    def walk(at, path):
        named, numbered = struct.unpack_from("<12xHH", pe, base + at)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", pe, base + at + 16 + 8 * i)
            key = path + (name if not name & 0x80000000 else "named",)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, key)
            else:
                rva, size = struct.unpack_from("<II", pe, base + target)
                found[key] = pe[offset(rva):offset(rva) + size]

    walk(0, ())
    return found


def of_type(found, kind):
    return [data for (t, *_), data in sorted(found.items(), key=lambda item: str(item[0])) if t == kind]


def version_info(data):
    """The fixed file and product versions and the strings of a VS_VERSIONINFO resource."""
    strings = {}
    fixed = {}

    def node(at):
        length, value_length, text = struct.unpack_from("<HHH", data, at)
        end = at + length
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if text else value_length
        value = data[value_at:value_at + value_bytes]
        if key == "VS_VERSION_INFO" and len(value) >= 52:
            signature, _, fms, fls, pms, pls = struct.unpack_from("<6I", value)
            if signature == 0xFEEF04BD:
                fixed["file"] = "%d.%d.%d.%d" % (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF)
                fixed["product"] = "%d.%d.%d.%d" % (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)
        elif text and value_length:
            strings[key] = value.decode("utf-16-le").rstrip("\0")
        child = (value_at + value_bytes + 3) & ~3
        while child < end:
            child_length = struct.unpack_from("<H", data, child)[0]
            if child_length == 0:
                break
            node(child)
            child = (child + child_length + 3) & ~3

    node(0)
    return fixed, strings


def icon_pictures(found):
    """(size, bytes) of each picture of the first icon group, in its order."""
    groups = of_type(found, RT_GROUP_ICON)
    if not groups:
        return []
    group = groups[0]
    count = struct.unpack_from("<4xH", group)[0]
    icons = {key[1]: data for key, data in found.items() if key[0] == RT_ICON}
    pictures = []
    for i in range(count):
        width, _, _, _, _, _, _, number = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        pictures.append((width or 256, icons.get(number, b"")))
    return pictures


def ico_pictures(path):
    with open(path, "rb") as f:
        ico = f.read()
    count = struct.unpack_from("<4xH", ico)[0]
    pictures = []
    for i in range(count):
        width, _, _, _, _, _, size, at = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        pictures.append((width or 256, ico[at:at + size]))
    return pictures


def manifest_facts(data):
    root = ET.fromstring(data.decode("utf-8"))

    def local(tag):
        return tag.rsplit("}", 1)[-1]

    facts = {"supportedOS": [], "common-controls": None}
    for element in root.iter():
        name = local(element.tag)
        if name == "supportedOS":
            facts["supportedOS"].append(SUPPORTED_OS.get(element.get("Id", "").lower(), element.get("Id")))
        elif name in ("dpiAware", "dpiAwareness", "longPathAware", "activeCodePage"):
            facts[name] = (element.text or "").strip()
        elif name == "requestedExecutionLevel":
            facts["executionLevel"] = element.get("level")
        elif name == "assemblyIdentity" and element.get("name") == "Microsoft.Windows.Common-Controls":
            facts["common-controls"] = element.get("version")
    return facts


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    program, version, ico = argv
    with open(program, "rb") as f:
        found = resources(f.read())
    problems = []

    versions = of_type(found, RT_VERSION)
    fixed, strings = version_info(versions[0]) if versions else ({}, {})
    wanted = {"ProductName": "Tarnwell", "CompanyName": "Kestrelby", "FileVersion": version,
              "ProductVersion": version, "OriginalFilename": "tarnwell.exe"}
    for key, value in wanted.items():
        if strings.get(key) != value:
            problems.append("version information: %s is %r, not %r" % (key, strings.get(key), value))
    if not strings.get("FileDescription"):
        problems.append("version information: no FileDescription")
    quad = ".".join((version.split(".") + ["0"] * 4)[:4])
    if fixed.get("file") != quad or fixed.get("product") != quad:
        problems.append("version information: fixed versions %s, not %s" % (fixed, quad))
    print("program file: version information: " + ", ".join(
        '%s "%s"' % (key, strings[key]) for key in
        ("ProductName", "CompanyName", "FileDescription", "FileVersion", "ProductVersion", "OriginalFilename")
        if key in strings) + "; fixed file and product version %s, %s" % (fixed.get("file"), fixed.get("product")))

    pictures = icon_pictures(found)
    expected = ico_pictures(ico)
    if pictures != expected:
        problems.append("icon: %s, not the %d pictures of %s" % (
            [size for size, _ in pictures] or "none", len(expected), ico))
    print("program file: icon: %d pictures, %s pixels%s" % (
        len(pictures), ", ".join(str(size) for size, _ in pictures),
        ", byte for byte those of " + ico.rsplit("/", 1)[-1] if pictures == expected else ""))

    manifests = of_type(found, RT_MANIFEST)
    facts = manifest_facts(manifests[0]) if manifests else {"supportedOS": [], "common-controls": None}
    checks = [
        (len(manifests) == 1, "exactly one manifest (found %d)" % len(manifests)),
        ("Windows 10/11" in facts["supportedOS"], "Windows 10/11 among the supported systems"),
        (facts.get("longPathAware") == "true", "longPathAware true"),
        ("PerMonitorV2" in facts.get("dpiAwareness", ""), "per-monitor v2 DPI awareness"),
        (facts["common-controls"] == "6.0.0.0", "the Common-Controls 6 dependency"),
        (facts.get("executionLevel") == "asInvoker", "execution level asInvoker"),
        ("activeCodePage" not in facts, "no activeCodePage (the system's ANSI code page stays)"),
    ]
    problems += ["manifest: " + what for ok, what in checks if not ok]
    print("program file: manifest: supported %s; dpiAwareness %s (dpiAware %s); longPathAware %s; "
          "Common-Controls %s; execution level %s; activeCodePage %s" % (
              " and ".join(facts["supportedOS"]) or "nothing", facts.get("dpiAwareness"),
              facts.get("dpiAware"), facts.get("longPathAware"), facts["common-controls"],
              facts.get("executionLevel"), facts.get("activeCodePage", "none (the system's)")))

    for problem in problems:
        print("FAIL " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
