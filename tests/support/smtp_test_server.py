#!/usr/bin/python3
"""A real SMTP server for the tests and benchmarks (aiosmtpd, run with /usr/bin/python3).

Listens on a free loopback port and prints that port on standard output once it accepts
connections. Every accepted message is stored in its own folder under --dir:

    msg-000001/
        connection   number of the connection that carried it (1, 2, ...)
        tls          none | starttls | implicit
        auth_user    the user that logged in (empty without AUTH)
        mail_from    envelope sender
        rcpt_tos     envelope recipients, one a line
        raw.eml      the message data exactly as received (dot-stuffing undone)
        subject, from, to, date, message_id, content_type, charset,
        transfer_encoding, mime_version
                     header values as a mail reader shows them (encoded words decoded)
        body         the body after the transfer encoding is undone, as bytes
        defects      what the parser found wrong, one a line (empty when nothing)

The files `connections` and `messages` under --dir hold the numbers of connections and messages
accepted so far. With --count-only the messages are counted but not stored (benchmarks).

`--parse FILE... --dir OUT` parses message files the same way and writes the same fields into
OUT/1, OUT/2, ... (one folder per file, in order), without starting a server.
"""

import argparse
import asyncio
import email
import email.policy
import os
import signal
import socket
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def write_file(folder, name, data):
    if isinstance(data, str):
        data = data.encode("utf-8", errors="surrogateescape")
    tmp = os.path.join(folder, name + ".tmp")
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, os.path.join(folder, name))


def store_parsed(folder, raw):
    """Writes the header values and the decoded body of one message into folder."""
    message = email.message_from_bytes(raw, policy=email.policy.default)
    defects = [type(d).__name__ for d in message.defects]

    def header(name):
        value = message.get(name)
        if value is None:
            return ""
        for d in getattr(value, "defects", ()):
            defects.append(name + ": " + type(d).__name__)
        return str(value)

    for field, name in (("subject", "Subject"), ("from", "From"), ("to", "To"),
                        ("date", "Date"), ("message_id", "Message-ID"),
                        ("mime_version", "MIME-Version"),
                        ("transfer_encoding", "Content-Transfer-Encoding")):
        write_file(folder, field, header(name))
    write_file(folder, "content_type", message.get_content_type())
    write_file(folder, "charset", message.get_content_charset() or "")
    body = message.get_payload(decode=True)
    write_file(folder, "body", body if body is not None else b"")
    write_file(folder, "defects", "\n".join(defects))


class Store:
    def __init__(self, folder, count_only):
        self.folder = folder
        self.count_only = count_only
        self.connections = 0
        self.messages = 0
        write_file(folder, "connections", "0")
        write_file(folder, "messages", "0")

    def connection_opened(self):
        self.connections += 1
        write_file(self.folder, "connections", str(self.connections))
        return self.connections

    def message(self, connection, tls, auth_user, envelope):
        self.messages += 1
        write_file(self.folder, "messages", str(self.messages))
        if self.count_only:
            return
        folder = os.path.join(self.folder, "msg-%06d" % self.messages)
        staging = folder + ".partial"
        os.makedirs(staging)
        write_file(staging, "connection", str(connection))
        write_file(staging, "tls", tls)
        write_file(staging, "auth_user", auth_user or "")
        write_file(staging, "mail_from", envelope.mail_from)
        write_file(staging, "rcpt_tos", "\n".join(envelope.rcpt_tos))
        raw = envelope.original_content
        write_file(staging, "raw.eml", raw)
        store_parsed(staging, raw)
        # Readers look for msg-* folders: one appears only once complete.
        os.rename(staging, folder)


class Handler:
    def __init__(self, args, store):
        self.reject = set(a.lower() for a in args.reject)
        self.reject_data_to = set(a.lower() for a in args.reject_data_to)
        self.max_per_connection = args.max_messages_per_connection
        self.store = store

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.max_per_connection and server.messages_here >= self.max_per_connection:
            # As busy servers do: refuse and close, the client has to reconnect.
            asyncio.get_running_loop().call_soon(server.transport.close)
            return "421 4.7.0 Too many messages on this connection, closing"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.reject:
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if any(r.lower() in self.reject_data_to for r in envelope.rcpt_tos):
            return "554 5.6.0 Message refused by policy"
        user = None
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            user = session.auth_data.login.decode("utf-8", errors="replace")
        self.store.message(server.connection_number, server.tls_kind(), user, envelope)
        server.messages_here += 1
        return "250 2.0.0 OK queued"


class CountingSMTP(SMTP):
    """Numbers its connections; a STARTTLS upgrade is not a new connection."""

    def __init__(self, handler, store, implicit_tls, **kwargs):
        super().__init__(handler, **kwargs)
        self.store = store
        self.implicit_tls = implicit_tls
        self.connection_number = 0
        self.messages_here = 0

    def connection_made(self, transport):
        if self._original_transport is None and self.connection_number == 0:
            self.connection_number = self.store.connection_opened()
        super().connection_made(transport)

    def tls_kind(self):
        if self.implicit_tls:
            return "implicit"
        return "starttls" if self._tls_protocol is not None else "none"


def make_tls_context(args):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    return context


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode("utf-8")
              and auth_data.password == password.encode("utf-8"))
        # handled=False: the server itself answers 535 to a refused log-in.
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)
    return authenticate


async def serve(args):
    loop = asyncio.get_running_loop()
    store = Store(args.dir, args.count_only)
    handler = Handler(args, store)
    tls_context = make_tls_context(args) if args.cert else None

    smtp_options = {"hostname": "test.smtp.local"}
    if args.starttls or args.require_starttls:
        smtp_options["tls_context"] = tls_context
        smtp_options["require_starttls"] = args.require_starttls
    if args.auth_user is not None:
        smtp_options["authenticator"] = make_authenticator(args.auth_user, args.auth_password)
        smtp_options["auth_required"] = True
        smtp_options["auth_require_tls"] = False

    def factory():
        return CountingSMTP(handler, store, args.implicit_tls, **smtp_options)

    server = await loop.create_server(
        factory, host=args.host, port=args.port,
        ssl=tls_context if args.implicit_tls else None,
        family=socket.AF_INET, reuse_address=True)
    port = server.sockets[0].getsockname()[1]
    print(port, flush=True)

    stop = loop.create_future()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, lambda: stop.done() or stop.set_result(None))
    await stop
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--starttls", action="store_true", help="offer STARTTLS")
    parser.add_argument("--require-starttls", action="store_true")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--auth-user")
    parser.add_argument("--auth-password", default="")
    parser.add_argument("--reject", action="append", default=[],
                        help="refuse this recipient with 550")
    parser.add_argument("--reject-data-to", action="append", default=[],
                        help="refuse the data of messages to this recipient with 554")
    parser.add_argument("--max-messages-per-connection", type=int, default=0,
                        help="answer MAIL with 421 and close once a connection carried this many")
    parser.add_argument("--count-only", action="store_true",
                        help="count the messages without storing them")
    parser.add_argument("--parse", nargs="+", help="parse these message files into --dir and exit")
    args = parser.parse_args()

    if args.parse:
        for number, path in enumerate(args.parse, start=1):
            folder = os.path.join(args.dir, str(number))
            os.makedirs(folder)
            with open(path, "rb") as f:
                store_parsed(folder, f.read())
        return 0
    if (args.starttls or args.require_starttls or args.implicit_tls) and not args.cert:
        parser.error("TLS needs --cert and --key")
    asyncio.run(serve(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
