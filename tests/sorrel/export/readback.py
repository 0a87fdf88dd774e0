#!/usr/bin/python3
"""Reads every file an export wrote with the standard readers: .eml with
Python's email package, .ics with icalendar (and vobject), .vcf with vobject,
and mailbox files (given with --mbox) with the mailbox module.

Prints one JSON object: for each file (path relative to the directory) its
problems and, for mails, the named attachments of the message itself (not of
the messages embedded in it) as [file name, sha256 of the decoded bytes].

    readback.py DIR [--mbox]
"""

import email
import email.policy
import hashlib
import json
import mailbox
import os
import sys

import icalendar
import vobject

# The MIME headers the writer makes itself. Address headers are left out:
# they carry what the PST stored (display names without addresses, Exchange
# paths), which the writer must pass on as it is.
HEADERS_TO_CHECK = ("mime-version", "content-type", "content-transfer-encoding", "content-disposition")
# An attachment names its file twice, as RFC 2231 "filename*" for readers
# that know it and as "filename" for those that do not; the parser notes the
# second one and uses the first, as intended.
TOLERATED = ("duplicate parameter name; duplicate ignored",)


def part_problems(part, where):
    problems = []
    payload = part.get_payload(decode=True) if not part.is_multipart() else None
    for defect in part.defects:
        problems.append("%s: %s" % (where, type(defect).__name__))
    if part.get_content_maintype() == "multipart" and not part.is_multipart():
        problems.append("%s: multipart without parts" % where)
    del payload
    return problems


def walk_message(msg, where, attachments, top):
    """Problems of msg and its parts; named attachments of the top message."""
    problems = part_problems(msg, where)
    if msg.is_multipart():
        for i, part in enumerate(msg.get_payload()):
            name = "%s/%d" % (where, i)
            if part.get_content_type() == "message/rfc822":
                problems += part_problems(part, name)
                for j, inner in enumerate(part.get_payload()):
                    problems += walk_message(inner, "%s/rfc822.%d" % (name, j), attachments, False)
            else:
                problems += walk_message(part, name, attachments, top)
    elif top and msg.get_filename():
        data = msg.get_payload(decode=True) or b""
        attachments.append([msg.get_filename(), hashlib.sha256(data).hexdigest()])
    return problems


def header_problems(raw):
    """Defects the modern header parser finds in the headers we write."""
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    problems = []
    for part in msg.walk():
        for key in part.keys():
            if key.lower() in HEADERS_TO_CHECK:
                for header in part.get_all(key):
                    for defect in getattr(header, "defects", ()):
                        if str(defect) in TOLERATED:
                            continue
                        problems.append("header %s: %s" % (key, type(defect).__name__))
    return problems


def read_eml(path):
    with open(path, "rb") as f:
        raw = f.read()
    problems = []
    if raw.startswith(b"From "):
        problems.append("starts with an mbox separator line")
    msg = email.message_from_bytes(raw, policy=email.policy.compat32)
    attachments = []
    problems += walk_message(msg, "message", attachments, True)
    return {"problems": problems, "headerProblems": header_problems(raw), "attachments": attachments}


def read_content_lines(path):
    """The bytes of a vCard or iCalendar file, and whether its lines end in CRLF."""
    with open(path, "rb") as f:
        raw = f.read()
    problems = []
    if b"\n" in raw.replace(b"\r\n", b""):
        problems.append("line not ended by CRLF")
    return raw, problems


def read_ics(path):
    raw, problems = read_content_lines(path)
    try:
        cal = icalendar.Calendar.from_ical(raw)
        for component in cal.walk():
            for error in getattr(component, "errors", []):
                problems.append("icalendar: %s" % (error,))
        if "PRODID" not in cal:
            problems.append("no PRODID")
        for component in cal.walk():
            if component.name in ("VEVENT", "VJOURNAL") and "UID" not in component:
                problems.append("%s without UID" % component.name)
    except Exception as e:  # the reader refused the file
        problems.append("icalendar: %r" % (e,))
    try:
        for component in vobject.readComponents(raw.decode("utf-8")):
            component.serialize()
    except Exception as e:
        problems.append("vobject: %r" % (e,))
    return {"problems": problems}


def read_vcf(path):
    raw, problems = read_content_lines(path)
    try:
        cards = list(vobject.readComponents(raw.decode("utf-8"), validate=True))
        if len(cards) != 1:
            problems.append("%d cards" % len(cards))
        for card in cards:
            if len(card.contents.get("fn", [])) != 1:
                problems.append("%d FN lines" % len(card.contents.get("fn", [])))
            card.serialize()
    except Exception as e:
        problems.append("vobject: %r" % (e,))
    return {"problems": problems}


def read_mbox(path):
    problems = []
    count = 0
    for i, msg in enumerate(mailbox.mbox(path, create=False)):
        count += 1
        problems += walk_message(msg, "message %d" % i, [], True)
    return {"problems": problems, "messages": count}


def main():
    root = sys.argv[1]
    mboxes = "--mbox" in sys.argv[2:]
    result = {}
    for folder, _dirs, files in os.walk(root):
        for name in sorted(files):
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if mboxes:
                result[rel] = read_mbox(path)
            elif name.endswith(".eml"):
                result[rel] = read_eml(path)
            elif name.endswith(".ics"):
                result[rel] = read_ics(path)
            elif name.endswith(".vcf"):
                result[rel] = read_vcf(path)
    json.dump(result, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
