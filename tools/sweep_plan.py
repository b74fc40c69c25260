"""The parts of tools/sweep.sh that bash does badly: reading parameter files,
the table of treatments and the sweep's record (sweep.json).

    sweep_plan.py differ BEFORE NOW      the first parameter whose value
                                         differs between two params.toml
                                         (nothing when none does)
    sweep_plan.py table DIR T...         DIR/treatments.csv from the
                                         treatments' DIR/T/params.toml
    sweep_plan.py record FILE ARGS       writes the record FILE, or checks the
                                         one there against ARGS (status 2 and
                                         the difference when they differ)

ARGS of record: --seeds S... --frames N --every K --checkpoint C
--set NAME=VALUE... --treatment NAME FILE VALUES... -- OPTIONS, where FILE
is the --treatment file or '' and VALUES the varied NAME=VALUE words
joined by spaces. Messages start with "sweep: ".
"""
import json
import os
import sys
import tomllib

FORMAT = "tarn sweep 1"


class Refused(Exception):
    pass


def flat(path):
    """[(name, text)] in file order; the text is the value as written."""
    try:
        with open(path, "rb") as f:
            data = f.read()
        parsed = tomllib.loads(data.decode("utf-8"))
    except (OSError, UnicodeDecodeError, tomllib.TOMLDecodeError) as e:
        raise Refused(f"cannot read {path}: {e}")
    rows, section = [], ""
    for line in data.decode("utf-8").splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("["):
            section = line.strip("[]").strip() + "."
        elif "=" in line:
            key, value = (part.strip() for part in line.split("=", 1))
            rows.append((section + key, value))
    # The text and the parsed file must agree, value for value.
    for name, value in rows:
        node = parsed
        for part in name.split("."):
            node = node.get(part) if isinstance(node, dict) else None
        try:
            same = node is not None and not isinstance(node, dict) and node == tomllib.loads(f"v = {value}")["v"]
        except tomllib.TOMLDecodeError:
            same = False
        if not same:
            raise Refused(f"{path}: cannot read the value of {name}")
    return rows


def differ(before, now):
    """The first parameter whose value differs, in words, or ''."""
    left, right = dict(flat(before)), dict(flat(now))
    for name in list(left) + [n for n in right if n not in left]:
        if left.get(name) != right.get(name):
            return f"{name} was {left.get(name, 'missing')} when the sweep was made, now {right.get(name, 'missing')}"
    return ""


def write_new(path, text):
    """Writes a file that does not exist yet; one that does must hold text."""
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            if f.read() != text:
                raise Refused(f"{path} exists and differs from this sweep's: remove it or use another --out")
        return
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def table(folder, names):
    params = [flat(os.path.join(folder, name, "params.toml")) for name in names]
    columns = [n for n, _ in params[0] if len({dict(p).get(n) for p in params}) > 1]
    lines = [",".join(["treatment"] + columns)]
    lines += [",".join([name] + [dict(p)[c] for c in columns]) for name, p in zip(names, params)]
    write_new(os.path.join(folder, "treatments.csv"), "\n".join(lines) + "\n")


def parse_record_args(argv):
    record = {"format": FORMAT, "seeds": [], "frames": None, "every": None, "checkpoint": None,
              "set": {}, "treatments": [], "options": []}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a == "--":
            record["options"] = argv[i + 1:]
            break
        if a == "--seeds":
            i += 1
            while i < len(argv) and not argv[i].startswith("--"):
                record["seeds"].append(int(argv[i]))
                i += 1
            continue
        if a in ("--frames", "--every"):
            record[a[2:]] = int(argv[i + 1])
        elif a == "--checkpoint":
            record["checkpoint"] = int(argv[i + 1])
        elif a == "--set":
            name, value = argv[i + 1].split("=", 1)
            record["set"][name] = value
        elif a == "--treatment":
            name, source, values = argv[i + 1:i + 4]
            record["treatments"].append({
                "name": name,
                "file": source or None,
                "vary": dict(v.split("=", 1) for v in values.split()),
                "params": f"{name}/params.toml",
            })
            i += 4
            continue
        else:
            raise Refused(f"record: unknown argument {a}")
        i += 2
    return record


def ranges(seeds):
    """1 2 3 5 as 1-3,5."""
    parts, start = [], None
    for i, s in enumerate(seeds):
        if start is None:
            start = s
        if i + 1 == len(seeds) or seeds[i + 1] != s + 1:
            parts.append(str(start) if start == s else f"{start}-{s}")
            start = None
    return ",".join(parts)


def show(value):
    if isinstance(value, list):
        return " ".join(str(v) for v in value) or "none"
    if isinstance(value, dict):
        return " ".join(f"{k}={v}" for k, v in value.items()) or "none"
    return "none" if value is None else str(value)


def compare(old, new, where):
    """Names the first difference between what made the sweep and what is asked."""
    if old.get("format") != FORMAT:
        raise Refused(f"{where} is not a sweep record this script can read")
    asked = {"seeds": "--seeds", "frames": "--frames", "every": "--every", "set": "--set",
             "options": "the options after --", "checkpoint": "the checkpoint interval"}
    for key, words in asked.items():
        if old.get(key) != new[key]:
            if key == "seeds":
                raise Refused(f"{where} was made with --seeds {ranges(old[key])}, not {ranges(new[key])}")
            raise Refused(f"{where} was made with {words} {show(old.get(key))}, not {show(new[key])}")
    before = [t["name"] for t in old.get("treatments", [])]
    now = [t["name"] for t in new["treatments"]]
    if before != now:
        missing = [n for n in before if n not in now]
        added = [n for n in now if n not in before]
        if not before or not now:
            raise Refused(f"{where} was made {'with' if before else 'without'} treatments (--vary, --treatment), "
                          f"this command gives {'some' if now else 'none'}")
        words = []
        if missing:
            words.append(f"this command leaves out {', '.join(missing)}")
        if added:
            words.append(f"it adds {', '.join(added)}")
        raise Refused(f"{where} was made with other treatments: {'; '.join(words) or 'in another order'}")
    for a, b in zip(old["treatments"], new["treatments"]):
        if a.get("vary") != b["vary"]:
            raise Refused(f"{where}: treatment {a['name']} was made with {show(a.get('vary'))}, not {show(b['vary'])}")
        if (a.get("file") is None) != (b["file"] is None):
            raise Refused(f"{where}: treatment {a['name']} was made {'from ' + a['file'] if a.get('file') else 'without a file'}"
                          f", not {'from ' + b['file'] if b['file'] else 'without one'}")


def record(path, argv):
    new = parse_record_args(argv)
    if os.path.exists(path):
        try:
            with open(path, encoding="utf-8") as f:
                old = json.load(f)
        except (OSError, ValueError) as e:
            raise Refused(f"cannot read {path}: {e}")
        compare(old, new, os.path.dirname(path) or ".")
        return
    write_new(path, json.dumps(new, indent=2) + "\n")


def main(argv):
    try:
        if len(argv) == 3 and argv[0] == "differ":
            print(differ(argv[1], argv[2]))
        elif len(argv) >= 3 and argv[0] == "table":
            table(argv[1], argv[2:])
        elif len(argv) >= 2 and argv[0] == "record":
            record(argv[1], argv[2:])
        else:
            raise Refused("usage: sweep_plan.py differ BEFORE NOW | table DIR T... | record FILE ARGS")
    except Refused as e:
        print(f"sweep: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
