#!/usr/bin/env python3
"""Packs a resources folder into the assistant's branding archive.

    pack_resources.py RESOURCES_DIR -o theme.zip [--set KEY=VALUE ...] [--outcome-events on|off]
    pack_resources.py RESOURCES_DIR --check [--set KEY=VALUE ...] [--outcome-events on|off]

The archive is what the assistant carries as its THEME/129 resource (the build
links it in; tools/brand writes it into a copy of a built assistant). Every
file of the folder becomes the member "resources/<path inside the folder>",
whatever the folder is called, because the program looks its files up under
that root: "resources/config.json", "resources/lang/zh_CN/gdstrings.ini",
"resources/themes/default/global.xml", "resources/themes/default/basic/...".
Build files (CMakeLists.txt), hidden files and Python caches are left out.

--set KEY=VALUE sets a string key of config.json in the packed copy (the file
on disk is not changed); an empty VALUE removes the key. The build uses it for
the deployment settings "service_url", "stats_url" and "stats_hostname".
--outcome-events on|off sets "outcome_events" (true or false): whether the
assistant reports the events beyond start-up and installer launch.

Before writing, the folder is checked the way the program will read it, and
every problem is reported (exit code 1, nothing written):
- the files the program needs are there;
- config.json is a UTF-8 JSON object without a byte-order mark, "product" and
  "name" are non-empty strings, the other known keys are strings (but
  "outcome_events", true or false), the service and statistics URLs are
  http(s) base addresses;
- skin files are in the XML subset the skin parser reads (double-quoted
  attributes, the five named entities, comments, no byte-order mark, at most
  64 attributes an element), and every image they name is in the folder;
- the language file is UTF-8 "id = text" lines that the program will use.

The zip is deterministic: members in sorted order, fixed time stamps, each
member deflated unless storing it is smaller. The output is replaced
atomically, so a failed run leaves no half-written archive behind.
"""

import argparse
import io
import json
import os
import posixpath
import re
import sys
import urllib.parse
import zipfile
import zlib

MEMBER_ROOT = "resources"
THEME_ROOT = "resources/themes/default"
REQUIRED_MEMBERS = (
    "resources/config.json",
    "resources/lang/zh_CN/gdstrings.ini",
    "resources/themes/default/global.xml",
    "resources/themes/default/basic/basic.xml",
    "resources/themes/default/toast/toast.xml",
)
CONFIG_MEMBER = "resources/config.json"
PRODUCT_KEYS = ("product", "channel", "name", "intro")
REQUIRED_CONFIG_KEYS = ("product", "name")
URL_KEYS = ("service_url", "stats_url")
HOST_KEYS = ("stats_hostname",)
BOOL_KEYS = ("outcome_events",)
EXCLUDED_NAMES = {"CMakeLists.txt", "__pycache__"}
# The window host's shadow image when a window does not name its own.
DEFAULT_SHADOW_IMAGE = "../public/bk/bk_shadow.png"
MAX_SKIN_ATTRIBUTES = 64
MAX_MEMBER_NAME_BYTES = 255  # the archive lookup never finds longer names
MAX_LANGUAGE_LINE_BYTES = 4095  # longer lines are split when read from disk
ZIP_TIME = (1980, 1, 1, 0, 0, 0)
UTF8_BOM = b"\xef\xbb\xbf"


class PackError(Exception):
    """The folder cannot be packed; `problems` lists every reason."""

    def __init__(self, problems):
        super().__init__("\n".join(problems))
        self.problems = list(problems)


# --- collecting the folder ----------------------------------------------------------

def collect_members(folder):
    """Maps member name -> file path for every file that goes into the archive."""
    if not os.path.isdir(folder):
        raise PackError([f"{folder}: not a folder"])
    members = {}
    for dirpath, dirnames, filenames in os.walk(folder):
        dirnames[:] = sorted(d for d in dirnames
                             if not d.startswith(".") and d not in EXCLUDED_NAMES)
        for name in filenames:
            if name.startswith(".") or name in EXCLUDED_NAMES or name.endswith(".pyc"):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, folder).replace(os.sep, "/")
            members[f"{MEMBER_ROOT}/{rel}"] = path
    return members


