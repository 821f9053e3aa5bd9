#!/usr/bin/env python3
"""A repository server written apart from ours, from the protocol alone, to try the client
against another make of server: it answers a stored change with status 201 and the body "1"
followed by a line feed, as a script that ends with a newline does, and decodes query values as
URLs encode them.

    python3 python_repository.py --user NAME:PASSWORD ...

listens on a free port of 127.0.0.1, prints "PORT <number>" and serves until it is stopped or
its standard input closes. Everything is kept in memory.
"""

import argparse
import base64
import binascii
import email.parser
import email.policy
import http.server
import sys
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ElementTree
from xml.sax.saxutils import quoteattr

LOCK = threading.Lock()
USERS = []  # dicts: uid, name, password
PATCHES = []  # dicts: id, uid, name, filename, description, data, date
BLOCKS = []  # dicts: id, uid, name, title, filename, hash, description, category, data, date
COMMENTS = []  # dicts: id, on_block, target, uid, content, date
NEXT = {"patch": 1, "block": 1, "comment": 1}


def next_id(kind):
    number = NEXT[kind]
    NEXT[kind] = number + 1
    return number


def from_base64(text):
    try:
        return base64.b64decode(text.encode("ascii"), validate=True).decode("utf-8")
    except (binascii.Error, UnicodeError, ValueError):
        return None


def cdata(text):
    # A text holding "]]>" goes out split over two sections.
    return "<![CDATA[" + text.replace("]]>", "]]]]><![CDATA[>") + "]]>"


def user_name(uid):
    for user in USERS:
        if user["uid"] == uid:
            return user["name"]
    return ""


def block_category(data):
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError:
        return ""
    category = root.find("category")
    return (category.text or "") if category is not None else ""


def patch_list(uid):
    out = ["<patches>"]
    for p in PATCHES:
        if uid is not None and p["uid"] != uid:
            continue
        out.append(
            "<patch id=%s uid=%s pname=%s uname=%s filename=%s date=%s><description>%s"
            "</description></patch>"
            % (quoteattr(str(p["id"])), quoteattr(str(p["uid"])), quoteattr(p["name"]),
               quoteattr(user_name(p["uid"])), quoteattr(p["filename"]),
               quoteattr(str(p["date"])), cdata("\n" + p["description"])))
    out.append("</patches>")
    return "".join(out)


def block_list(uid):
    out = ["<blocks>"]
    for b in BLOCKS:
        if uid is not None and b["uid"] != uid:
            continue
        out.append(
            "<block hash=%s id=%s uid=%s bname=%s title=%s uname=%s filename=%s category=%s "
            "date=%s><description>%s</description></block>"
            % (quoteattr(b["hash"]), quoteattr(str(b["id"])), quoteattr(str(b["uid"])),
               quoteattr(b["name"]), quoteattr(b["title"]), quoteattr(user_name(b["uid"])),
               quoteattr(b["filename"]), quoteattr(b["category"]), quoteattr(str(b["date"])),
               cdata("\n" + b["description"])))
    out.append("</blocks>")
    return "".join(out)


def comment_list(on_block, target):
    out = ["<comments>"]
    for c in COMMENTS:
        if c["on_block"] != on_block or c["target"] != target:
            continue
        out.append(
            "<comment date=%s id=%s uid=%s uname=%s><content>%s</content></comment>"
            % (quoteattr(str(c["date"])), quoteattr(str(c["id"])), quoteattr(str(c["uid"])),
               quoteattr(user_name(c["uid"])), cdata(c["content"])))
    out.append("</comments>")
    return "".join(out)


