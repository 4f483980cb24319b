#!/usr/bin/python3
"""Static checks of a 32-bit Windows deliverable of Zelvantorix.

Reads the PE image with pefile (Debian's python3-pefile) and checks that
Windows XP SP2 can load it as a console program: machine and format,
subsystem, subsystem and OS versions, and imports (system DLLs only, only
functions that XP SP2 exports, none of the functions that may only ever be
looked up at run time). For the program itself (--role program) it also
checks the manifest and version resources; helper.exe needs none.

Usage: /usr/bin/python3 tests/static/check_pe.py <exe> [--role program|helper]
           [--list-imports]
Every check prints one line, a failing one what it found and what it expected.
Exit code 0 when every check passes, 1 when one fails, 2 when the image or the
function lists cannot be read.
"""

import argparse
import fnmatch
import os
import sys
import xml.etree.ElementTree as ET

try:
    import pefile
except ImportError:
    print('check_pe: the Python module pefile is missing (Debian package python3-pefile)')
    sys.exit(2)

HERE = os.path.dirname(os.path.abspath(__file__))

MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_CUI = 3
RT_VERSION = 16
RT_MANIFEST = 24
VFT_APP = 0x1

# Oldest and newest major.minor pair that the Windows XP loader accepts.
XP_OLDEST = (4, 0)
XP_NEWEST = (5, 1)

SYSTEM_DLLS = ('kernel32.dll', 'advapi32.dll', 'user32.dll', 'shell32.dll', 'shlwapi.dll',
               'msvcrt.dll')
# What a mingw-w64 link without -static pulls in.
RUNTIME_DLL_PATTERNS = ('libgcc_s*', 'libstdc++*', 'libwinpthread*')

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'


def node(tag, attributes=None, children=()):
    """An element as normalize() gives it: (tag, attributes, text, children)."""
    return (tag, tuple(sorted((attributes or {}).items())), '', tuple(children))


EXPECTED_MANIFEST = node(ASM_V1 + 'assembly', {'manifestVersion': '1.0'}, [
    node(ASM_V3 + 'trustInfo', {}, [
        node(ASM_V3 + 'security', {}, [
            node(ASM_V3 + 'requestedPrivileges', {}, [
                node(ASM_V3 + 'requestedExecutionLevel',
                     {'level': 'requireAdministrator', 'uiAccess': 'false'}),
            ]),
        ]),
    ]),
])

EXPECTED_FIXED_VERSION = {
    'FileVersionMS': 0x00010000, 'FileVersionLS': 0x00000001,
    'ProductVersionMS': 0x00010000, 'ProductVersionLS': 0x00000001,
    'FileType': VFT_APP,
}

EXPECTED_VERSION_STRINGS = {
    'FileVersion': '1, 0, 0, 1',
    'ProductVersion': '1, 0, 0, 1',
    'FileDescription': 'Zelvantorix Application',
    'ProductName': 'Zelvantorix Application',
    'InternalName': 'Zelvantorix',
    'OriginalFilename': 'Zelvantorix.exe',
}


class Report:
    """Prints one line per check; a failure tells what was found and what was expected."""

    def __init__(self):
        self.failures = 0

    def passed(self, name, found):
        print('ok   %s: %s' % (name, found))

    def failed(self, name, found, expected):
        self.failures += 1
        print('FAIL %s:\n       found:    %s\n       expected: %s' % (name, found, expected))

    def check(self, name, ok, found, expected):
        if ok:
            self.passed(name, found)
        else:
            self.failed(name, found, expected)


def read_function_list(path):
    """The {(dll lower-cased, function)} of a file of `DLL!Function` lines."""
    entries = set()
    with open(path, encoding='utf-8') as f:
        for number, raw in enumerate(f, 1):
            line = raw.split('#', 1)[0].strip()
            if not line:
                continue
            dll, bang, function = line.partition('!')
            if not bang or not dll or not function or ' ' in line:
                raise ValueError('%s:%d: not of the form DLL!Function: %r'
                                 % (path, number, raw.rstrip()))
            entries.add((dll.lower(), function))
    return entries


def matches(pair, patterns):
    return any(fnmatch.fnmatchcase(pair[0], dll) and fnmatch.fnmatchcase(pair[1], function)
               for dll, function in patterns)


def imports_of(pe):
    """(dll lower-cased, name or '#ordinal') of every import, delay-loaded ones included."""
    found = []
    for attribute in ('DIRECTORY_ENTRY_IMPORT', 'DIRECTORY_ENTRY_DELAY_IMPORT'):
        for entry in getattr(pe, attribute, []):
            dll = entry.dll.decode('ascii', 'replace').lower()
            for symbol in entry.imports:
                name = (symbol.name.decode('ascii', 'replace') if symbol.name
                        else '#%d' % symbol.ordinal)
                found.append((dll, name))
    return found


