"""Who may use the console: without the token, through another host name, or
from another page's origin a request gets 403 and changes nothing."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import ConsoleProcess  # noqa: E402

CLSID = "{6A1C3E52-93D4-4B8E-9E0F-2B7D4C1A5E60}"


class AccessTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import tempfile
        root = tempfile.mkdtemp(prefix="kvmmc-access-")
        cls.log = os.path.join(root, "snapin.log")
        cls.console = ConsoleProcess(os.environ["KV_TEST_SNAPIN"], CLSID, root=root,
                                     environment={"KESTRAVA_SNAPIN_LOG": cls.log}).start()
        status, payload = cls.console.request("POST", "/api/view", body={})
        assert status == 200, payload
        import json
        cls.view = json.loads(payload)["view"]
        cls.console.wait_for(cls.view, lambda s: s["view"] and s["view"]["ready"])

    @classmethod
    def tearDownClass(cls):
        cls.console.stop()
        import shutil
        shutil.rmtree(cls.console.root, ignore_errors=True)

    def snapin_log(self):
        with open(self.log, encoding="utf-8") as f:
            return f.read()

    def test_without_credentials_everything_is_refused(self):
        c = self.console
        for method, path in (("GET", "/"), ("GET", "/api/state?view=%d" % self.view), ("GET", "/static/console.js"),
                             ("GET", "/icons/16/folder.png"), ("POST", "/api/view")):
            status, _ = c.request(method, path, body={} if method == "POST" else None, cookie=False)
            self.assertEqual(status, 403, path)
        status, _ = c.request("GET", "/", cookie=False, headers={"Cookie": "kvmmc-%d=%s" % (c.port, "0" * 64)})
        self.assertEqual(status, 403, "a wrong token")
        status, _ = c.request("GET", "/", cookie=False, headers={"Cookie": "kvmmc-%d=%s" % (c.port + 1, c.token)})
        self.assertEqual(status, 403, "the token under another console's cookie name")

    def test_the_token_is_traded_for_a_strict_http_only_cookie(self):
        c = self.console
        import http.client
        connection = http.client.HTTPConnection("127.0.0.1", c.port, timeout=10)
        connection.request("GET", "/?token=" + c.token, headers={"Host": "127.0.0.1:%d" % c.port})
        response = connection.getresponse()
        response.read()
        self.assertEqual(response.status, 303)
        self.assertEqual(response.getheader("Location"), "/")
        cookie = response.getheader("Set-Cookie")
        self.assertIn("kvmmc-%d=%s" % (c.port, c.token), cookie)
        self.assertIn("HttpOnly", cookie)
        self.assertIn("SameSite=Strict", cookie)
        status, page = c.request("GET", "/")
        self.assertEqual(status, 200)
        self.assertIn(b"console.js", page)

    def test_a_foreign_host_header_is_refused_even_with_the_token(self):
        c = self.console
        for host in ("evil.example:%d" % c.port, "127.0.0.1:%d" % (c.port + 1), "127.0.0.1", "[::1]:%d" % c.port):
            status, _ = c.request("GET", "/api/state?view=%d" % self.view, host=host)
            self.assertEqual(status, 403, host)
        status, _ = c.request("GET", "/", host="localhost:%d" % c.port)
        self.assertEqual(status, 200, "localhost is the same console")

    def test_changes_from_another_origin_are_refused_and_change_nothing(self):
        c = self.console
        before = c.state(self.view)
        jobs = next(n["id"] for n in before["view"]["tree"] if n["name"] == "Jobs")
        log_before = self.snapin_log()
        command = {"view": self.view, "type": "select-scope", "item": jobs}
        for origin in ("http://evil.example", "http://127.0.0.1:%d" % (c.port + 1), "null", None):
            status, _ = c.request("POST", "/api/command", body=command, origin=origin if origin else False)
            self.assertEqual(status, 403, origin)
            status, _ = c.request("POST", "/api/view", body={}, origin=origin if origin else False)
            self.assertEqual(status, 403, origin)
        time.sleep(0.5)
        after = c.state(self.view)
        self.assertEqual(after["view"]["selected"], before["view"]["selected"])
        self.assertEqual(self.snapin_log(), log_before, "the snap-in heard nothing")
        # The same command from the console's own page goes through.
        status, _ = c.request("POST", "/api/command", body=command)
        self.assertEqual(status, 200)
        c.wait_for(self.view, lambda s: s["view"]["selected"] == jobs)

    def test_paths_never_leave_the_console_files(self):
        c = self.console
        for path in ("/static/..%2F..%2Fetc%2Fpasswd", "/icons/16/..%2F..%2F..%2Fetc%2Fpasswd.png",
                     "/res/%d/..%%2Fetc%%2Fpasswd" % self.view, "/res/%d/about.htm" % self.view):
            status, body = c.request("GET", path)
            self.assertIn(status, (400, 404), path)
            self.assertNotIn(b"root:", body)

    def test_pictures_come_only_from_loaded_modules(self):
        import urllib.parse
        c = self.console
        module = os.path.realpath(os.environ["KV_TEST_SNAPIN"])
        status, body = c.request("GET", "/resimage?address=" + urllib.parse.quote("res://%s/dot.svg" % module))
        self.assertEqual(status, 200)
        self.assertIn(b"<svg", body)
        for address in ("res://%s/about.htm" % module, "res:///usr/lib/x86_64-linux-gnu/libc.so.6/x.png",
                        "res:///etc/passwd/x.png", "file:///etc/passwd"):
            status, _ = c.request("GET", "/resimage?address=" + urllib.parse.quote(address))
            self.assertEqual(status, 404, address)

    def test_malformed_requests_are_refused_whole(self):
        c = self.console
        for body in ({"type": "select-scope"}, {"view": self.view, "type": "no-such"}, {"view": "x", "type": "verb"},
                     {"view": self.view, "type": "select-results", "items": [{"id": "not a number"}]}, [1, 2]):
            status, _ = c.request("POST", "/api/command", body=body)
            self.assertEqual(status, 400, body)
        status, _ = c.request("POST", "/api/input", body={"type": "click", "target": "999999"})
        self.assertEqual(status, 404, "no such window")


if __name__ == "__main__":
    unittest.main()
