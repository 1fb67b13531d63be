"""The configuration console end to end: the installation on a fresh root,
kvmmc with the real OrvConsole.so, and the page in a real browser. The tree
in its order, the empty scan jobs with the log line, creating scan jobs
through the context menu and the "New Profile" dialog (duplicate and "<"
refused), rename, delete with its question, and the three-column list; the
database is read after each step. Screenshots of each step are saved."""

import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess  # noqa: E402

SOURCE = os.environ.get("KV_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def strings():
    """The English texts of the language library, by id."""
    table = {}
    with open(os.path.join(SOURCE, "resources", "OrvRes409.str"), encoding="utf-8") as f:
        current = None
        for line in f:
            match = re.match(r'^(\d+)\s+"(.*)"\s*$', line)
            if match:
                current = int(match.group(1))
                table[current] = match.group(2)
            elif current is not None and re.match(r'^\s+"(.*)"\s*$', line):
                table[current] += re.match(r'^\s+"(.*)"\s*$', line).group(1)
            else:
                current = None
    return {k: v.replace('\\"', '"').replace("\\n", "\n").replace("\\\\", "\\") for k, v in table.items()}


class ScanJobConsoleTest(unittest.TestCase):
    def setUp(self):
        self.text = strings()
        self.base = tempfile.mkdtemp(prefix="kvmmc-console-")
        self.addCleanup(shutil.rmtree, self.base, True)
        drive = os.path.join(self.base, "c")
        for folder in ("usr/bin", "usr/lib", "etc", "var"):
            os.makedirs(os.path.join(drive, folder))
        with open(os.path.join(drive, "usr/bin/tool"), "w") as f:
            f.write("#!/bin/sh\n")
        self.root = os.path.join(drive, "kestrava")
        env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=drive,
                   KESTRAVA_BIN=os.environ["KV_BIN_DIR"])
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")], env=env, check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        self.database = os.path.join(self.root, "Tsl3", "Data", "KvData.mdb")
        # The installation's database starts with its default job: this console starts with none.
        with sqlite3.connect(self.database) as db:
            db.execute("DELETE FROM PROFILES")
        self.drive = drive

    def start_console(self, browser=True, environment=None):
        env = {"KESTRAVA_DRIVE_C": self.drive}
        env.update(environment or {})
        self.console = ConsoleProcess(root=self.root, document=os.path.join(self.root, "Tsl3", "Tsl3.msc"),
                                      environment=env).start()
        self.addCleanup(self.console.stop)
        if browser:
            self.browser = Browser.start_or_skip(self.console, "scan-jobs")
            self.addCleanup(self.browser.quit)

    def jobs(self):
        with sqlite3.connect("file:%s?mode=ro" % self.database, uri=True, timeout=10) as db:
            db.row_factory = sqlite3.Row
            return [dict(r) for r in db.execute("SELECT * FROM PROFILES ORDER BY PROFILE_ID")]

    def debug_log(self):
        for folder, _, files in os.walk(os.path.dirname(self.root)):
            for name in files:
                if name.lower() == "kvconfigdbg.txt":
                    with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
                        return f.read()
        return ""

    def new_profile(self, name):
        b = self.browser
        b.context_node(self.text[3])
        b.choose("New", self.text[14].replace("&", ""))
        dialog = b.window(title="New Profile")
        field = dialog.find_element("css selector", "input.ctl-edit")
        field.send_keys(name)
        b.wait(lambda d: field.get_attribute("value") == name, message="name typed")
        return dialog

    def test_scan_jobs_are_made_refused_renamed_and_deleted(self):
        self.start_console()
        b, t = self.browser, self.text
        b.open()
        b.wait(lambda d: b.tree_names()[:4] == [t[100], t[2], t[3], t[12]], message="tree")
        b.expand(t[12])
        b.wait(lambda d: b.tree_names() == [t[100], t[2], t[3], t[12], t[55], t[84], t[27], t[28], t[29]],
               message="General's children")
        b.shot("tree")

        b.select_node(t[3])
        b.wait(lambda d: b.headers() == [t[7], t[8], t[9]], message="three columns")
        self.assertEqual(b.rows(), [])
        self.assertEqual([n for n in b.tree_names() if n not in (t[100], t[2], t[3], t[12], t[55], t[84], t[27], t[28], t[29])], [])
        b.wait(lambda d: "CProfilesNode::ReadProfiles: Profiles recordset is empty." in self.debug_log(), message="log line")
        b.shot("empty-scan-jobs")

        dialog = self.new_profile("Daily")
        b.shot("new-profile-dialog")
        b.click("New Profile", "OK")
        b.wait_node("Daily")
        b.wait(lambda d: "selected" in b.node("Daily").get_attribute("class"), message="new job selected")
        rows = self.jobs()
        self.assertEqual(len(rows), 1)
        self.assertEqual((rows[0]["NAME"], rows[0]["PRIORITY"], rows[0]["ENABLED"], rows[0]["SUBJECT"], rows[0]["SFIRST"]),
                         ("Daily", 1, 0, t[62], 1))
        self.assertIsNone(rows[0]["MAILTO"])
        self.assertIsNone(rows[0]["MAILFROM"])
        # The scan job's sheet opens with its pages once they exist; close whatever opened.
        for title in [w.get_attribute("data-title") for w in b.css("#windows .window[data-kind=propertysheet]")]:
            b.click(title, "Cancel")
        b.shot("daily-created")

        dialog = self.new_profile("Daily")
        b.click("New Profile", "OK")
        refusal = b.window(title=t[59])
        self.assertIn(t[76], b.window_text(refusal))
        b.shot("duplicate-refused")
        b.click(t[59], "OK")
        b.no_windows()
        self.assertEqual(len(self.jobs()), 1)

        dialog = self.new_profile("daily")
        b.click("New Profile", "OK")
        b.wait_node("daily")
        for title in [w.get_attribute("data-title") for w in b.css("#windows .window[data-kind=propertysheet]")]:
            b.click(title, "Cancel")
        self.assertEqual([r["NAME"] for r in self.jobs()], ["Daily", "daily"])

        dialog = self.new_profile("Night<ly")
        b.click("New Profile", "OK")
        refusal = b.window(title=t[59])
        self.assertIn(t[83], b.window_text(refusal))
        b.shot("angle-bracket-refused")
        b.click(t[59], "OK")
        b.no_windows()
        self.assertEqual(len(self.jobs()), 2)

        # Rename "daily" in place.
        from selenium.webdriver.common.keys import Keys
        b.select_node("daily")
        b.css("#scope")[0].send_keys(Keys.F2)
        box = b.wait(lambda d: (b.css("#scope .rename-box") or [None])[0], message="rename box")
        box.send_keys(Keys.CONTROL, "a")
        box.send_keys("Weekly" + Keys.ENTER)
        b.wait_node("Weekly")
        b.wait(lambda d: [r["NAME"] for r in self.jobs()] == ["Daily", "Weekly"], message="renamed in the database")
        b.shot("renamed")

        # Delete "Weekly" after the question.
        b.context_node("Weekly")
        b.choose("Delete")
        question = b.window(title=t[16])
        self.assertIn(t[15], b.window_text(question))
        b.shot("delete-question")
        b.click(t[16], "Yes")
        b.wait_node("Weekly", present=False)
        b.wait(lambda d: [r["NAME"] for r in self.jobs()] == ["Daily"], message="deleted from the database")

        b.select_node(t[3])
        b.wait(lambda d: b.rows() == [["Daily", "", t[11]]], message="the list")
        self.assertEqual(b.headers(), [t[7], t[8], t[9]])
        b.shot("scan-job-list")

    def shown(self, view, name, console):
        """Selects the tree node of that name and waits for its result pane."""
        state = console.state(view)
        for node in state["view"]["tree"]:
            if node["hasChildren"] and not node["expanded"]:
                console.request("POST", "/api/command", body={"view": view, "type": "expand", "item": node["id"], "expand": True})
        state = console.wait_for(view, lambda s: any(n["name"] == name for n in s["view"]["tree"]))
        node = next(n["id"] for n in state["view"]["tree"] if n["name"] == name)
        console.request("POST", "/api/command", body={"view": view, "type": "select-scope", "item": node})
        return console.wait_for(view, lambda s: s["view"]["selected"] == node and s["view"]["result"] != "list"
                                or s["view"]["selected"] == node and s["view"]["columns"])

    def test_console_version_decides_between_message_view_and_module_pages(self):
        import json
        with sqlite3.connect(self.database) as db:
            db.execute("INSERT INTO PROFILES (NAME, PRIORITY, ENABLED, SUBJECT, SFIRST) VALUES ('Nightly', 1, 0, 'x', 1)")
        t = self.text
        for version, expected in (("2.0", "message"), ("1.0", "resource")):
            self.start_console(browser=False, environment={"KESTRAVA_MMCVER": version})
            c = self.console
            status, payload = c.request("POST", "/api/view", body={})
            view = json.loads(payload)["view"]
            c.wait_for(view, lambda s: s["view"] and s["view"]["ready"])
            self.shown(view, t[3], c)
            for name in (t[12], "Nightly"):
                state = self.shown(view, name, c)
                self.assertEqual(state["view"]["result"], expected, (version, name))
                if expected == "resource":
                    status, page = c.request("GET", "/res/%d/%s" % (view, state["view"]["resourcePage"]))
                    self.assertEqual(status, 200, name)
                    self.assertIn(b"Properties", page)
            link = self.shown(view, t[84], c)
            self.assertEqual(link["view"]["result"], "web")
            self.assertTrue(link["view"]["webAddress"].startswith("http"))
            c.stop()


if __name__ == "__main__":
    unittest.main()