# --- product configuration ----------------------------------------------------------

def parse_overrides(pairs):
    """["key=value", ...] -> ordered dict; an empty value means "remove"."""
    overrides = {}
    for pair in pairs or ():
        key, sep, value = pair.partition("=")
        if not sep or not key.strip():
            raise PackError([f"--set {pair!r}: expected KEY=VALUE"])
        overrides[key.strip()] = value
    return overrides


def _check_base_url(key, value):
    parts = urllib.parse.urlsplit(value)
    if parts.scheme not in ("http", "https") or not parts.hostname:
        return f'"{key}" must be an http:// or https:// address, not {value!r}'
    if parts.query or parts.fragment or value.endswith(("?", "#")):
        return f'"{key}" must be a base address without query or fragment: {value!r}'
    if any(ch.isspace() for ch in value):
        return f'"{key}" must not contain blanks: {value!r}'
    try:
        parts.port
    except ValueError:
        return f'"{key}" has an invalid port: {value!r}'
    return None


def _check_host(key, value):
    if not re.fullmatch(r"[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]{1,5})?", value):
        return f'"{key}" must be a bare host name, not {value!r}'
    return None


def product_config(data, overrides):
    """Validates config.json's bytes, applies the overrides and returns the bytes
    to pack. Raises PackError listing the problems."""
    where = CONFIG_MEMBER
    if data.startswith(UTF8_BOM):
        raise PackError([f"{where}: starts with a UTF-8 byte-order mark, which the program's "
                         "JSON reader rejects"])
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise PackError([f"{where}: not UTF-8 ({e.reason} at byte {e.start})"])
    try:
        config = json.loads(text)
    except json.JSONDecodeError as e:
        raise PackError([f"{where}: not valid JSON ({e.msg}, line {e.lineno} column {e.colno})"])
    if not isinstance(config, dict):
        raise PackError([f"{where}: must hold a JSON object"])
    for key, value in overrides.items():
        if value == "":
            config.pop(key, None)
        else:
            config[key] = value
    problems = []
    for key in PRODUCT_KEYS + URL_KEYS + HOST_KEYS:
        if key in config and not isinstance(config[key], str):
            problems.append(f'{where}: "{key}" must be a string')
    for key in BOOL_KEYS:
        if key in config and not isinstance(config[key], bool):
            problems.append(f'{where}: "{key}" must be true or false')
    for key in REQUIRED_CONFIG_KEYS:
        if not isinstance(config.get(key), str) or not config.get(key, "").strip():
            problems.append(f'{where}: "{key}" must be a non-empty string')
    for key in URL_KEYS:
        if isinstance(config.get(key), str):
            config[key] = config[key].rstrip("/")
            problem = _check_base_url(key, config[key])
            if problem:
                problems.append(f"{where}: {problem}")
    for key in HOST_KEYS:
        if isinstance(config.get(key), str):
            problem = _check_host(key, config[key])
            if problem:
                problems.append(f"{where}: {problem}")
    if problems:
        raise PackError(problems)
    return (json.dumps(config, ensure_ascii=False, indent=2) + "\n").encode("utf-8")


# --- skin files -------------------------------------------------------------------

class SkinElement:
    def __init__(self, name, line):
        self.name = name
        self.line = line
        self.attributes = []  # (name, value) in document order
        self.children = []

    def get(self, name, default=None):
        for key, value in self.attributes:
            if key == name:
                return value
        return default

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()


class SkinSyntaxError(Exception):
    def __init__(self, message, line):
        super().__init__(f"line {line}: {message}")


_ENTITIES = {"amp": "&", "lt": "<", "gt": ">", "quot": '"', "apos": "'"}
_IDENTIFIER = re.compile(r"[A-Za-z0-9_:]+")


