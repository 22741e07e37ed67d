#!/usr/bin/env python3
# A generated host for the benchmarks: ROOT/totalcmd with the host stand-in and COUNT Lister
# plugins, each a copy of MODULE padded to 100 KB in a folder of its own, all registered.
#
#   make_bench_host.py ROOT COUNT MODULE HOST
import os
import shutil
import sys

root, count, module, host = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
shutil.rmtree(root, ignore_errors=True)
tc = os.path.join(root, "totalcmd")
os.makedirs(tc)
shutil.copy(host, os.path.join(tc, "TOTALCMD.EXE"))
data = open(module, "rb").read()
data += b"\0" * max(0, 100 * 1024 - len(data))
ini = "[Configuration]\r\nInstallDir=C:\\bench\\totalcmd\r\n[ListerPlugins]\r\n"
for i in range(count):
    folder = os.path.join(tc, "plugins", "wlx", "lister%d" % i)
    os.makedirs(folder)
    open(os.path.join(folder, "lister%d.wlx" % i), "wb").write(data)
    ini += '%d=%%COMMANDER_PATH%%\\plugins\\wlx\\lister%d\\lister%d.wlx\r\n%d_detect=EXT="TXT"\r\n' % (i, i, i, i)
open(os.path.join(tc, "wincmd.ini"), "w", newline="").write(ini)
