#!/usr/bin/python3
"""A mail server for the tests, on 127.0.0.1 only.

    smtp_server.py PORT MAILBOX [--cert C --key K] [--user U --password P]
                   [--refuse ADDRESS] [--stall]

With a certificate it offers STARTTLS and takes nothing before it; with a
user, AUTH is required. Each message is kept as MAILBOX/NNNN.eml and, as a
mail client reads it, MAILBOX/NNNN.json. --stall answers EHLO and then
nothing. "ready" on standard output once it listens.
"""
import argparse
import asyncio
import email
import email.policy
import json
import os
import socket
import ssl
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


def summary(raw):
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    parts = []
    text = ""
    for part in msg.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        parts.append({"type": part.get_content_type(), "filename": part.get_filename() or "",
                      "size": len(payload),
                      "png": payload[:8] == b"\x89PNG\r\n\x1a\n"})
        if part.get_content_type() == "text/plain":
            text += part.get_content()
    return {"subject": str(msg["subject"]), "from": str(msg["from"]), "to": str(msg["to"]),
            "date": str(msg["date"]), "message_id": str(msg["message-id"]),
            "in_reply_to": str(msg["in-reply-to"] or ""),
            "references": str(msg["references"] or ""), "parts": parts, "text": text}


class Handler:
    def __init__(self, mailbox, refused):
        self.mailbox = mailbox
        self.refused = refused
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 no such mailbox"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.mailbox, "%04d" % self.count)
        raw = envelope.original_content or envelope.content
        with open(base + ".tmp", "wb") as f:
            f.write(raw)
        with open(base + ".json.tmp", "w") as f:
            info = summary(raw)
            info["envelope_to"] = envelope.rcpt_tos
            json.dump(info, f)
        os.rename(base + ".tmp", base + ".eml")
        os.rename(base + ".json.tmp", base + ".json")
        return "250 Message accepted for delivery"


def stall(port):
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen()
    print("ready", flush=True)
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)
        conn.sendall(b"220 stall ESMTP\r\n")
        conn.recv(1000)
        conn.sendall(b"250 stall\r\n")


def main():
    a = argparse.ArgumentParser()
    a.add_argument("port", type=int)
    a.add_argument("mailbox")
    a.add_argument("--cert")
    a.add_argument("--key")
    a.add_argument("--user")
    a.add_argument("--password")
    a.add_argument("--refuse", action="append", default=[])
    a.add_argument("--stall", action="store_true")
    o = a.parse_args()
    if o.stall:
        stall(o.port)
        return
    kw = {}
    if o.cert:
        ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        ctx.load_cert_chain(o.cert, o.key)
        kw.update(tls_context=ctx, require_starttls=True)
    if o.user:
        def authenticator(server, session, envelope, mechanism, data):
            ok = (isinstance(data, LoginPassword) and data.login == o.user.encode()
                  and data.password == o.password.encode())
            return AuthResult(success=ok, handled=False)
        kw.update(authenticator=authenticator, auth_require_tls=bool(o.cert),
                  auth_required=True)
    controller = Controller(Handler(o.mailbox, o.refuse), hostname="127.0.0.1", port=o.port,
                            ready_timeout=10, **kw)
    controller.start()
    print("ready", flush=True)
    try:
        sys.stdin.read()  # until the test closes it or kills us
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


main()