def parse_skin(text):
    """Parses a skin file as the program's skin parser does, but strictly: what
    that parser would misread (single-quoted values, unknown entities, text
    between child elements, a comment that ends at an inner "->", unclosed
    elements) is an error here. Returns the root SkinElement."""
    pos = 0
    n = len(text)

    def line():
        return text.count("\n", 0, pos) + 1

    def skip_ws():
        nonlocal pos
        while pos < n and ord(text[pos]) <= 32:
            pos += 1

    def decode(stop):
        nonlocal pos
        out = []
        while pos < n and text[pos] not in stop:
            ch = text[pos]
            if ch == "&":
                m = re.match(r"&(#?[A-Za-z0-9]+);", text[pos:])
                if not m or m.group(1) not in _ENTITIES:
                    raise SkinSyntaxError(
                        "only &amp; &lt; &gt; &quot; &apos; are understood "
                        f"(found {m.group(0) if m else '&'})", line())
                out.append(_ENTITIES[m.group(1)])
                pos += len(m.group(0))
                continue
            out.append(ch)
            pos += 1
        return "".join(out)

    def skip_markup_declaration():
        nonlocal pos
        if text.startswith("<?", pos):
            end = text.find("?>", pos)
            if end < 0:
                raise SkinSyntaxError("declaration without ?>", line())
            pos = end + 2
            return
        if not text.startswith("<!--", pos):
            raise SkinSyntaxError("only comments may start with <!", line())
        early = text.find("->", pos + 4)
        end = text.find("-->", pos + 4)
        if end < 0:
            raise SkinSyntaxError("comment without -->", line())
        if early != end + 1:
            raise SkinSyntaxError('a comment must not contain "->" (the skin parser ends it there)',
                                  line())
        pos = end + 3

    def element():
        nonlocal pos
        pos += 1  # "<"
        skip_ws()
        m = _IDENTIFIER.match(text, pos)
        if not m:
            raise SkinSyntaxError("expected an element name", line())
        el = SkinElement(m.group(0), line())
        pos = m.end()
        while True:
            skip_ws()
            if pos >= n:
                raise SkinSyntaxError(f"<{el.name}> is not closed", el.line)
            if text.startswith("/>", pos):
                pos += 2
                return el
            if text[pos] == ">":
                pos += 1
                break
            m = _IDENTIFIER.match(text, pos)
            if not m:
                raise SkinSyntaxError(f"bad attribute name in <{el.name}> (letters, digits, _ "
                                      "and : only)", line())
            name = m.group(0)
            pos = m.end()
            skip_ws()
            if pos >= n or text[pos] != "=":
                raise SkinSyntaxError(f'attribute "{name}" without a value', line())
            pos += 1
            skip_ws()
            if pos >= n or text[pos] != '"':
                raise SkinSyntaxError(f'attribute "{name}": values must be in double quotes',
                                      line())
            pos += 1
            value = decode('"')
            if pos >= n:
                raise SkinSyntaxError(f'attribute "{name}": missing closing quote', line())
            pos += 1
            el.attributes.append((name, value))
        decode("<")  # the element's text, if any
        children_of(el)
        # At "</".
        pos += 2
        skip_ws()
        m = _IDENTIFIER.match(text, pos)
        if not m or m.group(0) != el.name:
            raise SkinSyntaxError(f"</{m.group(0) if m else ''}> does not close <{el.name}> "
                                  f"(line {el.line})", line())
        pos = m.end()
        skip_ws()
        if pos >= n or text[pos] != ">":
            raise SkinSyntaxError(f"</{el.name} is not ended by >", line())
        pos += 1
        return el

    def children_of(parent):
        nonlocal pos
        while True:
            skip_ws()
            if pos >= n:
                if parent is None:
                    return
                raise SkinSyntaxError(f"<{parent.name}> is not closed", parent.line)
            if text[pos] != "<":
                raise SkinSyntaxError("text between elements is dropped by the skin parser",
                                      line())
            if text.startswith("</", pos):
                if parent is None:
                    raise SkinSyntaxError("closing tag without an open element", line())
                return
            if text.startswith("<!", pos) or text.startswith("<?", pos):
                skip_markup_declaration()
                continue
            child = element()
            if parent is None:
                top.append(child)
            else:
                parent.children.append(child)

    top = []
    children_of(None)
    if len(top) != 1:
        raise SkinSyntaxError(f"expected one root element, found {len(top)}", 1)
    return top[0]


