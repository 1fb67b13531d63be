"""An administrator's whole walk through the console in one browser session:
a fresh installation with the agent service, the scheduler service and a
mail server on 127.0.0.1, and a drive T: mapped to a temporary tree. A new
scan job is made, a folder of T: is assigned to it in the monitored-files
tree, its mail and an hourly schedule are set on its pages, "Scan now"
builds the baseline, a file changes, "Scan now" again mails the alert, and
the job's report lists the changed file. Every step is photographed; these
are the pictures the README shows."""

import datetime
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess  # noqa: E402
# Modules, not their classes: a test class imported by name would run its tests here too.
import file_tree_console_test as tree_tests  # noqa: E402
import scan_job_console_test as job_tests  # noqa: E402
import scan_job_pages_test as page_tests  # noqa: E402
from scan_job_console_test import SOURCE, strings  # noqa: E402
from scan_job_pages_test import SETTINGS, wait_until  # noqa: E402

JOB = "Nightly"
SHEET = JOB + " Properties"


class AdminWalkTest(unittest.TestCase):
    # The page drivers of the narrower console tests, borrowed as they are
    # (taking their classes as bases would run their tests here too).
    tool = page_tests.ScanJobPagesTest.tool
    start_mail_server = page_tests.ScanJobPagesTest.start_mail_server
    start_agent = page_tests.ScanJobPagesTest.start_agent
    start_scheduler = page_tests.ScanJobPagesTest.start_scheduler
    checks_done = page_tests.ScanJobPagesTest.checks_done
    wait_check = page_tests.ScanJobPagesTest.wait_check
    tab = page_tests.ScanJobPagesTest.tab
    control = page_tests.ScanJobPagesTest.control
    type = page_tests.ScanJobPagesTest.type
    value = page_tests.ScanJobPagesTest.value
    pick = page_tests.ScanJobPagesTest.pick
    click_control = page_tests.ScanJobPagesTest.click_control
    checked = page_tests.ScanJobPagesTest.checked
    enabled = page_tests.ScanJobPagesTest.enabled
    press = page_tests.ScanJobPagesTest.press
    links = tree_tests.FileTreeConsoleTest.links
    states = tree_tests.FileTreeConsoleTest.states
    wait_states = tree_tests.FileTreeConsoleTest.wait_states
    row = tree_tests.FileTreeConsoleTest.row
    assign = tree_tests.FileTreeConsoleTest.assign
    new_profile = job_tests.ScanJobConsoleTest.new_profile

    def setUp(self):
        self.text = strings()
        self.base = tempfile.mkdtemp(prefix="kvmmc-walk-")
        self.addCleanup(shutil.rmtree, self.base, True)
        self.drive = os.path.join(self.base, "c")
        os.makedirs(self.drive)
        self.root = os.path.join(self.drive, "kestrava")
        self.program = os.path.join(self.root, "Tsl3")
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")],
                       env=dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=self.drive,
                                KESTRAVA_BIN=os.environ["KV_BIN_DIR"]),
                       check=True, stdout=subprocess.DEVNULL, timeout=120)
        self.env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=self.drive,
                        KESTRAVA_MSGBOX_LOG=os.path.join(self.root, "msgbox.log"))
        self.env.pop("KESTRAVA_CLOCK_OFFSET", None)
        self.database = os.path.join(self.program, "Data", "KvData.mdb")
        # FirstStart 0: the tree starts with no links, so every link is one the walk made.
        for name, value in (("WALKDELAY", "0"), ("MATCHDELAY", "0"), ("DEBUGLEVEL", "7"), ("FirstStart", "0")):
            self.tool("kvreg", "add", SETTINGS, "/v", name, "/t", "REG_DWORD", "/d", value, "/f")
        with sqlite3.connect(self.database) as db:
            db.execute("DELETE FROM FILES_PROFILES_LNK")
        self.tree = os.path.join(self.base, "t")
        for path, text in (("Finance/ledger.txt", "opening balance 100\n"), ("Finance/Q1/summary.txt", "quarter one\n"),
                           ("Public/readme.txt", "not watched\n")):
            self.write(path, text)
        os.symlink(self.tree, os.path.join(self.root, "dosdevices", "t:"))

    def write(self, relative, text):
        path = os.path.join(self.tree, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)

    def job(self):
        with sqlite3.connect("file:%s?mode=ro" % self.database, uri=True, timeout=10) as db:
            db.row_factory = sqlite3.Row
            row = db.execute("SELECT * FROM PROFILES WHERE NAME = ?", (JOB,)).fetchone()
            return dict(row) if row else None

    def apply(self):
        self.press("Apply", title=SHEET)

    def open_sheet(self):
        b = self.browser
        b.context_node(JOB)
        b.choose("Properties")
        b.window(title=SHEET)

    def mail_or_log(self, folder, name):
        try:
            wait_until(lambda: os.path.exists(os.path.join(folder, name)), 30, "alert mail")
        except AssertionError:
            with open(os.path.join(self.program, "Logs", "KvAgentDbg.txt"), errors="replace") as f:
                raise AssertionError("no alert mail; the agent's log ends:\n" + f.read()[-4000:])

    def test_an_administrator_sets_up_a_job_and_receives_its_alert(self):
        mail = self.start_mail_server()
        self.start_agent()
        # An hourly schedule starting tomorrow: the scheduler runs throughout
        # without starting a check of its own while the walk goes on.
        self.start_scheduler(0)
        self.addCleanup(lambda: self.tool("kvsc", "stop", "Schedule", "--wait", check=False))
        self.console = ConsoleProcess(root=self.root, document=os.path.join(self.program, "Tsl3.msc"),
                                      environment={"KESTRAVA_DRIVE_C": self.drive}).start()
        self.addCleanup(self.console.stop)
        self.browser = Browser.start_or_skip(self.console, "admin-walk")
        self.addCleanup(self.browser.quit)
        b, t = self.browser, self.text
        b.open()
        b.wait(lambda d: t[3] in b.tree_names(), message="scan jobs node")
        b.shot("console-opened")

        # A new scan job.
        self.new_profile(JOB)
        b.shot("new-scan-job")
        b.click("New Profile", "OK")
        b.wait_node(JOB)
        for title in [w.get_attribute("data-title") for w in b.css("#windows .window[data-kind=propertysheet]")]:
            b.click(title, "Cancel")
        b.no_windows()
        job = self.job()
        self.assertIsNotNone(job)
        self.assertEqual(job["ENABLED"], 0)
        b.shot("scan-job-created")

        # The folder Finance of T: goes to the new job; Public stays unwatched.
        b.retry(lambda: b.expand(t[100]))
        b.retry(lambda: b.expand(t[2]))
        b.wait_node("(T:)")
        b.retry(lambda: b.select_node("(T:)"))
        self.wait_states(["Finance", "Public"])
        self.assign("Finance", JOB)
        links = self.links()
        self.assertEqual(links["T:\\Finance\\"], "%d/0" % job["PROFILE_ID"])
        self.assertEqual(links["T:\\"], "0/0")
        self.assertNotIn("T:\\Public\\", links)
        b.shot("folder-assigned")

        # Mail and an hourly schedule on the job's pages.
        b.retry(lambda: b.expand(t[3]))
        b.wait_node(JOB)
        self.open_sheet()
        b.wait(lambda d: self.value(1301) is not None, message="E-mail page")
        self.type(1301, "tessellon@localhost")
        self.type(1302, "admin@example.org")
        b.shot("email-page")
        self.apply()
        b.wait(lambda d: self.job()["MAILTO"] == "admin@example.org", message="mail stored")

        start = datetime.datetime.now().replace(hour=3, minute=0, second=0, microsecond=0) + datetime.timedelta(days=1)
        self.tab("Schedule")
        b.wait(lambda d: self.checked(1311), message="not scheduled")
        self.click_control(1312)
        b.wait(lambda d: self.enabled(1313), message="choices enabled")
        self.click_control(1313)
        b.wait(lambda d: self.enabled(1317), message="hours enabled")
        self.type(1317, "1")
        self.pick(1320, start.strftime("%Y-%m-%d"))
        self.pick(1321, start.strftime("%H:%M:00"))
        b.wait(lambda d: self.value(1321) == start.strftime("%H:%M:00"), message="time picked")
        b.shot("hourly-schedule")
        self.apply()
        work_item = os.path.join(self.root, "tasks", "Tsl3 Scan %d.job" % job["PROFILE_ID"])
        wait_until(lambda: os.path.exists(work_item), 20, "work item")
        b.wait(lambda d: self.job()["ENABLED"] == 1, message="enabled")
        listed = self.tool("kvschtasks", check=False).stdout
        self.assertIn("every 60 minute(s)", listed)

        # "Scan now": the baseline, and no mail for it.
        b.click(SHEET, t[68])
        out = self.wait_check(1)
        self.assertIn("job %d:" % job["PROFILE_ID"], out)
        self.assertEqual(os.listdir(mail), [])
        b.shot("baseline-scanned")

        # A change inside the watched folder and one outside it.
        self.write("Finance/ledger.txt", "opening balance 100000\n")
        self.write("Public/readme.txt", "changed but not watched\n")
        b.click(SHEET, t[68])
        self.wait_check(2)
        self.mail_or_log(mail, "1.eml")
        with open(os.path.join(mail, "1.env")) as f:
            envelope = f.read()
        self.assertIn("from tessellon@localhost", envelope)
        self.assertIn("to admin@example.org", envelope)
        with open(os.path.join(mail, "1.decoded"), encoding="utf-8", errors="replace") as f:
            body = f.read()
        self.assertIn("T:\\Finance\\ledger.txt", body)
        self.assertNotIn("readme.txt", body)
        self.assertEqual(sorted(n for n in os.listdir(mail) if n.endswith(".eml")), ["1.eml"])
        b.shot("alert-sent")

        # The report of every file the job checks, from "Files monitored".
        self.tab("Files monitored")
        b.shot("files-monitored")
        b.click(SHEET, "Show all files...")
        opener = b.wait(lambda d: next((n for n in b.css(".notice") if "browser window" in n.text), None),
                        message="the browser window's notice")
        console_tab = b.driver.current_window_handle
        opener.find_element("css selector", "button").click()
        b.wait(lambda d: len(d.window_handles) == 2, message="a new tab")
        b.driver.switch_to.window([h for h in b.driver.window_handles if h != console_tab][0])
        b.wait(lambda d: "/browser/" in d.current_url and d.title == "All files scanned by the %s %s" % (JOB, t[5]),
               message="the report's tab")
        report = b.driver.find_element("css selector", "body").text
        # The changed file, at the size it has now rather than the baseline's.
        ledger = [line for line in report.splitlines() if "ledger.txt" in line]
        self.assertEqual(len(ledger), 1, report)
        self.assertIn("%d Bytes" % len("opening balance 100000\n"), ledger[0])
        self.assertIn("summary.txt", report)
        self.assertNotIn("readme.txt", report)
        b.shot("report")
        b.driver.close()
        b.driver.switch_to.window(console_tab)
        b.click(SHEET, "Cancel")
        b.no_windows()
        b.retry(lambda: next(e for e in b.css(".notice button") if e.text == "Dismiss").click())
        b.wait(lambda d: not any("browser window" in n.text for n in b.css(".notice")), message="notice dismissed")
        b.select_node(t[3])
        b.wait(lambda d: any(r[0] == JOB and r[1] == "admin@example.org" for r in b.rows()), message="job list")
        b.shot("scan-jobs")


if __name__ == "__main__":
    unittest.main()
