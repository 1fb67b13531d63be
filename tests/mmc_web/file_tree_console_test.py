"""The monitored-files tree end to end: the installation on a fresh root with
a drive T: mapped to a temporary tree, kvmmc with the real OrvConsole.so, the
page in a real browser. Scan jobs are assigned through the context menu, the
"Select Scan Job" dialog and the wait dialog; the state images are read and
photographed; a real check of job 1 then stores exactly what the tree gives
job 1. Then the link rules: a folder back to its parent's job, a drive's own
row, "this folder only" on a folder never opened."""

import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess  # noqa: E402
from scan_job_console_test import strings  # noqa: E402

SOURCE = os.environ.get("KV_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SETTINGS = "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config"
# State images as the list draws them: state + 2.
NONE, JOB, JOB_BELOW, NONE_BELOW = 2, 3, 4, 5


class FileTreeConsoleTest(unittest.TestCase):
    def setUp(self):
        self.text = strings()
        self.base = tempfile.mkdtemp(prefix="kvmmc-tree-")
        self.addCleanup(shutil.rmtree, self.base, True)
        drive = os.path.join(self.base, "c")
        os.makedirs(drive)
        self.root = os.path.join(drive, "kestrava")
        self.env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=drive, KESTRAVA_BIN=os.environ["KV_BIN_DIR"])
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        self.database = os.path.join(self.root, "Tsl3", "Data", "KvData.mdb")
        # No first-start defaults: the rows are the ones the page writes.
        for name, kind, value in (("FirstStart", "REG_DWORD", "0"), ("WALKDELAY", "REG_DWORD", "0"),
                                  ("MATCHDELAY", "REG_DWORD", "0"), ("SPROFILES", "REG_SZ", "1;"),
                                  ("DEBUGLEVEL", "REG_DWORD", "7")):
            subprocess.run([os.path.join(os.environ["KV_BIN_DIR"], "kvreg"), "add", SETTINGS, "/v", name, "/t", kind,
                            "/d", value, "/f"], env=self.env, check=True, stdout=subprocess.DEVNULL, timeout=30)
        with open(os.path.join(self.root, "Tsl3", "Data", "ExtExcluded.dat"), "w"):
            pass
        self.tree = os.path.join(self.base, "t")
        for path in ("proj/a.txt", "proj/sub/keep.txt", "proj/sub/other.txt", "proj/sub/deep/x.txt", "else/y.txt",
                     "top.txt"):
            os.makedirs(os.path.dirname(os.path.join(self.tree, path)), exist_ok=True)
            with open(os.path.join(self.tree, path), "w") as f:
                f.write(path)
        os.symlink(self.tree, os.path.join(self.root, "dosdevices", "t:"))
        with sqlite3.connect(self.database) as db:
            db.execute("DELETE FROM FILES_PROFILES_LNK")
            db.execute("INSERT INTO PROFILES (PROFILE_ID, NAME, PRIORITY, ENABLED, SUBJECT, SFIRST) "
                       "VALUES (2, 'Night', 1, 0, 'x', 1)")
        self.drive = drive

    def start(self, name):
        self.console = ConsoleProcess(root=self.root, document=os.path.join(self.root, "Tsl3", "Tsl3.msc"),
                                      environment={"KESTRAVA_DRIVE_C": self.drive}).start()
        self.addCleanup(self.console.stop)
        self.browser = Browser.start_or_skip(self.console, name)
        self.addCleanup(self.browser.quit)
        self.browser.open()

    # --- the database and the page -------------------------------------------

    def links(self):
        with sqlite3.connect("file:%s?mode=ro" % self.database, uri=True, timeout=10) as db:
            return {p: "%s/%s" % (i, f or 0) for p, i, f in db.execute("SELECT PATH, PROFILE_ID, FLAG FROM FILES_PROFILES_LNK")}

    def states(self):
        """The state image of each row of the result pane, as the page draws it."""
        b = self.browser
        return b.driver.execute_script("""
            const out = {};
            for (const r of document.querySelectorAll('#result-body tr.row')) {
              const img = r.querySelector('img.state-icon');
              out[r.querySelector('.label').innerText.trim()] = img ? img.getAttribute('src') : '';
            }
            return out;""")

    def view_states(self):
        """The state image number of each result row, from the page's view."""
        view = self.browser.driver.execute_script("return page.view")
        rows = self.console.state(view)["view"]["rows"]
        return {r["texts"][0]: r["stateImage"] for r in rows}

    def wait_states(self, wanted):
        b = self.browser
        names = set(wanted)
        b.wait(lambda d: set(self.states()) == names, message="rows %s" % sorted(names))
        return self.states()

    def row(self, name):
        b = self.browser
        return b.wait(lambda d: next((r for r in b.css("#result-body tr.row")
                                      if r.find_element("css selector", ".label").text.strip() == name), None),
                      message="row " + name)

    def assign(self, name, job, reach=None, any_job=None, scope=False):
        """Command 201 on a row (or a tree node) and the dialog's answer."""
        b, t = self.browser, self.text
        if scope:
            b.context_node(name)
        else:
            b.retry(lambda: b.context_menu(self.row(name)))
        b.choose(t[26])
        b.window(title="Select Scan Job")
        b.retry(lambda: next(r for r in b.window(title="Select Scan Job").find_elements("css selector", ".ctl-list tr.row")
                             if r.text.strip() == job).click())
        b.wait(lambda d: any(r.text.strip() == job and "selected" in r.get_attribute("class")
                             for r in b.window(title="Select Scan Job").find_elements("css selector", ".ctl-list tr.row")),
               message="job chosen")
        if reach:
            b.retry(lambda: next(l for l in b.window(title="Select Scan Job").find_elements("css selector", "label.ctl-check")
                                 if l.text.strip() == reach).click())
        if any_job is not None:
            def set_box():
                box = next(l for l in b.window(title="Select Scan Job").find_elements("css selector", "label.ctl-check")
                           if l.find_element("css selector", "input").get_attribute("type") == "checkbox")
                if box.find_element("css selector", "input").is_selected() != any_job:
                    box.click()
            b.retry(set_box)
            b.wait(lambda d: b.retry(lambda: any(
                l.find_element("css selector", "input").is_selected() == any_job
                for l in b.window(title="Select Scan Job").find_elements("css selector", "label.ctl-check")
                if l.find_element("css selector", "input").get_attribute("type") == "checkbox")), message="box set")
        text = b.retry(lambda: " ".join(e.text for e in b.window(title="Select Scan Job").find_elements(
            "css selector", ".ctl-static, label.ctl-check")))
        b.click("Select Scan Job", "OK")
        b.wait(lambda d: len(b.css("#windows .window")) == 0, timeout=30, message="dialogs closed")
        return text

    def open_folder(self, parent, name):
        b = self.browser
        b.retry(lambda: b.expand(parent))
        b.wait_node(name)
        b.retry(lambda: b.select_node(name))

    def open_drive(self):
        """Drive T: shown in the result pane, with its three entries."""
        self.browser.retry(lambda: self.browser.expand(self.text[100]))
        self.open_folder(self.text[2], "(T:)")
        self.wait_states(["else", "proj", "top.txt"])

    # --- the tests ------------------------------------------------------------

    def test_a_check_stores_exactly_what_the_tree_gives_job_one(self):
        self.start("file-tree-check")
        b, t = self.browser, self.text
        self.open_drive()
        b.shot("drive-nothing-assigned")

        self.assign("proj", "Default")
        links = self.links()
        self.assertEqual(links["T:\\proj\\"], "1/0")
        self.assertEqual(links["T:\\"], "0/0")  # the engine walks a drive only with a row of its own

        self.open_folder("(T:)", "proj")
        self.wait_states(["(sub)", "a.txt"])
        self.assign("(sub)", t[74])
        self.assertEqual(self.links()["T:\\proj\\sub\\"], "0/0")

        self.open_folder("proj", "(sub)")
        self.wait_states(["deep", "keep.txt", "other.txt"])
        file_dialog = self.assign("keep.txt", "Default")
        self.assertIn("Apply changes to all items bellow from any scan job", file_dialog)
        self.assertEqual(self.links()["T:\\proj\\sub\\keep.txt"], "1/0")

        # Every state the tree knows, as the page shows it. The dialogs are
        # seen gone before the view is published with the rows they changed.
        b.wait(lambda d: self.view_states().get("keep.txt") == JOB, message="keep.txt assigned in the view")
        self.assertEqual(self.view_states(), {"deep": NONE, "keep.txt": JOB, "other.txt": NONE})
        b.shot("sub-folder-states-0-and-1")
        b.retry(lambda: b.select_node("proj"))
        b.wait(lambda d: self.view_states() == {"(sub)": NONE_BELOW, "a.txt": JOB}, message="proj states")
        b.shot("folder-state-3")
        b.retry(lambda: b.select_node("(T:)"))
        b.wait(lambda d: self.view_states() == {"else": NONE, "proj": JOB_BELOW, "top.txt": NONE}, message="drive states")
        shot = b.shot("folder-state-2")
        self.assertTrue(os.path.getsize(shot) > 0)

        # What the tree gives job 1, from the states shown.
        tree_job_one = {"T:\\proj\\", "T:\\proj\\a.txt", "T:\\proj\\sub\\keep.txt"}
        result = subprocess.run([os.environ["KV_RUN_CHECK"], os.path.join(os.environ["KV_BIN_DIR"], "OrvEngine.so")],
                                env=self.env, capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with sqlite3.connect("file:%s?mode=ro" % self.database, uri=True, timeout=10) as db:
            stored = {p for (p,) in db.execute("SELECT PATH FROM OLD_DATA WHERE PROFILE_ID = 1")}
        self.assertEqual({p.upper() for p in stored}, {p.upper() for p in tree_job_one})

    def test_link_rules_through_the_page(self):
        with sqlite3.connect(self.database) as db:
            for path, job in (("T:\\", 1), ("T:\\proj\\", 2), ("T:\\proj\\a.txt", 1), ("T:\\proj\\sub\\", 0),
                              ("T:\\proj\\sub\\keep.txt", 2)):
                db.execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (?, ?, '')", (job, path))
        self.start("file-tree-rules")
        b = self.browser
        self.open_drive()

        # proj back to its drive's job, with everything below of job 1 or none.
        before = len(self.links())
        question = self.assign("proj", "Default", reach="Apply changes to this folder, subfolders and files", any_job=False)
        self.assertIn("Do you want to apply this change to this folder only", question)
        links = self.links()
        self.assertEqual(len(links), before)
        self.assertEqual(links["T:\\proj\\"], "1/1")
        self.assertEqual(links["T:\\proj\\a.txt"], "1/1")
        self.assertEqual(links["T:\\proj\\sub\\"], "1/1")
        self.assertEqual(links["T:\\proj\\sub\\keep.txt"], "2/0")
        b.shot("back-to-parent-job")

        # "This folder only" on a folder never opened: one row per entry, each
        # with the job it had.
        self.assign("else", "Night", reach="Apply changes to this folder only")
        links = self.links()
        self.assertEqual(links["T:\\else\\"], "2/0")
        self.assertEqual(links["T:\\else\\y.txt"], "1/0")

        # A drive always gets a row of its own.
        self.assign("(T:)", "Night", reach="Apply changes to this folder only", scope=True)
        self.assertEqual(self.links()["T:\\"], "2/0")
        b.shot("drive-assigned")


if __name__ == "__main__":
    unittest.main()
