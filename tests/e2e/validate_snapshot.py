"""Checks a snapshot against docs/snapshot.schema.json with Debian's jsonschema, and that the
schema refuses what the format forbids, so that a schema grown too loose fails here as well.

    python3 validate_snapshot.py SCHEMA SNAPSHOT
"""
import copy
import json
import sys

import jsonschema


def main(schema_path, snapshot_path):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    with open(snapshot_path, encoding="utf-8") as f:
        snapshot = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    problems = [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
                for e in validator.iter_errors(snapshot)]
    if problems:
        print("the snapshot does not follow the schema:\n  " + "\n  ".join(problems[:20]))
        return 1

    def first_row(doc):
        for section in doc["sections"]:
            for result in section["resultSets"]:
                if result["rows"]:
                    return result["rows"][0]
        raise SystemExit("the snapshot has no rows to spoil")

    def spoil(change):
        doc = copy.deepcopy(snapshot)
        change(doc)
        return doc

    forbidden = {
        "another format version": spoil(lambda d: d.update(formatVersion=2)),
        "a value that is an object": spoil(lambda d: first_row(d).__setitem__(0, {"x": 1})),
        "a section without a status": spoil(lambda d: d["sections"][0].pop("status")),
        "an unknown status": spoil(lambda d: d["sections"][0].update(status="fine")),
        "a section not ok without a reason": spoil(
            lambda d: d["sections"][0].update(status="error")),
        "a start time without its offset": spoil(
            lambda d: d.update(startTime=d["startTime"][:-6])),
    }
    accepted = [name for name, doc in forbidden.items() if validator.is_valid(doc)]
    if accepted:
        print("the schema accepts " + ", ".join(accepted))
        return 1
    print(f"{snapshot_path} follows the schema, which refuses {len(forbidden)} spoilt copies")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
