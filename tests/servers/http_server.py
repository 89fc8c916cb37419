"""A small web server for tests, on 127.0.0.1 only.

Serves the files of --root and writes every request's line and headers to --log (one block per
request, ended by an empty line). It prints the port it listens on as the first line of standard
output and writes nothing more there. Some paths answer specially, whatever their query:

  /empty                  200 with an empty body
  /broken                 announces 100 bytes, sends 10 and closes the connection
  /loop                   a redirect to itself
  /redirect-to/TARGET     a redirect (302) to TARGET when it is a full URL, else to /TARGET

With --tls FOLDER it speaks HTTPS: it makes a test CA (FOLDER/ca.pem) and a server certificate
for 127.0.0.1 and localhost signed by it with the openssl command, so a client trusts the server
only when it is given FOLDER/ca.pem.
"""

import argparse
import http.server
import os
import ssl
import subprocess
import sys
import threading

REDIRECT_PREFIX = "/redirect-to/"


def make_certificates(folder):
    os.makedirs(folder, exist_ok=True)

    def path(name):
        return os.path.join(folder, name)

    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *key, "-keyout", path("ca.key"), "-out", path("ca.pem"), "-days", "2",
            "-subj", "/CN=Pellmar Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", *key, "-keyout", path("server.key"), "-out", path("server.csr"),
            "-subj", "/CN=localhost")
    with open(path("server.ext"), "w") as ext:
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                  "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"), "-CAkey",
            path("ca.key"), "-CAcreateserial", "-out", path("server.pem"), "-days", "2",
            "-extfile", path("server.ext"))
    return path("server.pem"), path("server.key")


class Handler(http.server.SimpleHTTPRequestHandler):
    log_file = None
    log_lock = threading.Lock()

    def log_request_block(self):
        with self.log_lock:
            self.log_file.write(self.requestline + "\n")
            for name, value in self.headers.items():
                self.log_file.write("%s: %s\n" % (name, value))
            self.log_file.write("\n")
            self.log_file.flush()

    def do_GET(self):
        # Logged before answering, so the log is complete once the client has its answer.
        self.log_request_block()
        path = self.path.split("?", 1)[0]
        if path == "/empty":
            self.answer(200, b"")
        elif path == "/broken":
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.write(b"0123456789")
            self.wfile.flush()
            self.close_connection = True
        elif path == "/loop":
            self.redirect("/loop")
        elif path.startswith(REDIRECT_PREFIX):
            target = path[len(REDIRECT_PREFIX):]
            self.redirect(target if "://" in target else "/" + target)
        else:
            super().do_GET()

    def answer(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, target):
        self.send_response(302)
        self.send_header("Location", target)
        self.send_header("Content-Length", "5")
        self.end_headers()
        self.wfile.write(b"moved")

    def log_message(self, format, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that stop reading early (a size bound) are expected here, not news.
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--tls")
    options = parser.parse_args()

    Handler.log_file = open(options.log, "a")

    def make_handler(*args, **kwargs):
        return Handler(*args, directory=options.root, **kwargs)

    server = Server(("127.0.0.1", 0), make_handler)
    if options.tls:
        certificate, key = make_certificates(options.tls)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
