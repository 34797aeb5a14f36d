#!/usr/bin/env python3
"""Writes the input of one benchmark run into a folder:

  bookings.txt  N bookings as 31-character lines with CR LF (date DDMMYY,
                time HHMMSS, badge of 13, workstation of 6 with leading zeros)
  master.sql    tenants, badges and workstations for them, one transaction
  resolved.txt  per booking "personnel number|schema|cost centre" as the
                lookups resolve it (empty where a lookup finds nothing)

The bookings look like a terminal's export: day after day, each in time
order; every employee books two to six times a day at a few workstations of
their own; about 3 % of the badges and 2 % of the workstation numbers are
not in the master data. The same N and seed give the same files.

  generate.py N FOLDER [SEED]
"""
import datetime
import os
import random
import sys

TENANTS = [  # licence, tenant, schema
    (1, 10, "ACME"),
    (1, 20, "BETA"),
    (1, 30, "GAMMA"),
    (2, 10, "DELTA"),
]
WORKSTATIONS = 60          # known workstations 1..60
UNKNOWN_WORKSTATIONS = [901, 902, 903]
UNKNOWN_WORKSTATION_SHARE = 0.02
UNKNOWN_BADGE_SHARE = 0.03
FIRST_DAY = datetime.date(2007, 1, 1)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    n = int(sys.argv[1])
    folder = sys.argv[2]
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) == 4 else 4711)
    os.makedirs(folder, exist_ok=True)

    employees = max(50, min(2000, n // 20))
    staff = []
    for i in range(employees):
        badge = "%013d" % (7000000 + i)
        pnr = "%08d" % (10000 + i)
        tenant = TENANTS[i % len(TENANTS)]
        known = rng.random() >= UNKNOWN_BADGE_SHARE
        home = [rng.randint(1, WORKSTATIONS) for _ in range(3)]
        staff.append((badge, pnr, tenant, known, home))

    with open(os.path.join(folder, "master.sql"), "w", newline="\n") as sql:
        sql.write("BEGIN TRANSACTION;\n")
        for liz, mnd, schema in TENANTS:
            sql.write("INSERT INTO KVSYSTEM.Kvs112Mnd (MndLiz, MndNum, MndKon, MndSch) VALUES (%d, %d, 0, '%s');\n"
                      % (liz, mnd, schema))
        for badge, pnr, (liz, mnd, _), known, _ in staff:
            if known:
                sql.write("INSERT INTO KVSYSTEM.Kvs301Asw (AswNum, AswGVo, AswGbi, AswPnr, AswLiz, AswMnd) "
                          "VALUES ('%s', '2000-01-01 00:00:00', NULL, '%s', '%d', '%d');\n" % (badge, pnr, liz, mnd))
        for ws in range(1, WORKSTATIONS + 1):
            sql.write("INSERT INTO O1003KSTSTELLE (KstApz, KstNum) VALUES ('%d', 'KST-%04d');\n" % (ws, ws))
        sql.write("INSERT INTO Kvsystem.Kvs102Whl (FtxNumSpr, FtxWhl, FtxSpr, FtxDok) "
                  "VALUES (8, 1065, 1, 'Buchung konnte nicht gespeichert werden');\n")
        sql.write("COMMIT TRANSACTION;\n")

    bookings = open(os.path.join(folder, "bookings.txt"), "w", newline="")
    resolved = open(os.path.join(folder, "resolved.txt"), "w", newline="\n")
    written = 0
    day = FIRST_DAY
    while written < n:
        events = []
        for badge, pnr, (_, _, schema), known, home in staff:
            # Distinct minutes: the booking table's key is employee and minute.
            for minute in rng.sample(range(6 * 60, 20 * 60), rng.randint(2, 6)):
                if rng.random() < UNKNOWN_WORKSTATION_SHARE:
                    ws = rng.choice(UNKNOWN_WORKSTATIONS)
                else:
                    ws = rng.choice(home)
                events.append((minute, rng.randint(0, 59), badge, pnr, schema, known, ws))
        events.sort()
        date = day.strftime("%d%m%y")
        for minute, second, badge, pnr, schema, known, ws in events:
            if written == n:
                break
            bookings.write("%s%02d%02d%02d%s%06d\r\n" % (date, minute // 60, minute % 60, second, badge, ws))
            if not known:
                resolved.write("||\n")
            else:
                kst = "KST-%04d" % ws if ws <= WORKSTATIONS else ""
                resolved.write("%s|%s|%s\n" % (pnr, schema, kst))
            written += 1
        day += datetime.timedelta(days=1)
    bookings.close()
    resolved.close()


if __name__ == "__main__":
    main()