def format_imports(pairs):
    return ', '.join('%s!%s' % pair for pair in sorted(pairs)) or '(none)'


def check_headers(pe, report):
    machine = pe.FILE_HEADER.Machine
    magic = pe.OPTIONAL_HEADER.Magic
    report.check('machine', machine == MACHINE_I386 and magic == PE32_MAGIC,
                 'machine 0x%04x (%s), optional header magic 0x%03x (%s)' % (
                     machine, pefile.MACHINE_TYPE.get(machine, 'unknown'), magic,
                     {0x10B: 'PE32', 0x20B: 'PE32+'}.get(magic, 'unknown')),
                 'machine 0x014c (IMAGE_FILE_MACHINE_I386), magic 0x10b (PE32)')

    subsystem = pe.OPTIONAL_HEADER.Subsystem
    report.check('subsystem', subsystem == SUBSYSTEM_WINDOWS_CUI,
                 '%d (%s)' % (subsystem, pefile.SUBSYSTEM_TYPE.get(subsystem, 'unknown')),
                 '3 (IMAGE_SUBSYSTEM_WINDOWS_CUI)')

    header = pe.OPTIONAL_HEADER
    for name, version in (
            ('subsystem version',
             (header.MajorSubsystemVersion, header.MinorSubsystemVersion)),
            ('OS version',
             (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion))):
        report.check(name, XP_OLDEST <= version <= XP_NEWEST, '%d.%d' % version,
                     'from %d.%d to %d.%d' % (XP_OLDEST + XP_NEWEST))


def check_imports(pe, report, allowed, never):
    imports = imports_of(pe)
    dlls = sorted({dll for dll, _ in imports})

    runtime = [dll for dll in dlls
               if any(fnmatch.fnmatchcase(dll, p) for p in RUNTIME_DLL_PATTERNS)]
    report.check('no runtime DLLs', not runtime, ', '.join(runtime) or 'none',
                 'none of %s (link them statically)' % ', '.join(RUNTIME_DLL_PATTERNS))

    foreign = [dll for dll in dlls if dll not in SYSTEM_DLLS]
    report.check('system DLLs only', not foreign,
                 'imports from ' + (', '.join(dlls) or 'no DLL')
                 + (' (not allowed: %s)' % ', '.join(foreign) if foreign else ''),
                 'imports only from ' + ', '.join(SYSTEM_DLLS))

    forbidden = [pair for pair in imports if matches(pair, never)]
    report.check('no run-time-only functions imported', not forbidden,
                 format_imports(forbidden) if forbidden else 'none of never_import.txt',
                 'none of never_import.txt imported statically (look them up at run time)')

    unknown = [pair for pair in imports if pair not in allowed]
    report.check('functions exported by Windows XP SP2', not unknown,
                 ('%d imports, not listed: %s' % (len(imports), format_imports(unknown)))
                 if unknown else 'all %d imports listed' % len(imports),
                 'every import listed in xp_sp2_exports.txt')
    return imports


def resources_of(pe, type_id):
    """[(name or id, language, data)] of every resource of one type."""
    found = []
    if not hasattr(pe, 'DIRECTORY_ENTRY_RESOURCE'):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != type_id:
            continue
        for name in kind.directory.entries:
            ident = name.id if name.name is None else str(name.name)
            for language in name.directory.entries:
                struct = language.data.struct
                found.append((ident, language.id,
                              pe.get_data(struct.OffsetToData, struct.Size)))
    return found


def normalize(element):
    """(tag, attributes, text, children) of an element; whitespace between elements dropped."""
    text = ''.join(part.strip() for part in
                   [element.text or ''] + [child.tail or '' for child in element])
    return (element.tag, tuple(sorted(element.attrib.items())), text,
            tuple(normalize(child) for child in element))


def outline(tree, depth=0):
    tag, attributes, text, children = tree
    line = '  ' * depth + '<%s%s>%s' % (tag, ''.join(' %s="%s"' % a for a in attributes),
                                         repr(text) if text else '')
    return '\n'.join([line] + [outline(child, depth + 1) for child in children])


def indented(text):
    return '\n' + '\n'.join(' ' * 8 + line for line in text.split('\n'))


