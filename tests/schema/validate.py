#!/usr/bin/python3
"""validate.py SCHEMA_DIR DOCUMENT_DIR
   validate.py --broken SCHEMA_DIR CASES_FILE

The first form checks what vorlane-top printed on standard output, one
document per file of DOCUMENT_DIR, against the JSON Schemas in SCHEMA_DIR.
Files that hold no JSON object (help text, the KOB notice, empty output) are
skipped, and so is a file whose bytes an earlier file had (the large reports
are printed more than once, and take most of the time). The schema is chosen by content: "users" means a report, "context" a
refusal, anything else a status document. Prints one line per failure, then a
summary; exits 1 on any failure or when nothing was validated.

The second form checks that the schemas reject deliberately broken documents
(see broken.json): each case changes its schema's first example and names
the schema keyword that must reject the result. Prints the rules each
document violated; exits 1 when a case is accepted or not rejected by its
own keyword.

Both forms first check that every schema accepts its own examples. Documents
are read as their consumers read them: a number with a fraction or an
exponent is a float, so 5.0 is an integer to the schemas.
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
                schema = json.load(f)
            Draft202012Validator.check_schema(schema)
        except (OSError, ValueError, SchemaError) as error:
            sys.exit(f"{path}: unusable schema: {getattr(error, 'message', error)}")
        validator = Draft202012Validator(schema)
        for example in schema.get("examples", []):
            for error in validator.iter_errors(example):
                sys.exit(f"{path}: example rejected: {error.message}")
        validators[kind] = validator
    return validators


def read_object(text):
    try:
        document = json.loads(text.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return None
    return document if isinstance(document, dict) else None


def check_printed(validators, document_dir):
    if os.geteuid() != 0:
        print("skipped: the documents come from the end-to-end tests, which need root")
        return 77
    counts, skipped, repeated, failures = dict.fromkeys(KINDS, 0), 0, 0, 0
    seen = set()
    for name in sorted(os.listdir(document_dir)):
        path = os.path.join(document_dir, name)
        if not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            text = f.read()
        if text in seen:
            repeated += 1
            continue
        seen.add(text)
        document = read_object(text)
        if document is None:
            skipped += 1
            continue
        kind = "report" if "users" in document else "refusal" if "context" in document else "status"
        counts[kind] += 1
        for error in validators[kind].iter_errors(document):
            failures += 1
            where = "/".join(map(str, error.absolute_path)) or "(top)"
            print(f"{name}: {kind} at {where}: {error.message}")
    total = sum(counts.values())
    print(f"validated {total} documents ({counts['report']} reports, {counts['status']} status, "
          f"{counts['refusal']} refusals), skipped {skipped}, {repeated} repeated")
    return 1 if failures or total == 0 else 0


def pointer_steps(pointer):
    """The steps of a JSON Pointer ("" is the whole document)."""
    if pointer and not pointer.startswith("/"):
        raise ValueError(f"not a JSON Pointer: {pointer!r}")
    return [step.replace("~1", "/").replace("~0", "~") for step in pointer.split("/")[1:]]


def walk(value, steps):
    for step in steps:
        value = value[int(step)] if isinstance(value, list) else value[step]
    return value


def broken_document(example, case):
    document = copy.deepcopy(example)
    for pointer in case.get("remove", []):
        *parent, last = pointer_steps(pointer)
        container = walk(document, parent)
        del container[int(last) if isinstance(container, list) else last]
    for pointer, value in case.get("set", {}).items():
        *parent, last = pointer_steps(pointer)
        container = walk(document, parent)
        container[int(last) if isinstance(container, list) else last] = value
    return document


def keyword_location(schema, error):
    """Where the keyword that failed stands in the schema, as "#/...": the
    place of the subschema holding it (the one "$ref" led to, if any)."""
    def search(node, steps):
        if node is error.schema:
            return steps
        if isinstance(node, dict):
            children = node.items()
        else:
            children = enumerate(node) if isinstance(node, list) else ()
        for key, child in children:
            found = search(child, steps + [str(key)])
            if found is not None:
                return found
        return None

    steps = search(schema, [])
    return "#/" + "/".join((["?"] if steps is None else steps) + [str(error.validator)])


def check_broken(validators, cases_file):
    with open(cases_file, encoding="utf-8") as f:
        cases = json.load(f)["cases"]
    failures = 0
    for case in cases:
        validator = validators[case["schema"]]
        document = broken_document(validator.schema["examples"][0], case)
        violated = [(keyword_location(validator.schema, error), error.message)
                    for error in validator.iter_errors(document)]
        locations = [location for location, _ in violated]
        verdict = "ok" if case["violates"] in locations else "FAILED"
        failures += verdict != "ok"
        print(f"{verdict}: {case['rule']} (must violate {case['violates']})")
        for location, message in violated:
            print(f"    violated {location}: {message}")
        if not violated:
            print("    accepted")
    print(f"{len(cases) - failures} of {len(cases)} broken documents rejected by their own rule")
    return 1 if failures or not cases else 0


def main(argv):
    if len(argv) == 4 and argv[1] == "--broken":
        return check_broken(load_validators(argv[2]), argv[3])
    if len(argv) == 3:
        return check_printed(load_validators(argv[1]), argv[2])
    sys.exit(__doc__.split("\n\n")[0])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
