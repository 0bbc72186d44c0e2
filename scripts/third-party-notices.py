#!/usr/bin/env python3
"""THIRD-PARTY-NOTICES.txt for a release: the runtime code the linker took into Quvara.exe
(from its link map), then the licences Debian ships for it. A piece from anywhere else
stops the release: its licence is unknown here.

    scripts/third-party-notices.py Quvara.map VERSION >THIRD-PARTY-NOTICES.txt
"""
import os, re, subprocess, sys, textwrap
map_file, version = sys.argv[1:3]
text = open(map_file).read()
included = text.split("Archive member included", 1)[1].split("\nDiscarded input sections", 1)[0]
pieces = re.findall(r"^(/\S+?\.a)\((\S+?)\)", included, re.M)
pieces += [(path, None) for path in re.findall(r"^LOAD (/\S+\.o)$", text, re.M)]
groups = {"gcc": {}, "mingw": {}}
for path, member in pieces:
    path = os.path.normpath(path)
    group = ("gcc" if path.startswith("/usr/lib/gcc/i686-w64-mingw32/") else
             "mingw" if path.startswith("/usr/i686-w64-mingw32/lib/") else None)
    if group is None:
        sys.exit(f"linked from outside the toolchain's runtime: {path}")
    groups[group].setdefault(path, set()).update([member] if member else [])
def package_version(name):
    return subprocess.run(["dpkg-query", "-W", "-f=${Version}", name], capture_output=True,
                          text=True, check=True).stdout
print(f"Quvara {version}: third-party code in Quvara.exe\n")
print("Quvara itself is Copyright (c) 2026 Pellander Labelling Ltd, under the MIT License")
print("(LICENSE.txt). Quvara.exe also holds, statically linked, these parts of the runtime of")
print("the compiler it is built with, Debian's MinGW-w64 cross compiler for 32-bit Windows:\n")
titles = {"gcc": f"GCC's runtime libraries (GCC {package_version('gcc-mingw-w64-base')}): "
                 "GNU GPL version 3 with the GCC Runtime Library Exception 3.1",
          "mingw": f"The MinGW-w64 runtime (mingw-w64 {package_version('mingw-w64-common')}): "
                   "Zope Public License 2.1 and public domain"}
for group in ("gcc", "mingw"):
    print(titles[group])
    for path in sorted(groups[group]):
        members = sorted(groups[group][path])
        print(textwrap.fill(" ".join(members), 78, initial_indent=f"  {path}: ",
                            subsequent_indent="      ") if members else f"  {path}")
    print()
licences = [("mingw-w64 (Debian package mingw-w64-common)", "/usr/share/doc/mingw-w64-common/copyright"),
            ("GCC (Debian package gcc-mingw-w64-base)", "/usr/share/doc/gcc-mingw-w64-base/copyright"),
            ("The GNU General Public License, version 3", "/usr/share/common-licenses/GPL-3")]
for title, path in licences:
    print("=" * 78 + f"\n{title}: {path}\n" + "=" * 78 + "\n")
    print(open(path).read())