def form_parts(content_type, body):
    """The parts of a multipart/form-data body by name, as bytes."""
    if not content_type.lower().startswith("multipart/form-data"):
        return {}
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
    parts = {}
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition")
        if name is not None:
            parts[name] = part.get_payload(decode=True) or b""
    return parts


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):  # noqa: A002 - the base class names it so
        pass

    def answer(self, status, body, content_type="text/plain; charset=utf-8"):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.serve(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.serve(self.rfile.read(length))

    def serve(self, body):
        url = urllib.parse.urlsplit(self.path)
        if url.path != "/action.php":
            return self.answer(404, "Not Found")
        # parse_qsl decodes "+" as a blank and then %XX: how URLs encode query values.
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        parts = form_parts(self.headers.get("Content-Type") or "", body)
        with LOCK:
            status, reply, content_type = act(query, parts)
        self.answer(status, reply, content_type)


def number(text):
    try:
        return int(text)
    except (TypeError, ValueError):
        return None


def act(query, parts):
    xml = "text/xml; charset=utf-8"
    action = query.get("action", "")
    done = (201, "1\n", "text/plain")
    refused = (200, "0\n", "text/plain")
    entry_id = number(query.get("id"))

    if action == "get_uid":
        name = from_base64(query.get("name", ""))
        password = from_base64(query.get("pass", ""))
        for user in USERS:
            if user["name"] == name and user["password"] == password:
                return 200, "%d\n" % user["uid"], "text/plain"
        return 200, "", "text/plain"
    if action == "version":
        return 200, '<version major="1" sub="0" build="0"/>', xml
    if action == "list_patches":
        return 200, patch_list(None), xml
    if action == "list_user_patches":
        return 200, patch_list(number(query.get("uid"))), xml
    if action == "list_blocks":
        return 200, block_list(None), xml
    if action == "list_user_blocks":
        return 200, block_list(number(query.get("uid"))), xml
    if action in ("list_patch_comments", "list_block_comments"):
        return 200, comment_list(action == "list_block_comments", entry_id), xml
    if action == "get_patch":
        for p in PATCHES:
            if p["id"] == entry_id:
                return 200, p["data"], "application/octet-stream"
        return 404, "Not Found", "text/plain"
    if action == "get_block":
        for b in BLOCKS:
            if b["name"] == query.get("name") and b["hash"] == query.get("hash"):
                return 200, b["data"], "application/octet-stream"
        return 404, "Not Found", "text/plain"

    changes = ("upload_patch", "update_patch", "upload_block", "update_block", "delete_patch",
               "delete_block", "upload_patch_comment", "upload_block_comment")
    if action not in changes:
        return 404, "Not Found", "text/plain"
    uid = number(query.get("uid"))
    password = from_base64(query.get("pass", ""))
    user = next((u for u in USERS if u["uid"] == uid and u["password"] == password), None)
    if user is None:
        return refused

    def text(name):
        value = parts.get(name)
        return None if value is None else value.decode("utf-8", "replace")

    def file_bytes():
        value = parts.get("file")
        if value is None:
            return None
        try:
            return base64.b64decode(value, validate=True)
        except (binascii.Error, ValueError):
            return None

    now = int(time.time())
    if action == "upload_patch":
        fields = [text(n) for n in ("name", "filename", "description")]
        data = file_bytes()
        if None in fields or data is None:
            return refused
        PATCHES.append({"id": next_id("patch"), "uid": uid, "name": fields[0],
                        "filename": fields[1], "description": fields[2], "data": data,
                        "date": now})
        return done
    if action == "upload_block":
        fields = [text(n) for n in ("name", "title", "description", "hash", "filename")]
        data = file_bytes()
        if None in fields or data is None:
            return refused
        BLOCKS.append({"id": next_id("block"), "uid": uid, "name": fields[0],
                       "title": fields[1], "description": fields[2], "hash": fields[3],
                       "filename": fields[4], "category": block_category(data), "data": data,
                       "date": now})
        return done
    if action in ("update_patch", "update_block"):
        table = PATCHES if action == "update_patch" else BLOCKS
        entry = next((e for e in table if e["id"] == entry_id and e["uid"] == uid), None)
        label = "name" if action == "update_patch" else "title"
        if entry is None or text(label) is None or text("description") is None:
            return refused
        entry[label] = text(label)
        entry["description"] = text("description")
        if "file" in parts:
            data = file_bytes()
            if data is None:
                return refused
            entry["data"] = data
            for name in ("filename", "name", "hash"):
                if text(name) is not None:
                    entry[name] = text(name)
            if action == "update_block":
                entry["category"] = block_category(data)
        return done
    if action in ("delete_patch", "delete_block"):
        table = PATCHES if action == "delete_patch" else BLOCKS
        entry = next((e for e in table if e["id"] == entry_id and e["uid"] == uid), None)
        if entry is None:
            return refused
        table.remove(entry)
        return done
    # upload_patch_comment, upload_block_comment
    on_block = action == "upload_block_comment"
    table = BLOCKS if on_block else PATCHES
    if not any(e["id"] == entry_id for e in table) or text("comment") is None:
        return refused
    COMMENTS.append({"id": next_id("comment"), "on_block": on_block, "target": entry_id,
                     "uid": uid, "content": text("comment"), "date": now})
    return done


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--user", action="append", default=[], metavar="NAME:PASSWORD")
    args = parser.parse_args()
    for number_of_user, entry in enumerate(args.user, start=1):
        name, _, password = entry.partition(":")
        USERS.append({"uid": number_of_user, "name": name, "password": password})

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    # Stops when whoever started it closes our standard input.
    watcher = threading.Thread(target=lambda: (sys.stdin.read(), server.shutdown()), daemon=True)
    watcher.start()
    server.serve_forever()


if __name__ == "__main__":
    main()
