"""The version page and the scanned-files report in a real browser: kvmmc
with the installed OrvConsole.so on a fresh root, the version page's fields
and its update check against a web server on 127.0.0.1, and the report of
a scan job opened from its "Files monitored" page in a tab of its own, with
its banner pictures and a name outside ASCII. Screenshots of each step."""

import http.server
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess, tool  # noqa: E402
from scan_job_console_test import strings  # noqa: E402

SOURCE = os.environ.get("KV_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
UPDATE_KEY = "HKLM\\SOFTWARE\\Vireo\\UpdateCheck"


class UpdateDocument(http.server.BaseHTTPRequestHandler):
    body = b"SVNTSL=1\n"

    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        self.wfile.write(self.body)

    def log_message(self, *args):
        pass


class ReportConsoleTest(unittest.TestCase):
    def setUp(self):
        self.text = strings()
        self.base = tempfile.mkdtemp(prefix="kvmmc-report-")
        self.addCleanup(shutil.rmtree, self.base, True)
        self.drive = os.path.join(self.base, "c")
        sample = os.path.join(self.drive, "Sample")
        os.makedirs(os.path.join(sample, "Reports"))
        for name, size in (("kilo.txt", 1024), ("one-and-a-half.txt", 1536), ("Reports/mega.bin", 1048576),
                           ("Grüße aus Köln.txt", 12)):
            with open(os.path.join(sample, name), "wb") as f:
                f.write(b"x" * size)
        self.root = os.path.join(self.base, "root")
        self.env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=self.drive,
                        KESTRAVA_BIN=os.environ["KV_BIN_DIR"])
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        database = os.path.join(self.root, "Tsl3", "Data", "KvData.mdb")
        with sqlite3.connect(database) as db:
            db.execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0)")
            db.execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\\Sample\\', '', 0)")
        self.reg("add", "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config", "/v", "FirstStart", "/t", "REG_DWORD", "/d", "0", "/f")

        self.console = ConsoleProcess(root=self.root, document=os.path.join(self.root, "Tsl3", "Tsl3.msc"),
                                      environment={"KESTRAVA_DRIVE_C": self.drive}).start()
        self.addCleanup(self.console.stop)
        self.browser = Browser.start_or_skip(self.console, "report")
        self.addCleanup(self.browser.quit)

    def reg(self, *args):
        subprocess.run([tool("kvreg")] + list(args), env=self.env, check=True, stdout=subprocess.DEVNULL, timeout=30)

    def properties(self, node, timeout=20):
        b = self.browser
        b.select_node(node)
        b.wait(lambda d: not b.css("#tool-properties")[0].get_attribute("disabled"), timeout=timeout,
               message="properties offered")
        b.css("#tool-properties")[0].click()
        return b.window(kind="propertysheet")

    def check_for_update(self, title):
        b, t = self.browser, self.text
        b.click(title, "Check for latest version on website")
        question = b.window(title="Kestrava Selvane Tessellon 3", kind="messagebox")
        self.assertIn(t[35], b.window_text(question))
        b.click("Kestrava Selvane Tessellon 3", "Yes")
        answer = b.wait(lambda d: next((w for w in b.css("#windows .window[data-kind=messagebox]")
                                        if t[35] not in b.window_text(w)), None), timeout=60,
                       message="the check's answer")
        return b.window_text(answer)

    def test_version_page_and_report(self):
        b, t = self.browser, self.text
        b.open()
        b.retry(lambda: b.expand(t[12]))
        sheet = self.properties(t[55])
        title = sheet.get_attribute("data-title")
        page = b.window(title=title)
        page_text = b.window_text(page)
        self.assertIn("Kestrava Selvane Tessellon 3", page_text)
        self.assertIn(t[30], page_text)
        self.assertIn("3.0", page_text)
        b.shot("version-page")

        answer = self.check_for_update(title)
        self.assertIn(t[43], answer)
        b.shot("update-check-without-address")
        b.click("Kestrava Selvane Tessellon 3", "OK")

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), UpdateDocument)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        self.reg("add", UPDATE_KEY, "/v", "Address", "/t", "REG_SZ", "/d",
                 "http://127.0.0.1:%d/latest.txt" % server.server_address[1], "/f")
        answer = self.check_for_update(title)
        self.assertIn(t[36], answer)
        b.shot("update-check-latest")
        b.click("Kestrava Selvane Tessellon 3", "OK")
        b.click(title, "OK")
        b.no_windows()

        # The report, from the scan job's "Files monitored" page.
        b.retry(lambda: b.expand(t[3]))
        sheet = self.properties("Default")
        tabs = [e.text for e in sheet.find_elements("css selector", ".tab")]
        self.assertIn("Files monitored", tabs)
        title = sheet.get_attribute("data-title")
        b.retry(lambda: [e for e in b.css("#windows .window .tab") if e.text == "Files monitored"][0].click())
        b.click(title, "Show all files...")
        opener = b.wait(lambda d: next((n for n in b.css(".notice")
                                        if "browser window" in n.text), None), message="the browser window's notice")
        b.shot("report-offered")
        console_tab = b.driver.current_window_handle
        opener.find_element("css selector", "button").click()
        b.wait(lambda d: len(d.window_handles) == 2, message="a new tab")
        b.driver.switch_to.window([h for h in b.driver.window_handles if h != console_tab][0])
        b.wait(lambda d: "/browser/" in d.current_url and d.title == "All files scanned by the Default",
               message="the report's tab")
        body = b.driver.find_element("css selector", "body").text
        self.assertIn("All files scanned by the Default", body)
        self.assertIn("Grüße aus Köln.txt", body)
        self.assertIn("1024 Bytes", body)
        self.assertIn("1.5 KBytes", body)
        self.assertIn("1.02e+03 KBytes", body)
        pictures = b.driver.execute_script("return [...document.images].map(i => [i.complete, i.naturalWidth])")
        self.assertEqual(pictures, [[True, 70], [True, 393]])
        b.shot("report")

        # The page as it was loaded: byte for byte what the writer wrote,
        # served as UTF-8 whatever its own meta text says.
        number = re.search(r"/browser/(\d+)/", b.driver.current_url).group(1)
        status, source = self.console.request("GET", "/browser/%s/source" % number)
        self.assertEqual(status, 200)
        self.assertTrue(source.startswith(b"<html><head>\n<meta http-equiv=\"Content-Language\" content=\"en-us\">\n"))
        self.assertIn(b"charset=windows-1252", source)
        self.assertIn("&nbsp;Grüße aus Köln.txt</td>".encode("utf-8"), source)
        self.assertTrue(source.endswith(b"</tr>\n</table>\n</body>\n</html>"))
        status, _ = self.console.request("GET", "/browser/%s/file/7" % number)
        self.assertEqual(status, 404)
        b.driver.close()
        b.driver.switch_to.window(console_tab)
        b.click(title, "Cancel")


if __name__ == "__main__":
    unittest.main()
