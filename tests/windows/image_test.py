#!/usr/bin/env python3
"""Checks what vistal.exe carries besides code, read straight from the PE file.

usage: image_test.py VISTAL_EXE COMPANY_NAME LEGAL_NOTICE [PRODUCT PRODUCT_VERSION] [unittest options]

PRODUCT and PRODUCT_VERSION are the build's identity, by default the maker's product and 2.0.2.
"""

import struct
import sys
import unittest
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
EN_US = 0x0409
IMAGE_SCN_CNT_CODE, IMAGE_SCN_CNT_INITIALIZED_DATA = 0x20, 0x40
IMAGE_SCN_MEM_EXECUTE, IMAGE_SCN_MEM_WRITE = 0x20000000, 0x80000000

EXE = COMPANY_NAME = LEGAL_NOTICE = None
PRODUCT, PRODUCT_VERSION = "Quarlen Vistal", "2.0.2"


class Image:
    """The parts of a PE32+ image the tests look at."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        (pe,) = struct.unpack_from("<I", self.data, 0x3C)
        if self.data[pe : pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", self.data, pe + 4
        )
        opt = pe + 24
        (self.magic,) = struct.unpack_from("<H", self.data, opt)
        (self.subsystem,) = struct.unpack_from("<H", self.data, opt + 68)
        (count,) = struct.unpack_from("<I", self.data, opt + 108)
        self.directories = [struct.unpack_from("<II", self.data, opt + 112 + 8 * i) for i in range(count)]
        self.sections = []
        for i in range(sections):
            at = opt + optional_size + 40 * i
            name = self.data[at : at + 8].rstrip(b"\0").decode()
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", self.data, at + 8)
            (flags,) = struct.unpack_from("<I", self.data, at + 36)
            self.sections.append((name, rva, max(vsize, raw_size), raw_at, flags))

    def section_of(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def at(self, rva, size):
        _, start, _, raw_at, _ = self.section_of(rva)
        offset = raw_at + rva - start
        return self.data[offset : offset + size]

    def cstring(self, rva):
        _, start, _, raw_at, _ = self.section_of(rva)
        offset = raw_at + rva - start
        return self.data[offset : self.data.index(b"\0", offset)].decode()

    def exports(self):
        """{name: (ordinal, rva)}"""
        rva, size = self.directories[0]
        if not size:
            return {}
        fields = struct.unpack("<IIHHIIIIIII", self.at(rva, 40))
        base, functions, names, function_table, name_table, ordinal_table = fields[5:11]
        addresses = struct.unpack(f"<{functions}I", self.at(function_table, 4 * functions))
        result = {}
        for i in range(names):
            (name_rva,) = struct.unpack("<I", self.at(name_table + 4 * i, 4))
            (index,) = struct.unpack("<H", self.at(ordinal_table + 2 * i, 2))
            result[self.cstring(name_rva)] = (base + index, addresses[index])
        return result

    def resources(self):
        """{(type, name, language): bytes}; string names come back as str."""
        root, _ = self.directories[2]
        found = {}

        def entries(offset):
            named, numbered = struct.unpack("<HH", self.at(root + offset + 12, 4))
            for i in range(named + numbered):
                ident, target = struct.unpack("<II", self.at(root + offset + 16 + 8 * i, 8))
                if ident & 0x80000000:
                    (length,) = struct.unpack("<H", self.at(root + (ident & 0x7FFFFFFF), 2))
                    ident = self.at(root + (ident & 0x7FFFFFFF) + 2, 2 * length).decode("utf-16-le")
                yield ident, target

        for kind, names in entries(0):
            for name, languages in entries(names & 0x7FFFFFFF):
                for language, leaf in entries(languages & 0x7FFFFFFF):
                    data_rva, size = struct.unpack("<II", self.at(root + leaf, 8))
                    found[(kind, name, language)] = self.at(data_rva, size)
        return found


def version_blocks(data, offset=0):
    """Walks a VS_VERSIONINFO tree: (key, value bytes, value type, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end : key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6 : key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    value = data[pos : pos + size]
    pos = (pos + size + 3) & ~3
    children = []
    while pos < end:
        child = version_blocks(data, pos)
        children.append(child[:4])
        pos = (pos + child[4] + 3) & ~3
    return key, value, kind, children, length


class ImageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = Image(EXE)
        cls.resources = cls.image.resources()

    def resource(self, kind, name):
        matches = {k: v for k, v in self.resources.items() if k[0] == kind and k[1] == name}
        self.assertEqual([(kind, name, EN_US)], list(matches), "one resource, U.S. English")
        return matches[(kind, name, EN_US)]

    def test_is_a_64_bit_gui_program(self):
        self.assertEqual(0x8664, self.image.machine)
        self.assertEqual(0x20B, self.image.magic)  # PE32+
        self.assertEqual(2, self.image.subsystem)  # IMAGE_SUBSYSTEM_WINDOWS_GUI

    def test_exports_the_graphics_switches_as_data_reading_1(self):
        exports = self.image.exports()
        self.assertEqual(
            {"AmdPowerXpressRequestHighPerformance": 1, "NvOptimusEnablement": 2},
            {name: ordinal for name, (ordinal, _) in exports.items()},
        )
        for name, (_, rva) in exports.items():
            with self.subTest(name):
                self.assertEqual(1, struct.unpack("<I", self.image.at(rva, 4))[0])
                flags = self.image.section_of(rva)[4]
                self.assertTrue(flags & IMAGE_SCN_CNT_INITIALIZED_DATA, "initialised data")
                self.assertFalse(flags & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE), "not code")

    def test_version_block(self):
        key, fixed, _, children = version_blocks(self.resource(RT_VERSION, 1))[:4]
        self.assertEqual("VS_VERSION_INFO", key)
        fields = struct.unpack("<13I", fixed)
        self.assertEqual(0xFEEF04BD, fields[0])
        file_version = (fields[2] >> 16, fields[2] & 0xFFFF, fields[3] >> 16, fields[3] & 0xFFFF)
        product_version = (fields[4] >> 16, fields[4] & 0xFFFF, fields[5] >> 16, fields[5] & 0xFFFF)
        numbers = tuple(int(n) for n in PRODUCT_VERSION.split(".")) + (0,)
        self.assertEqual(numbers, file_version)
        self.assertEqual(numbers, product_version)
        # Flags mask, flags, OS, type, subtype, date (two halves).
        self.assertEqual((0,) * 7, fields[6:13])

        blocks = {child[0]: child[3] for child in children}
        self.assertEqual({"StringFileInfo", "VarFileInfo"}, set(blocks))
        tables = blocks["StringFileInfo"]
        self.assertEqual(["040904E4"], [table[0] for table in tables])
        strings = {s[0]: s[1].decode("utf-16-le").rstrip("\0") for s in tables[0][3]}
        self.assertEqual(
            {
                "CompanyName": COMPANY_NAME,
                "FileDescription": PRODUCT,
                "FileVersion": PRODUCT_VERSION,
                "InternalName": PRODUCT,
                "LegalCopyright": LEGAL_NOTICE,
                "OriginalFilename": "vistal.exe",
                "ProductName": PRODUCT,
                "ProductVersion": PRODUCT_VERSION,
            },
            strings,
        )
        translation = blocks["VarFileInfo"]
        self.assertEqual("Translation", translation[0][0])
        self.assertEqual((0x0409, 1252), struct.unpack("<HH", translation[0][1]))

    def test_manifest_is_the_one_the_loader_applies(self):
        self.assertNotIn("RT_MANIFEST", {k[0] for k in self.resources})
        text = self.resource(RT_MANIFEST, 1)
        self.assertTrue(text.startswith(b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'))
        self.assertIn(b'xmlns:asmv3="urn:schemas-microsoft-com:asm.v3"', text)
        root = ET.fromstring(text)
        v1 = "{urn:schemas-microsoft-com:asm.v1}"
        self.assertEqual(v1 + "assembly", root.tag)
        self.assertEqual("1.0", root.get("manifestVersion"))
        identity = root.find(v1 + "assemblyIdentity")
        self.assertEqual(
            {"version": "1.0.0.0", "processorArchitecture": "amd64", "name": PRODUCT, "type": "win32"},
            identity.attrib,
        )
        compat = "{urn:schemas-microsoft-com:compatibility.v1}"
        supported = root.findall(f"{compat}compatibility/{compat}application/{compat}supportedOS")
        self.assertEqual(
            [
                "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
            ],
            [os.get("Id") for os in supported],
        )
        v2 = "{urn:schemas-microsoft-com:asm.v2}"
        level = root.find(f"{v2}trustInfo/{v2}security/{v2}requestedPrivileges/{v2}requestedExecutionLevel")
        self.assertEqual({"level": "asInvoker", "uiAccess": "false"}, level.attrib)
        # The process makes itself DPI-aware at run time; the manifest must not decide it.
        self.assertNotIn(b"dpiAware", text)

    def test_icon_group_holds_five_sizes_in_order(self):
        group = self.resource(RT_GROUP_ICON, 1)
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((0, 1, 5), (reserved, kind, count))
        entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
        self.assertEqual([16, 24, 32, 48, 0], [e[0] for e in entries])  # 0 stands for 256
        self.assertEqual([1, 2, 3, 4, 5], [e[7] for e in entries])
        for width, height, _, _, planes, bits, size, ident in entries:
            side = width or 256
            with self.subTest(side=side):
                self.assertEqual((width, 1, 32), (height, planes, bits))
                image = self.resource(RT_ICON, ident)
                self.assertEqual(size, len(image))
                if side == 256:
                    self.assertEqual(b"\x89PNG\r\n\x1a\n", image[:8])
                    self.assertEqual((256, 256, 8, 6), struct.unpack(">IIBB", image[16:26]))
                    continue
                header = struct.unpack_from("<IiiHHI", image)
                self.assertEqual((40, side, 2 * side, 1, 32, 0), header)  # BI_RGB
                alpha = set(image[40 + 3 : 40 + 4 * side * side : 4])
                self.assertIn(0, alpha, "transparent corners")
                self.assertTrue(alpha - {0, 255}, "soft edges")


if __name__ == "__main__":
    EXE, COMPANY_NAME, LEGAL_NOTICE = sys.argv[1:4]
    rest = sys.argv[4:]
    if len(rest) >= 2 and not rest[0].startswith("-"):
        PRODUCT, PRODUCT_VERSION = rest[:2]
        rest = rest[2:]
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