def parse_image_string(value):
    """The file named by an image attribute string, or raises ValueError."""
    if "='" not in value and "=" not in value:
        return value.strip()
    pos = 0
    n = len(value)
    found = None
    while True:
        while pos < n and ord(value[pos]) <= 32:
            pos += 1
        if pos >= n:
            break
        start = pos
        while pos < n and value[pos] != "=" and ord(value[pos]) > 32:
            pos += 1
        key = value[start:pos]
        while pos < n and ord(value[pos]) <= 32:
            pos += 1
        if pos >= n or value[pos] != "=":
            raise ValueError(f"expected = after {key!r}")
        pos += 1
        while pos < n and ord(value[pos]) <= 32:
            pos += 1
        if pos >= n or value[pos] != "'":
            raise ValueError(f"the value of {key!r} must be in single quotes")
        end = value.find("'", pos + 1)
        if end < 0:
            raise ValueError(f"the value of {key!r} has no closing quote")
        if key in ("file", "res") and value[pos + 1:end]:
            found = value[pos + 1:end]
        pos = end + 1
        if pos < n and value[pos] != " ":
            raise ValueError(f"a space must follow the value of {key!r}")
    if found is None:
        raise ValueError("no file='...'")
    return found


def _is_absolute(path):
    return path.startswith(("/", "\\")) or re.match(r"^[A-Za-z]:", path) is not None


def resolve_image(base_folder, file):
    """Member name of an image `file` named in a skin whose images resolve
    against `base_folder` (a member folder), normalised like the program does."""
    path = posixpath.normpath(posixpath.join(base_folder, file.replace("\\", "/")))
    return path.lstrip("/")


def skin_problems(name, data, members):
    """Problems of one skin file (XML subset, image references)."""
    if data.startswith(UTF8_BOM):
        return [f"{name}: starts with a UTF-8 byte-order mark, which breaks reading it from the "
                "embedded archive"]
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        return [f"{name}: not UTF-8 ({e.reason} at byte {e.start})"]
    try:
        root = parse_skin(text)
    except SkinSyntaxError as e:
        return [f"{name}: {e}"]
    problems = []
    folder = posixpath.dirname(name)
    # global.xml's classes are applied inside the windows, whose images resolve
    # against their own skin folder one level below the theme.
    base = posixpath.join(folder, "_") if posixpath.basename(name) == "global.xml" else folder
    lower_members = {m.lower() for m in members}
    references = []
    for el in root.walk():
        if len(el.attributes) > MAX_SKIN_ATTRIBUTES:
            problems.append(f"{name}: line {el.line}: <{el.name}> has {len(el.attributes)} "
                            f"attributes; the skin parser reads only {MAX_SKIN_ATTRIBUTES}")
        for attr, value in el.attributes:
            if attr.endswith("image") and value:
                try:
                    references.append((el.line, attr, parse_image_string(value)))
                except ValueError as e:
                    problems.append(f'{name}: line {el.line}: {attr}="{value}": {e}')
    if root.name == "Window" and root.get("shadowattached", "true") == "true" \
            and root.get("shadowimage") is None:
        references.append((root.line, "default shadow", DEFAULT_SHADOW_IMAGE))
    for line, attr, file in references:
        if _is_absolute(file):
            problems.append(f"{name}: line {line}: {attr} names an absolute path {file!r}")
            continue
        member = resolve_image(base, file)
        if member.lower() not in lower_members:
            problems.append(f"{name}: line {line}: {attr} names {file!r}, but {member} is not in "
                            "the folder")
    return problems


# --- language strings -------------------------------------------------------------

def _trim(s):
    return s.strip("".join(chr(c) for c in range(30)) + " ")