def check_manifest(pe, report):
    manifests = resources_of(pe, RT_MANIFEST)
    where = ', '.join('id %s language %d' % (ident, language)
                      for ident, language, _ in manifests)
    report.check('one manifest resource',
                 [(ident, language) for ident, language, _ in manifests] == [(1, 1033)],
                 '%d manifest resource(s)%s' % (len(manifests), (': ' + where) if where else ''),
                 'exactly one: type 24 (RT_MANIFEST), id 1, language 1033')
    if not manifests:
        return
    data = manifests[0][2]
    try:
        found = normalize(ET.fromstring(data))
    except ET.ParseError as error:
        report.failed('manifest content', 'XML that does not parse (%s): %r' % (error, data[:200]),
                      indented(outline(EXPECTED_MANIFEST)))
        return
    if found == EXPECTED_MANIFEST:
        report.passed('manifest content',
                      'assembly > trustInfo > security > requestedPrivileges > '
                      'requestedExecutionLevel level=requireAdministrator uiAccess=false, '
                      'nothing else')
    else:
        report.failed('manifest content', indented(outline(found)),
                      indented(outline(EXPECTED_MANIFEST)))


def dotted(ms, ls):
    return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def check_version(pe, report):
    versions = resources_of(pe, RT_VERSION)
    report.check('one version resource', len(versions) == 1,
                 '%d version resource(s)' % len(versions), 'exactly one (type 16, RT_VERSION)')

    fixed_infos = getattr(pe, 'VS_FIXEDFILEINFO', None) or []
    if not fixed_infos:
        report.failed('version numbers', 'no fixed file information',
                      'file 1.0.0.1, product 1.0.0.1, file type 1 (VFT_APP)')
    else:
        fixed = fixed_infos[0]
        wrong = ['%s 0x%08x (expected 0x%08x)' % (field, getattr(fixed, field), value)
                 for field, value in EXPECTED_FIXED_VERSION.items()
                 if getattr(fixed, field) != value]
        report.check('version numbers', not wrong,
                     'file %s, product %s, file type %d%s' % (
                         dotted(fixed.FileVersionMS, fixed.FileVersionLS),
                         dotted(fixed.ProductVersionMS, fixed.ProductVersionLS), fixed.FileType,
                         (': ' + '; '.join(wrong)) if wrong else ''),
                     'file 1.0.0.1, product 1.0.0.1, file type 1 (VFT_APP)')

    tables = [table for info in (getattr(pe, 'FileInfo', None) or []) for block in info
              if getattr(block, 'Key', b'') == b'StringFileInfo'
              for table in getattr(block, 'StringTable', [])]
    if len(tables) != 1:
        report.failed('version strings', '%d string tables' % len(tables),
                      'one string table holding %s' % EXPECTED_VERSION_STRINGS)
        return
    entries = {key.decode('utf-8', 'replace'): value.decode('utf-8', 'replace')
               for key, value in tables[0].entries.items()}
    wrong = {key: entries.get(key) for key, value in EXPECTED_VERSION_STRINGS.items()
             if entries.get(key) != value}
    report.check('version strings', not wrong,
                 ('wrong or missing %s in %s' % (wrong, entries)) if wrong
                 else '%s (table %s)' % (entries, tables[0].LangID.decode('ascii', 'replace')),
                 EXPECTED_VERSION_STRINGS)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('exe')
    parser.add_argument('--role', choices=('program', 'helper'), default='program',
                        help='program: Zelvantorix.exe, resources included; helper: helper.exe')
    parser.add_argument('--exports', default=os.path.join(HERE, 'xp_sp2_exports.txt'))
    parser.add_argument('--never', default=os.path.join(HERE, 'never_import.txt'))
    parser.add_argument('--list-imports', action='store_true', help='print every import')
    args = parser.parse_args()

    try:
        allowed = read_function_list(args.exports)
        never = read_function_list(args.never)
    except (OSError, ValueError) as error:
        print('check_pe: %s' % error)
        return 2
    contradictions = [pair for pair in allowed if matches(pair, never)]
    if contradictions:
        print('check_pe: listed both as exported by XP SP2 and as never to be imported: %s'
              % format_imports(contradictions))
        return 2

    if not os.path.isfile(args.exe):
        print('FAIL %s: no such file (build the win32 deliverable first)' % args.exe)
        return 2
    try:
        pe = pefile.PE(args.exe)
    except pefile.PEFormatError as error:
        print('FAIL %s: not a PE image: %s' % (args.exe, error))
        return 2

    print('checking %s as the %s' % (args.exe, args.role))
    report = Report()
    check_headers(pe, report)
    imports = check_imports(pe, report, allowed, never)
    if args.role == 'program':
        check_manifest(pe, report)
        check_version(pe, report)
    if args.list_imports:
        for pair in sorted(imports):
            print('import %s!%s' % pair)
    print('%d check(s) failed' % report.failures if report.failures else 'all checks passed')
    return 1 if report.failures else 0


if __name__ == '__main__':
    sys.exit(main())
