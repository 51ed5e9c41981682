#!/usr/bin/python3
"""validate.py SCHEMA_DIR DOCUMENT_DIR

Checks what vorlane-top printed on standard output, one document per file of
DOCUMENT_DIR, against the JSON Schemas in SCHEMA_DIR. Files that hold no JSON
object (help text, the KOB notice, empty output) are skipped. The schema is
chosen by content: "users" means a report, "context" a refusal, anything else
a status document. Prints one line per failure, then a summary; exits 1 on any
failure, when nothing was validated, or when the report schema accepts a
deliberately broken report (checked first, so that a pass means something).
Documents are read as their consumers read them: a number with a fraction or
an exponent is a float, so 5.0 is an integer to the schemas.
"""
import copy
import json
import os
import sys

from jsonschema import Draft202012Validator
from jsonschema.exceptions import SchemaError

KINDS = ("report", "status", "refusal")


def load_validators(schema_dir):
    validators = {}
    for kind in KINDS:
        path = os.path.join(schema_dir, kind + ".schema.json")
        try:
            with open(path, encoding="utf-8") as f:
                schema = json.loads(f.read())
            Draft202012Validator.check_schema(schema)
        except (OSError, ValueError, SchemaError) as error:
            sys.exit(f"{path}: unusable schema: {getattr(error, 'message', error)}")
        validators[kind] = Draft202012Validator(schema)
    return validators


def self_test(validators):
    """Every schema must accept its examples; the report schema must reject broken reports."""
    for kind, validator in validators.items():
        for example in validator.schema.get("examples", []):
            for error in validator.iter_errors(example):
                sys.exit(f"self-test: {kind} example rejected: {error.message}")
    report = validators["report"]
    good = (report.schema.get("examples") or [{}])[0]
    if not good.get("users"):
        sys.exit("self-test: the report schema has no example with users to break")
    without_users, text_id = copy.deepcopy(good), copy.deepcopy(good)
    del without_users["users"]
    text_id["users"][0]["id"] = str(text_id["users"][0]["id"])
    for name, broken in (("no users", without_users), ("user id as text", text_id)):
        if report.is_valid(broken):
            sys.exit(f"self-test: the report schema accepts a broken report ({name})")


def read_object(path):
    try:
        with open(path, encoding="utf-8") as f:
            document = json.loads(f.read())
    except (UnicodeDecodeError, ValueError):
        return None
    return document if isinstance(document, dict) else None


def main(argv):
    if len(argv) != 3:
        sys.exit("usage: validate.py SCHEMA_DIR DOCUMENT_DIR")
    validators = load_validators(argv[1])
    self_test(validators)
    counts, skipped, failures = dict.fromkeys(KINDS, 0), 0, 0
    for name in sorted(os.listdir(argv[2])):
        path = os.path.join(argv[2], name)
        document = read_object(path) if os.path.isfile(path) else None
        if document is None:
            skipped += os.path.isfile(path)
            continue
        kind = "report" if "users" in document else "refusal" if "context" in document else "status"
        counts[kind] += 1
        for error in validators[kind].iter_errors(document):
            failures += 1
            where = "/".join(map(str, error.absolute_path)) or "(top)"
            print(f"{name}: {kind} at {where}: {error.message}")
    total = sum(counts.values())
    print(f"validated {total} documents ({counts['report']} reports, {counts['status']} status, "
          f"{counts['refusal']} refusals), skipped {skipped}")
    return 1 if failures or total == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
