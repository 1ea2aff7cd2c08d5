#!/usr/bin/python3
# A real SMTP server for the tests and benchmarks (aiosmtpd). Prints its port once it listens.
# Each accepted message becomes one file msg-NNNNNN under --dir holding its fields in a fixed
# order, each ended by a NUL byte; `connections` and `messages` count so far.
# `--parse FILE... --dir OUT` writes the same fields of each message file to OUT/1, OUT/2, ...
import argparse, asyncio, email, email.policy, os, socket, ssl, sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def write_file(path, data):
    with open(path + ".tmp", "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8", "surrogateescape"))
    os.replace(path + ".tmp", path)  # readers never see half a file


def fields_of(raw, tls="", auth_user="", mail_from="", rcpt_tos=""):
    message = email.message_from_bytes(raw, policy=email.policy.default)
    defects = [type(d).__name__ for d in message.defects]
    fields = dict(tls=tls, auth_user=auth_user, mail_from=mail_from, rcpt_tos=rcpt_tos)
    for field, name in (("subject", "Subject"), ("from", "From"), ("to", "To"), ("message_id", "Message-ID")):
        value = message.get(name)
        defects += [name + ": " + type(d).__name__ for d in getattr(value, "defects", ())]
        fields[field] = "" if value is None else str(value)
    fields["body"] = message.get_payload(decode=True) or b""
    fields["defects"] = "\n".join(defects)
    return b"".join((v if isinstance(v, bytes) else v.encode("utf-8", "surrogateescape")) + b"\0"
                    for v in fields.values())


# Numbers its connections; a STARTTLS upgrade is not a new connection.
class Counting(SMTP):
    totals = {"connections": 0, "messages": 0}

    def __init__(self, args, **kwargs):
        super().__init__(self, **kwargs)
        self.args, self.number, self.here = args, 0, 0

    def count(self, what):
        Counting.totals[what] += 1
        write_file(os.path.join(self.args.dir, what), str(Counting.totals[what]))
        return Counting.totals[what]

    def connection_made(self, transport):
        if self._original_transport is None and self.number == 0:
            self.number = self.count("connections")
        super().connection_made(transport)

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.args.max_messages_per_connection and self.here >= self.args.max_messages_per_connection:
            asyncio.get_running_loop().call_soon(self.transport.close)  # as busy servers do
            return "421 4.7.0 Too many messages on this connection, closing"
        envelope.mail_from = address
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.args.reject:
            return "550 5.1.1 <%s>: mailbox unavailable" % address
        if address.lower() in self.args.defer:
            return "450 4.2.1 <%s>: mailbox busy, try again later" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.args.delay_ms:  # a slow relay: each message takes this long to be accepted
            await asyncio.sleep(self.args.delay_ms / 1000)
        if any(text.encode() in envelope.original_content for text in self.args.reject_data_containing):
            return "554 5.6.0 Message refused by policy"
        self.here += 1
        number = self.count("messages")
        if not self.args.count_only:
            user = session.auth_data.login.decode() if session.authenticated else ""
            tls = "implicit" if self.args.implicit_tls else ("starttls" if self._tls_protocol else "none")
            write_file(os.path.join(self.args.dir, "msg-%06d" % number), fields_of(
                envelope.original_content, tls=tls, auth_user=user,
                mail_from=envelope.mail_from, rcpt_tos="\n".join(envelope.rcpt_tos)))
        return "250 2.0.0 OK queued"


def authenticator(user, password):
    def check(server, session, envelope, mechanism, data):
        ok = isinstance(data, LoginPassword) and (data.login, data.password) == (user.encode(), password.encode())
        return AuthResult(success=ok, handled=False, auth_data=data if ok else None)  # 535 if not
    return check


async def serve(args):
    for name in ("connections", "messages"):
        write_file(os.path.join(args.dir, name), "0")
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH) if args.cert else None
    if context:
        context.load_cert_chain(args.cert, args.key)
    options = {"hostname": "test.smtp.local"}
    if args.size:  # announced in EHLO; larger messages refused with 552
        options.update(data_size_limit=args.size)
    if args.require_starttls:
        options.update(tls_context=context, require_starttls=True)
    if args.auth_user is not None:
        options.update(authenticator=authenticator(args.auth_user, args.auth_password),
                       auth_required=True, auth_require_tls=False)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(lambda: Counting(args, **options), host="127.0.0.1", port=args.port,
                                      ssl=context if args.implicit_tls else None,
                                      family=socket.AF_INET, reuse_address=True)
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()  # until SIGTERM ends the process: every file is whole by then


def main():
    parser = argparse.ArgumentParser()
    for flag in ("--dir", "--cert", "--key", "--auth-user"):
        parser.add_argument(flag)
    for flag in ("--port", "--max-messages-per-connection", "--delay-ms", "--size"):
        parser.add_argument(flag, type=int, default=0)
    parser.add_argument("--auth-password", default="")
    for flag in ("--require-starttls", "--implicit-tls", "--count-only"):
        parser.add_argument(flag, action="store_true")
    # refused with 550 or 450 at RCPT
    for flag in ("--reject", "--defer"):
        parser.add_argument(flag, action="append", default=[], type=str.lower)
    parser.add_argument("--reject-data-containing", action="append", default=[])  # 554 at DATA
    parser.add_argument("--parse", nargs="+")
    args = parser.parse_args()
    for number, path in enumerate(args.parse or [], start=1):
        with open(path, "rb") as f:
            write_file(os.path.join(args.dir, str(number)), fields_of(f.read()))
    if not args.parse:
        asyncio.run(serve(args))


if __name__ == "__main__":
    sys.exit(main())
