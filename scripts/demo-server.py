#!/usr/bin/env python3
"""Serves the demo site on 127.0.0.1 (a free port, printed on the first line)
with one redirection: /old/<name> answers 301, with a small page as its body,
pointing at /images/<name>. DEMO_DELAY (seconds) holds every answer back,
so that a save job takes long enough to be watched."""
import http.server
import os
import sys
import time

DELAY = float(os.environ.get("DEMO_DELAY", "0"))


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if DELAY:
            time.sleep(DELAY)
        if self.path.startswith("/old/"):
            body = b"<html><body>Moved to <a href='/images/'>images</a></body></html>"
            self.send_response(301)
            self.send_header("Location", "/images/" + self.path[len("/old/"):])
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()

    def log_message(self, *args):
        pass


os.chdir(sys.argv[1])
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
