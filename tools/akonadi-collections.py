#!/usr/bin/env python3
"""Lists the collections of a private Akonadi store that uses the SQLite driver.

    tools/akonadi-collections.py [--world-ids] [DATABASE]

Prints a JSON array, one object per collection that belongs to a resource (the server's
virtual search collections are left out): {"id", "resource", "name", "remoteId",
"mimeTypes", "items"}. DATABASE defaults to $XDG_DATA_HOME/akonadi/akonadi.db, the file a session
started with private XDG folders uses.

With --world-ids, inside tools/akonadi-session.sh, it prints instead a line WORLD_ID=STORE_ID
for each source of the session's world: the world's identifier and the bridge's identifier
of the collection made from that source's file ("akonadi:" and the collection's id).

It reads the database file directly, read-only, instead of asking the server: the server
keeps it in write-ahead-log mode, so this neither waits for nor blocks the server, and it
is safe while a resource does its first sync (a client fetch through the server with item
statistics is not: it can deadlock the SQLite backend). Akonadi ships no command-line
reader, and this needs nothing beyond Python's standard library.

Exits with 1 when the database does not exist yet or cannot be read.
"""

import json
import os
import sqlite3
import sys

QUERY = """
SELECT c.id, r.name, c.name, c.remoteId,
       (SELECT COUNT(*) FROM PimItemTable p WHERE p.collectionId = c.id)
FROM CollectionTable c JOIN ResourceTable r ON r.id = c.resourceId
WHERE r.isVirtual = 0
ORDER BY c.id
"""

MIME_QUERY = """
SELECT m.name FROM CollectionMimeTypeRelation x JOIN MimeTypeTable m ON m.id = x.MimeType_id
WHERE x.Collection_id = ? ORDER BY m.name
"""


def collections(path):
    if not os.path.exists(path):
        raise sqlite3.OperationalError("no database at " + path)
    connection = sqlite3.connect("file:%s?mode=ro" % path, uri=True, timeout=5)
    try:
        rows = connection.execute(QUERY).fetchall()
        return [{"id": cid, "resource": resource, "name": name, "remoteId": remote_id,
                 "mimeTypes": [m for (m,) in connection.execute(MIME_QUERY, (cid,))],
                 "items": items}
                for (cid, resource, name, remote_id, items) in rows]
    finally:
        connection.close()


def world_ids(found):
    """The bridge's identifier of each world source, from the session's manifest."""
    with open(os.environ["PEMRIX_AKONADI_MANIFEST"]) as f:
        files = {source["file"]: source["id"] for source in json.load(f)}
    return {files[c["remoteId"]]: "akonadi:%d" % c["id"] for c in found if c["remoteId"] in files}


def main(argv):
    by_world = len(argv) > 1 and argv[1] == "--world-ids"
    if by_world:
        argv = argv[:1] + argv[2:]
    if len(argv) > 2:
        print("usage: tools/akonadi-collections.py [--world-ids] [DATABASE]", file=sys.stderr)
        return 64
    path = argv[1] if len(argv) == 2 else os.path.join(
        os.environ.get("XDG_DATA_HOME") or os.path.expanduser("~/.local/share"),
        "akonadi", "akonadi.db")
    try:
        found = collections(path)
    except sqlite3.Error as error:
        print("akonadi-collections: %s" % error, file=sys.stderr)
        return 1
    if by_world:
        for world_id, store_id in world_ids(found).items():
            print("%s=%s" % (world_id, store_id))
        return 0
    json.dump(found, sys.stdout, ensure_ascii=False, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
