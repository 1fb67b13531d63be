"""The scan job's pages in a real browser against kvmmc with the installed
OrvConsole.so, on a fresh installation with the agent service, the scheduler
service and a mail server on 127.0.0.1.

test_schedule_runs_the_check_and_mails_the_alert: the E-mail and Schedule
pages set "Every 1 hours" from the next minute; the work item appears, the
job is enabled; kvschedule (its clock moved by KESTRAVA_CLOCK_OFFSET, never a
wait of an hour) starts KvLaunch with the job's identifier and the agent
runs the check; a change and the next hour's run deliver the alert mail.
"Scan now" (the page's button and the node's command) runs a check at once;
"Task not scheduled yet" removes the work item and disables the job.

test_email_and_files_pages: the address check with string 75, a quote stored
as typed, and the "Files monitored" list of at most 40 sorted entries.
Screenshots of each step are saved."""

import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess  # noqa: E402
from scan_job_console_test import SOURCE, strings  # noqa: E402

AGENT = "Kestrava Selvane Tessellon 3 agent service"
SETTINGS = r"HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config"
SHEET = "Default Properties"


def wait_until(condition, timeout=60, message="condition"):
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.time() > deadline:
            raise AssertionError("timed out waiting for " + message)
        time.sleep(0.05)


class ScanJobPagesTest(unittest.TestCase):
    def setUp(self):
        self.text = strings()
        self.base = tempfile.mkdtemp(prefix="kvmmc-pages-")
        self.addCleanup(shutil.rmtree, self.base, True)
        self.drive = os.path.join(self.base, "c")
        os.makedirs(os.path.join(self.drive, "Sample", "Reports"))
        self.write("Sample/notes.txt", "old notes\n")
        self.write("Sample/Reports/q1.txt", "quarterly figures\n")
        self.root = os.path.join(self.drive, "kestrava")
        self.program = os.path.join(self.root, "Tsl3")
        env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=self.drive,
                   KESTRAVA_BIN=os.environ["KV_BIN_DIR"])
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")], env=env, check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        self.env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=self.drive,
                        KESTRAVA_MSGBOX_LOG=os.path.join(self.root, "msgbox.log"))
        self.env.pop("KESTRAVA_CLOCK_OFFSET", None)
        self.database = os.path.join(self.program, "Data", "KvData.mdb")
        with sqlite3.connect(self.database) as db:
            db.execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (0, 'C:\\', '', 0)")
            db.execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES (1, 'C:\\Sample\\', '', 0)")
        # FirstStart 0: the console keeps the links above instead of writing its defaults.
        for name, value in (("WALKDELAY", "0"), ("MATCHDELAY", "0"), ("DEBUGLEVEL", "7"), ("FirstStart", "0")):
            self.tool("kvreg", "add", SETTINGS, "/v", name, "/t", "REG_DWORD", "/d", value, "/f")

    # --- machine ----------------------------------------------------------------

    def write(self, relative, text):
        with open(os.path.join(self.drive, relative), "w") as f:
            f.write(text)

    def tool(self, name, *args, env=None, check=True):
        path = os.path.join(self.program, name)
        if not os.path.exists(path):
            path = os.path.join(os.environ["KV_BIN_DIR"], name)
        result = subprocess.run([path] + list(args), env=env or self.env,
                                capture_output=True, text=True, timeout=180)
        if check:
            self.assertEqual(result.returncode, 0, "%s %s: %s%s" % (name, args, result.stdout, result.stderr))
        return result

    def start_mail_server(self):
        folder = os.path.join(self.base, "mail")
        os.makedirs(folder)
        server = subprocess.Popen(["/usr/bin/python3", "-B", os.path.join(SOURCE, "tests", "fixtures", "smtp_server.py"),
                                   "--folder", folder], stdout=subprocess.PIPE, text=True)
        self.addCleanup(lambda: (server.send_signal(signal.SIGTERM), server.wait(timeout=15)))
        said = server.stdout.readline().strip()
        self.assertTrue(said.startswith("PORT "), said)
        self.tool("kvreg", "add", SETTINGS, "/v", "SMTPPORT", "/t", "REG_DWORD", "/d", said[5:], "/f")
        self.tool("kvreg", "add", SETTINGS, "/v", "SERVERIP", "/t", "REG_SZ", "/d", "127.0.0.1", "/f")
        return folder

    def start_agent(self):
        self.tool("KvAgent", "/service", "/nm")
        self.tool("kvsc", "start", AGENT)
        self.addCleanup(lambda: self.tool("kvsc", "stop", AGENT, "--wait", check=False))

    def start_scheduler(self, offset):
        """(Re)starts the scheduler service with its clock moved by offset seconds."""
        self.tool("kvsc", "stop", "Schedule", "--wait", check=False)
        env = dict(self.env, KESTRAVA_CLOCK_OFFSET=str(int(offset)))
        self.tool("kvsc", "start", "Schedule", env=env)

    def checks_done(self):
        try:
            with open(os.path.join(self.program, "Logs", "KvAgentDbg.txt"), encoding="utf-8", errors="replace") as f:
                return f.read().count("<< CheckFiles - STOP")
        except OSError:
            return 0

    def wait_check(self, count):
        wait_until(lambda: self.checks_done() >= count, 120, "check %d" % count)
        waited = self.tool("kvwait", "--timeout", "120", check=False)
        self.assertEqual(waited.returncode, 0, waited.stdout + waited.stderr)
        self.assertEqual(self.checks_done(), count)
        return waited.stdout

    def job(self):
        with sqlite3.connect("file:%s?mode=ro" % self.database, uri=True, timeout=10) as db:
            db.row_factory = sqlite3.Row
            return dict(db.execute("SELECT * FROM PROFILES WHERE PROFILE_ID = 1").fetchone())

    def work_item(self):
        return os.path.join(self.root, "tasks", "Tsl3 Scan 1.job")

    def work_item_runs(self):
        listed = self.tool("kvschtasks", check=False).stdout
        return listed

    # --- console -----------------------------------------------------------------

    def start_console(self, name):
        self.console = ConsoleProcess(root=self.root, document=os.path.join(self.program, "Tsl3.msc"),
                                      environment={"KESTRAVA_DRIVE_C": self.drive}).start()
        self.addCleanup(self.console.stop)
        self.browser = Browser.start_or_skip(self.console, name)
        self.addCleanup(self.browser.quit)
        b, t = self.browser, self.text
        b.open()
        b.wait(lambda d: t[3] in b.tree_names(), message="scan jobs node")
        b.expand(t[3])
        b.wait_node("Default")

    def open_properties(self):
        b = self.browser
        b.context_node("Default")
        b.choose("Properties")
        return b.window(title=SHEET)

    def tab(self, text):
        b = self.browser
        b.wait(lambda d: d.execute_script(
            "for (const t of document.querySelectorAll('#windows .window[data-kind=propertysheet] .tabs .tab'))"
            "  if (t.textContent === arguments[0]) { t.click(); return true; }"
            "return false;", text), message="tab " + text)
        b.wait(lambda d: any(e.text == text and "active" in e.get_attribute("class")
                             for e in b.css("#windows .window[data-kind=propertysheet] .tabs .tab")), message="tab " + text)

    def control(self, control_id):
        return '#windows .window[data-kind=propertysheet] [data-ctl-id="%d"]' % control_id

    def type(self, control_id, text):
        b = self.browser
        b.retry(lambda: b.driver.execute_script(
            "const f = document.querySelector(arguments[0]); f.focus(); f.value = arguments[1];"
            "f.dispatchEvent(new Event('input')); f._flush();", self.control(control_id), text))
        b.wait(lambda d: d.execute_script("const f = document.querySelector(arguments[0]); return f && f.value === arguments[1];",
                                          self.control(control_id), text), message="text of %d" % control_id)

    def value(self, control_id):
        return self.browser.driver.execute_script("const f = document.querySelector(arguments[0]); return f ? f.value : null;",
                                                  self.control(control_id))

    def pick(self, control_id, value):
        b = self.browser
        b.retry(lambda: b.driver.execute_script(
            "const f = document.querySelector(arguments[0]); f.value = arguments[1]; f.dispatchEvent(new Event('change'));",
            self.control(control_id), value))

    def click_control(self, control_id):
        b = self.browser
        b.retry(lambda: b.driver.execute_script(
            "const f = document.querySelector(arguments[0]); (f.querySelector('input') || f).click();", self.control(control_id)))

    def checked(self, control_id):
        return self.browser.driver.execute_script(
            "const f = document.querySelector(arguments[0] + ' input'); return !!(f && f.checked);", self.control(control_id))

    def enabled(self, control_id):
        return self.browser.driver.execute_script(
            "const f = document.querySelector(arguments[0]); const i = f && (f.querySelector('input') || f);"
            "return !!(i && !i.disabled);", self.control(control_id))

    def press(self, text, title=SHEET):
        """Clicks a window's enabled button in one step of the page (it redraws often)."""
        self.browser.wait(lambda d: d.execute_script(
            "for (const w of document.querySelectorAll('#windows .window')) {"
            "  if (w.dataset.title !== arguments[0]) continue;"
            "  for (const b of w.querySelectorAll('button.ctl-button'))"
            "    if (b.textContent.replace('&', '') === arguments[1] && !b.disabled) { b.click(); return true; }"
            "} return false;", title, text), message="button %s in %s" % (text, title))

    def apply(self):
        self.press("Apply")

    def node_icon(self, name):
        return self.browser.retry(lambda: self.browser.node(name).find_element("css selector", "img").get_attribute("src"))

    # --- tests -------------------------------------------------------------------

    def test_schedule_runs_the_check_and_mails_the_alert(self):
        mail = self.start_mail_server()
        self.start_agent()
        self.start_console("scan-job-schedule")
        b, t = self.browser, self.text
        self.assertIn("x-office-calendar-symbolic", self.node_icon("Default"))

        self.open_properties()
        b.wait(lambda d: self.value(1301) is not None, message="E-mail page")
        self.type(1301, "tessellon@localhost")
        self.type(1302, "admin@example.org; audit@example.org")
        b.shot("email-page")
        self.apply()
        b.wait(lambda d: self.job()["MAILTO"] == "admin@example.org; audit@example.org", message="mail stored")
        self.assertEqual(self.job()["MAILFROM"], "tessellon@localhost")

        # The next full minute at least a minute ahead: time enough for the clicks.
        start = (int(time.time()) // 60 + 2) * 60
        local = time.localtime(start)
        self.tab("Schedule")
        b.wait(lambda d: self.checked(1311), message="not scheduled")
        self.assertFalse(self.enabled(1313))
        b.shot("schedule-not-scheduled")
        self.click_control(1312)
        b.wait(lambda d: self.enabled(1313), message="choices enabled")
        self.assertFalse(self.enabled(1317))
        self.click_control(1313)
        b.wait(lambda d: self.enabled(1317), message="hours enabled")
        self.type(1317, "1")
        self.pick(1320, time.strftime("%Y-%m-%d", local))
        self.pick(1321, time.strftime("%H:%M:00", local))
        b.wait(lambda d: self.value(1321) == time.strftime("%H:%M:00", local), message="time picked")
        b.shot("schedule-every-hour")
        self.apply()
        wait_until(lambda: os.path.exists(self.work_item()), 20, "work item")
        b.wait(lambda d: self.job()["ENABLED"] == 1, message="enabled")
        b.wait(lambda d: "x-office-calendar-symbolic" not in self.node_icon("Default"), message="enabled image")
        listed = self.work_item_runs()
        self.assertIn("Tsl3 Scan 1", listed)
        self.assertIn("every 60 minute(s) for a duration of 1440 minute(s)", listed)
        b.click(SHEET, "OK")
        b.no_windows()
        b.select_node(t[3])
        b.wait(lambda d: b.rows() == [["Default", "admin@example.org; audit@example.org", t[10]]], message="list")
        b.shot("job-enabled")

        # The scheduler, three seconds before the start: it starts KvLaunch 1.
        self.start_scheduler(start - time.time() - 3)
        out = self.wait_check(1)
        self.assertIn("job 1:", out)
        wait_until(lambda: "Last result: 0 (0x0)" in self.work_item_runs(), 30, "run recorded")
        self.assertEqual(os.listdir(mail), [])  # the first check builds the baseline

        # A change, and the scheduler an hour later: the alert goes out.
        self.write("Sample/notes.txt", "new notes\n")
        self.write("Sample/Reports/q2.txt", "a new file\n")
        self.start_scheduler(start + 3600 - time.time() - 3)
        self.wait_check(2)
        try:
            wait_until(lambda: os.path.exists(os.path.join(mail, "1.eml")), 30, "alert mail")
        except AssertionError:
            with open(os.path.join(self.program, "Logs", "KvAgentDbg.txt"), errors="replace") as f:
                raise AssertionError("no alert mail; the agent's log ends:\n" + f.read()[-4000:])
        with open(os.path.join(mail, "1.env")) as f:
            envelope = f.read()
        self.assertIn("from tessellon@localhost", envelope)
        self.assertIn("to admin@example.org", envelope)
        self.assertIn("to audit@example.org", envelope)
        with open(os.path.join(mail, "1.decoded"), encoding="utf-8", errors="replace") as f:
            body = f.read()
        self.assertIn("C:\\Sample\\notes.txt", body)
        self.assertIn("C:\\Sample\\Reports\\q2.txt", body)
        self.tool("kvsc", "stop", "Schedule", "--wait", check=False)

        # "Scan now" from the page, then from the node's menu.
        self.open_properties()
        self.tab("Schedule")
        b.wait(lambda d: self.checked(1312) and self.checked(1313) and self.value(1317) == "1", message="read back")
        self.assertEqual(self.value(1321), time.strftime("%H:%M:00", local))
        b.shot("schedule-read-back")
        b.click(SHEET, t[68])
        self.wait_check(3)
        b.click(SHEET, "Cancel")
        b.no_windows()
        b.context_node("Default")
        b.shot("scan-now-command")
        b.choose(t[68])
        self.wait_check(4)

        # No schedule: the work item goes and the job is disabled.
        self.open_properties()
        self.tab("Schedule")
        b.wait(lambda d: self.checked(1312), message="scheduled")
        self.click_control(1311)
        b.wait(lambda d: not self.enabled(1313), message="choices disabled")
        self.apply()
        wait_until(lambda: not os.path.exists(self.work_item()), 20, "work item removed")
        b.wait(lambda d: self.job()["ENABLED"] == 0, message="disabled")
        b.wait(lambda d: "x-office-calendar-symbolic" in self.node_icon("Default"), message="disabled image")
        b.click(SHEET, "OK")
        b.no_windows()
        b.select_node(t[3])
        b.wait(lambda d: b.rows() == [["Default", "admin@example.org; audit@example.org", t[11]]], message="list")
        b.shot("job-disabled")

    def test_email_and_files_pages(self):
        for i in range(45):
            self.write("Sample/f%02d.txt" % i, "x")
        self.start_console("scan-job-pages")
        b, t = self.browser, self.text
        self.open_properties()
        b.wait(lambda d: self.value(1301) is not None, message="E-mail page")
        self.type(1301, "tessellon@localhost")
        self.assertEqual(self.value(1302), "")
        self.apply()
        box = b.window(title=t[59])
        self.assertIn(t[75].split(":")[0], b.window_text(box))
        b.shot("empty-to-refused")
        b.click(t[59], "OK")
        self.type(1301, "a@example.org, b@example.org")
        self.type(1302, ";")
        self.apply()
        b.window(title=t[59])
        b.click(t[59], "OK")
        self.type(1301, "tessellon@localhost")
        self.type(1303, "Bob's alert")
        self.apply()
        b.wait(lambda d: self.job()["SUBJECT"] == "Bob's alert", message="subject stored")
        self.assertEqual(self.job()["MAILTO"], ";")

        self.tab("Files monitored")
        rows = b.wait(lambda d: d.execute_script(
            "return [...document.querySelectorAll(arguments[0] + ' tr.row')].map(r => r.innerText.trim())",
            self.control(1331)) or None, message="monitored list")
        self.assertEqual(len(rows), 40)
        self.assertEqual(rows, sorted(rows, key=str.lower))
        self.assertTrue(all(r.startswith("C:\\Sample\\") for r in rows), rows)
        self.assertTrue(self.enabled(1332))
        b.shot("files-monitored")
        b.click(SHEET, "Cancel")
        b.no_windows()


if __name__ == "__main__":
    unittest.main()
