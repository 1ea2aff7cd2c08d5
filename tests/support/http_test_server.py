#!/usr/bin/python3
# A local HTTP server for the heartbeat tests. Prints its port once it listens. Each request
# becomes one file req-NNNNNN under --dir: the method and the target on the first line, then the
# body. --status sets the answer's status;
# --refuse-post answers POST with 404, as a push address that takes GET only.
import argparse, http.server, os, threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--refuse-post", action="store_true")
    args = parser.parse_args()
    lock, count = threading.Lock(), [0]

    class Handler(http.server.BaseHTTPRequestHandler):
        def answer(self):
            body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
            with lock:
                count[0] += 1
                path = os.path.join(args.dir, "req-%06d" % count[0])
            with open(path + ".tmp", "wb") as f:  # written before the answer: the client sees it
                f.write(("%s %s\n" % (self.command, self.path)).encode() + body)
            os.replace(path + ".tmp", path)
            self.send_response(404 if args.refuse_post and self.command == "POST" else args.status)
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"OK")

        do_GET = do_POST = answer

        def log_message(self, *unused):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
