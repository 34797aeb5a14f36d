#!/usr/bin/env python3
"""Regroups a statement log (bench/statement_log.cpp's file: requests, each
ended by a zero byte, statements within a request separated by ";\\n") into
requests of K statements, for the floor to send again: what the same run would
cost with another batch size. Lookups and inserts keep their order and stay in
requests of their own kind; a request that holds an INSERT opens with the
constant query, as the program's do.

  bench/rechunk.py K IN OUT
"""
import sys

OPENER = b"SELECT 1"


def main(argv):
    k, source, target = int(argv[0]), argv[1], argv[2]
    requests = open(source, "rb").read().split(b"\0")[:-1]
    groups = []  # (is_insert, statements) runs of requests of one kind
    for r in requests:
        statements = [s for s in r.split(b";\n") if s != OPENER]
        inserts = any(s.startswith(b"INSERT") for s in statements)
        if groups and groups[-1][0] == inserts:
            groups[-1][1].extend(statements)
        else:
            groups.append((inserts, statements))
    with open(target, "wb") as out:
        for inserts, statements in groups:
            for at in range(0, len(statements), k):
                chunk = statements[at:at + k]
                if inserts and k > 1:
                    chunk = [OPENER] + chunk
                out.write(b";\n".join(chunk) + b"\0")


if __name__ == "__main__":
    main(sys.argv[1:])
