#!/usr/bin/env python3
"""The release zip: every staged file under Quvara/, in name order, with one fixed time
and mode, so that the same files give the same bytes.

    scripts/zip-release.py STAGE OUT.zip EPOCH
"""
import os, sys, time, zipfile
stage, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = sorted(os.path.relpath(os.path.join(d, f), stage) for d, _, fs in os.walk(stage) for f in fs)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
    for name in names:
        info = zipfile.ZipInfo("Quvara/" + name, date_time=time.gmtime(epoch)[:6])
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        with open(os.path.join(stage, name), "rb") as data:
            archive.writestr(info, data.read())
