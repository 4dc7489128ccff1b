#!/usr/bin/env python3
"""Builds a sample data warehouse for the ovdwquery stand-in: an SQLite file
with tables shaped like a network manager's topology and inventory.

    make_warehouse.py <out.db> [--nodes N] [--seed S] [--own NAME] [--removed K]

The same arguments always give the same file. --own adds this computer's
host name as the first monitored node; --removed marks the last K nodes as
no longer monitored (to show removed-node reporting on a second run).
"""
import argparse
import os
import random
import sqlite3

SCHEMA = """
CREATE TABLE nodes (name TEXT PRIMARY KEY, ip TEXT, monitored INTEGER, os TEXT, vendor TEXT,
  model TEXT, serial TEXT, memory_mb INTEGER, is_router INTEGER, is_switch INTEGER, is_server INTEGER,
  location TEXT, display TEXT, hres INTEGER, vres INTEGER, mode TEXT);
CREATE TABLE interfaces (node TEXT, ifindex INTEGER, ifname TEXT, ipaddr TEXT, macaddr TEXT, speed INTEGER);
CREATE TABLE processors (node TEXT, idx INTEGER, vendor TEXT, model TEXT, mhz INTEGER);
CREATE TABLE disks (node TEXT, drive TEXT, size_mb REAL, free_mb REAL, fs TEXT, label TEXT);
CREATE TABLE software (node TEXT, name TEXT, version TEXT, vendor TEXT);
CREATE INDEX interfaces_node ON interfaces(node);
CREATE INDEX processors_node ON processors(node);
CREATE INDEX disks_node ON disks(node);
CREATE INDEX software_node ON software(node);
"""

OSES = ["Windows 2000 Server", "Windows Server 2003", "Solaris 9", "HP-UX 11i", "Linux 2.6"]
VENDORS = ["Brakwell", "Tessaron", "Quill Systems", "Northfen"]
CPUS = [("GenuineIntel", "Pentium III", 933), ("GenuineIntel", "Xeon", 2800), ("AuthenticAMD", "Opteron", 2200)]
MODES = ["1024 x 768 x 16", "1280 x 1024 x 32", "800 x 600 x 8"]
SOFT = [("Office Suite", "11.0", "Tessaron"), ("Backup Agent", "5.2", "Northfen"), ("Mail \"Pro\"", "3.1", "Quill, Inc")]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--nodes", type=int, default=20)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--own", default="")
    ap.add_argument("--removed", type=int, default=0)
    ap.add_argument("--interfaces", type=int, default=0, help="interfaces of every node (default: 1 to 3 at random)")
    a = ap.parse_args()
    rnd = random.Random(a.seed)
    if os.path.exists(a.out):
        os.remove(a.out)
    db = sqlite3.connect(a.out)
    db.executescript(SCHEMA)
    names = ([a.own] if a.own else []) + ["node%04d.example.local" % i for i in range(1, a.nodes + 1)]
    for n, name in enumerate(names):
        monitored = 0 if n >= len(names) - a.removed else 1
        mode = rnd.choice(MODES)
        w, h = mode.split(" x ")[0:2]
        role = rnd.randrange(3)
        db.execute("INSERT INTO nodes VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                   (name, "10.%d.%d.%d" % (n // 65536, (n // 256) % 256, n % 256 + 1), monitored, rnd.choice(OSES),
                    rnd.choice(VENDORS), "M-%03d" % rnd.randrange(1000), "SN%08d" % rnd.randrange(10**8),
                    rnd.choice([256, 512, 1024, 2048]), int(role == 0), int(role == 1), int(role == 2),
                    "Rack %d, Row %d" % (rnd.randrange(20), rnd.randrange(5)), "Adapter %d" % rnd.randrange(4),
                    int(w), int(h), mode))
        for i in range(1, (a.interfaces or rnd.randrange(1, 4)) + 1):
            db.execute("INSERT INTO interfaces VALUES (?,?,?,?,?,?)",
                       (name, i, "eth%d" % (i - 1), "10.%d.%d.%d" % (i, (n // 256) % 256, n % 256 + 1),
                        "00:50:56:%02x:%02x:%02x" % (n % 256, i, rnd.randrange(256)), rnd.choice([10, 100, 1000])))
        vendor, model, mhz = rnd.choice(CPUS)
        for i in range(1, rnd.choice([1, 2, 4]) + 1):
            db.execute("INSERT INTO processors VALUES (?,?,?,?,?)", (name, i, vendor, model, mhz))
        for d in "CDE"[: rnd.randrange(1, 4)]:
            size = rnd.choice([4096, 8192, 20480, 40960]) + 0.5
            db.execute("INSERT INTO disks VALUES (?,?,?,?,?,?)",
                       (name, d + ":", size, round(size * rnd.random(), 1), "NTFS", "Disk " + d))
        for s in rnd.sample(SOFT, rnd.randrange(1, len(SOFT) + 1)):
            db.execute("INSERT INTO software VALUES (?,?,?,?)", (name,) + s)
    db.commit()
    db.close()


if __name__ == "__main__":
    main()