def language_problems(name, data):
    if data.startswith(UTF8_BOM):
        return [f"{name}: starts with a UTF-8 byte-order mark, which would become part of the "
                "first string id"]
    problems = []
    seen = {}
    for number, raw in enumerate(data.split(b"\n"), 1):
        if len(raw) > MAX_LANGUAGE_LINE_BYTES:
            problems.append(f"{name}: line {number}: longer than {MAX_LANGUAGE_LINE_BYTES} bytes")
        try:
            line = _trim(raw.decode("utf-8"))
        except UnicodeDecodeError:
            problems.append(f"{name}: line {number}: not UTF-8")
            continue
        if not line or line.startswith(";"):
            continue
        pieces = [_trim(p) for p in re.split("=+", line) if p]
        pieces = [p for p in pieces if p]
        if len(pieces) != 2:
            problems.append(f'{name}: line {number}: expected "id = text" with a non-empty id and '
                            'text and no "=" in the text')
            continue
        key = pieces[0]
        if ";" in key:
            problems.append(f"{name}: line {number}: the id {key!r} contains ';' and would be "
                            "read as a comment")
        elif key in seen:
            problems.append(f"{name}: line {number}: {key!r} was already defined on line "
                            f"{seen[key]}")
        else:
            seen[key] = number
    return problems


# --- packing ----------------------------------------------------------------------

def build_entries(folder, overrides=None):
    """Checks the folder and returns the archive's (member name, bytes) pairs in
    order. Raises PackError with every problem found."""
    overrides = overrides or {}
    members = collect_members(folder)
    problems = []
    for required in REQUIRED_MEMBERS:
        if required not in members:
            problems.append(f"{required}: missing (the program needs it)")
    entries = []
    for name in sorted(members):
        if len(name.encode("utf-8")) > MAX_MEMBER_NAME_BYTES:
            problems.append(f"{name}: the name is longer than {MAX_MEMBER_NAME_BYTES} bytes")
        with open(members[name], "rb") as f:
            data = f.read()
        if name == CONFIG_MEMBER:
            try:
                data = product_config(data, overrides)
            except PackError as e:
                problems += e.problems
        elif name.endswith(".xml"):
            problems += skin_problems(name, data, members)
        elif name.endswith(".ini"):
            problems += language_problems(name, data)
        elif name.lower().endswith(".png") and not data.startswith(b"\x89PNG\r\n\x1a\n"):
            problems.append(f"{name}: not a PNG file")
        entries.append((name, data))
    if CONFIG_MEMBER not in members and overrides:
        problems.append("--set needs resources/config.json")
    if problems:
        raise PackError(problems)
    return entries


def zip_bytes(entries):
    """A deterministic zip of the (name, bytes) pairs, in the given order."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=ZIP_TIME)
            info.create_system = 0  # attributes in Windows form
            info.external_attr = 0x20  # archive bit
            deflater = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = deflater.compress(data) + deflater.flush()
            info.compress_type = (zipfile.ZIP_DEFLATED if len(packed) < len(data)
                                  else zipfile.ZIP_STORED)
            archive.writestr(info, data, compresslevel=9)
    return buffer.getvalue()


def write_atomically(path, data):
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="pack_resources.py", description=__doc__.split("\n\n")[0],
        epilog="Member names start with resources/; see the module's documentation.")
    parser.add_argument("folder", help="the resources folder (holding config.json, lang/, themes/)")
    parser.add_argument("-o", "--output", help="the zip to write")
    parser.add_argument("--check", action="store_true", help="only check the folder")
    parser.add_argument("--set", action="append", metavar="KEY=VALUE", dest="overrides",
                        help="set (or, with an empty value, remove) a key of config.json")
    parser.add_argument("--outcome-events", choices=("on", "off"),
                        help="report the events beyond start-up and installer launch, or not "
                             "(config.json's \"outcome_events\"; absent means on)")
    parser.add_argument("-q", "--quiet", action="store_true", help="print nothing on success")
    args = parser.parse_args(argv)
    if not args.output and not args.check:
        parser.error("give -o ZIP, or --check")
    try:
        overrides = parse_overrides(args.overrides)
        if args.outcome_events:
            overrides["outcome_events"] = args.outcome_events == "on"
        entries = build_entries(args.folder, overrides)
    except PackError as e:
        for problem in e.problems:
            print(f"pack_resources: {problem}", file=sys.stderr)
        return 1
    if args.output:
        data = zip_bytes(entries)
        write_atomically(args.output, data)
        if not args.quiet:
            print(f"pack_resources: {args.output}: {len(entries)} members, {len(data)} bytes")
    elif not args.quiet:
        print(f"pack_resources: {args.folder}: {len(entries)} members, no problems")
    return 0


if __name__ == "__main__":
    sys.exit(main())
