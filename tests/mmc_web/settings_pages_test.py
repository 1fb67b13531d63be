"""The General node's property pages in a real browser: the SMTP server and
port, and the excluded extensions with the Add extension dialog, the keys,
export and import through the file dialogs, Cancel and the commit. The
settings key and ExtExcluded.dat are read after each step; screenshots of
each step are saved."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess, tool  # noqa: E402
from scan_job_console_test import SOURCE, strings  # noqa: E402

SETTINGS = r"HKLM\SOFTWARE\Kestrava Corvid\Tsl3\Config"

# Control ids of the pages and the file dialogs.
SERVER, PORT, DEFAULT_PORT = 1210, 1211, 1212
EXTENSIONS, EXTENSION = 1220, 1230
FILE_NAME, FILE_LIST, LOOK_IN = 1152, 1120, 1091


class SettingsPagesTest(unittest.TestCase):
    def setUp(self):
        self.text = strings()
        self.base = tempfile.mkdtemp(prefix="kvmmc-settings-")
        self.addCleanup(shutil.rmtree, self.base, True)
        self.drive = os.path.join(self.base, "c")
        os.makedirs(os.path.join(self.drive, "lists"))
        os.makedirs(os.path.join(self.drive, "shown"))
        for name in ("a.log", "b.doc", "c.txt"):
            with open(os.path.join(self.drive, "shown", name), "w") as f:
                f.write("x")
        self.root = os.path.join(self.drive, "kestrava")
        self.env = dict(os.environ, KESTRAVA_ROOT=self.root, KESTRAVA_DRIVE_C=self.drive,
                        KESTRAVA_BIN=os.environ["KV_BIN_DIR"])
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        self.ext_file = os.path.join(self.root, "Tsl3", "Data", "ExtExcluded.dat")
        with open(self.ext_file, "wb") as f:
            f.write(b"tmp\r\nlog\r\n")
        self.set_value("SERVERIP", "REG_SZ", "mail.example.org")
        self.set_value("SMTPPORT", "REG_DWORD", "25")
        # Past the first start, whose defaults would rewrite the list file.
        self.set_value("FirstStart", "REG_DWORD", "0")
        self.temp = os.path.join(self.base, "temp")
        os.makedirs(self.temp)
        self.console = ConsoleProcess(root=self.root, document=os.path.join(self.root, "Tsl3", "Tsl3.msc"),
                                      environment={"KESTRAVA_DRIVE_C": self.drive, "TMP": self.temp}).start()
        self.addCleanup(self.console.stop)
        self.browser = Browser.start_or_skip(self.console, "settings-pages")
        self.addCleanup(self.browser.quit)

    def set_value(self, name, kind, data):
        subprocess.run([tool("kvreg"), "add", SETTINGS, "/v", name, "/t", kind, "/d", data, "/f"], env=self.env,
                       check=True, stdout=subprocess.DEVNULL, timeout=30)

    def value(self, name):
        out = subprocess.run([tool("kvreg"), "query", SETTINGS, "/v", name], env=self.env, capture_output=True,
                             text=True, timeout=30).stdout
        match = re.search(r"^\s+%s\s+REG_\w+\s+(.*)$" % name, out, re.M)
        return match.group(1).strip() if match else None

    def extension_file(self):
        with open(self.ext_file, "rb") as f:
            return f.read()

    # --- the page -----------------------------------------------------------

    def control(self, window_title, ctl_id):
        b = self.browser
        return b.wait(lambda d: next((e for w in b.css("#windows .window") if w.get_attribute("data-title") == window_title
                                      for e in w.find_elements("css selector", '[data-ctl-id="%d"]' % ctl_id)
                                      if e.is_displayed()), None), message="control %d of %s" % (ctl_id, window_title))

    def type_into(self, window_title, ctl_id, text):
        from selenium.webdriver.common.keys import Keys

        def typed():
            field = self.control(window_title, ctl_id)
            field.send_keys(Keys.CONTROL, "a")
            field.send_keys(Keys.BACKSPACE)
            if text:
                field.send_keys(text)
        self.again(typed)
        self.browser.wait(lambda d: self.control(window_title, ctl_id).get_attribute("value") == text, message="typed")
        time.sleep(0.2)  # the page hands typed text over after a short pause

    @staticmethod
    def again(action):
        """Runs a page action until the page, redrawn meanwhile, lets it through."""
        from selenium.common.exceptions import ElementNotInteractableException, StaleElementReferenceException
        for _ in range(40):
            try:
                return action()
            except (ElementNotInteractableException, StaleElementReferenceException):
                time.sleep(0.1)
        return action()

    def list_texts(self, window_title, ctl_id):
        return [c.text.strip() for c in self.control(window_title, ctl_id).find_elements("css selector", "tr.row td.first")]

    def list_row(self, window_title, ctl_id, text):
        return self.browser.wait(lambda d: next((r for r in self.control(window_title, ctl_id).find_elements("css selector", "tr.row")
                                                 if r.find_element("css selector", "td.first").text.strip() == text), None),
                                 message="row " + text)

    def double_click(self, window_title, ctl_id, text):
        from selenium.webdriver import ActionChains
        self.again(lambda: ActionChains(self.browser.driver).double_click(self.list_row(window_title, ctl_id, text)).perform())

    def row_names(self):
        return sorted(r[0] for r in self.browser.retry(self.browser.rows) if r)

    def open_sheet(self):
        b, t = self.browser, self.text
        b.context_node(t[12])
        b.choose("Properties")
        sheet = b.window(kind="propertysheet")
        return sheet.get_attribute("data-title")

    def select_tab(self, sheet, label):
        b = self.browser
        b.retry(lambda: next(e for e in b.window(title=sheet).find_elements("css selector", ".tab") if e.text == label).click())
        b.wait(lambda d: any(e.text == label and "active" in e.get_attribute("class")
                             for e in b.window(title=sheet).find_elements("css selector", ".tab")), message="tab " + label)

    def test_settings_pages(self):
        b, t = self.browser, self.text
        b.open()
        b.wait(lambda d: t[12] in b.tree_names(), message="General node")
        sheet = self.open_sheet()
        self.assertEqual([e.text for e in b.window(title=sheet).find_elements("css selector", ".tab")],
                         ["General", "Excluded extensions"])
        self.assertEqual(self.control(sheet, SERVER).get_attribute("value"), "mail.example.org")
        self.assertEqual(self.control(sheet, PORT).get_attribute("value"), "25")
        self.assertEqual(self.control(sheet, DEFAULT_PORT).text, "(Default: 25)")
        b.shot("general-page")

        # An empty server name is refused and nothing is written.
        self.type_into(sheet, SERVER, "")
        b.click(sheet, "Apply")
        refusal = b.window(title=t[59])
        self.assertIn(t[78], b.window_text(refusal))
        b.shot("empty-server-refused")
        b.click(t[59], "OK")
        self.assertEqual(self.value("SERVERIP"), "mail.example.org")

        # Only the port changed: SMTPPORT is written, SERVERIP is not.
        self.type_into(sheet, SERVER, "mail.example.org")
        self.set_value("SERVERIP", "REG_SZ", "changed.elsewhere")
        self.type_into(sheet, PORT, "2525")
        b.click(sheet, "Apply")
        b.wait(lambda d: self.value("SMTPPORT") in ("2525", "0x9dd", "0x000009dd"), message="SMTPPORT written")
        self.assertEqual(self.value("SERVERIP"), "changed.elsewhere")

        # Excluded extensions: the file's list, upper case and sorted, with icons.
        self.select_tab(sheet, "Excluded extensions")
        b.wait(lambda d: self.list_texts(sheet, EXTENSIONS) == ["LOG", "TMP"], message="extensions")
        self.assertTrue(self.control(sheet, EXTENSIONS).find_elements("css selector", "img.cell-icon"))
        b.shot("excluded-extensions")

        # Insert opens "Add extension"; doc is added once, DOC again changes nothing.
        from selenium.webdriver.common.keys import Keys
        for typed in ("doc", "DOC"):
            self.again(lambda: self.control(sheet, EXTENSIONS).send_keys(Keys.INSERT))
            b.window(title=t[18])
            self.type_into(t[18], EXTENSION, typed)
            if typed == "doc":
                b.shot("add-extension")
            b.click(t[18], "OK")
            b.wait(lambda d: self.list_texts(sheet, EXTENSIONS) == ["DOC", "LOG", "TMP"], message="DOC once")

        # Delete removes the selected entry.
        self.again(lambda: self.list_row(sheet, EXTENSIONS, "LOG").click())
        self.again(lambda: self.control(sheet, EXTENSIONS).send_keys(Keys.DELETE))
        b.wait(lambda d: self.list_texts(sheet, EXTENSIONS) == ["DOC", "TMP"], message="LOG removed")

        # Export through the save dialog: browse to C:\lists and name the file.
        b.click(sheet, "Export...")
        save = t[60]
        b.window(title=save)
        self.type_into(save, FILE_NAME, "C:\\")
        b.click(save, "Save")
        b.wait(lambda d: self.control(save, LOOK_IN).get_attribute("value") == "C:\\", message="C:\\")
        self.double_click(save, FILE_LIST, "lists")
        b.wait(lambda d: self.control(save, LOOK_IN).get_attribute("value") == "C:\\lists", message="lists")
        self.type_into(save, FILE_NAME, "mine")
        b.shot("export-dialog")
        b.click(save, "Save")
        exported = os.path.join(self.drive, "lists", "mine.txt")
        # The file is made empty and then written: it may exist without its
        # list. The page shows the dialog gone only once the console is done
        # with the click, the writing included.
        b.wait(lambda d: all(w.get_attribute("data-title") != save for w in b.css("#windows .window")),
               message="save dialog closed")
        b.wait(lambda d: os.path.exists(exported), message="exported")
        with open(exported, "rb") as f:
            self.assertEqual(f.read(), b"DOC\r\nTMP\r\n")

        # Cancel leaves ExtExcluded.dat as it was, and no working file.
        b.click(sheet, "Cancel")
        b.no_windows()
        self.assertEqual(self.extension_file(), b"tmp\r\nlog\r\n")
        self.assertEqual(os.listdir(self.temp), [])

        # Import through the open dialog, then apply: the list reaches the file.
        sheet = self.open_sheet()
        self.select_tab(sheet, "Excluded extensions")
        b.wait(lambda d: self.list_texts(sheet, EXTENSIONS) == ["LOG", "TMP"], message="extensions again")
        self.again(lambda: self.list_row(sheet, EXTENSIONS, "LOG").click())
        b.click(sheet, "Remove")
        b.click(sheet, "Import...")
        b.window(title="Open")
        self.type_into("Open", FILE_NAME, "C:\\LISTS\\")
        b.click("Open", "Open")
        b.wait(lambda d: "mine.txt" in self.list_texts("Open", FILE_LIST), message="mine.txt listed")
        b.shot("import-dialog")
        self.double_click("Open", FILE_LIST, "mine.txt")
        b.wait(lambda d: self.list_texts(sheet, EXTENSIONS) == ["DOC", "TMP"], message="imported")
        b.shot("imported")
        # While the sheet is open the view shows a folder by the list in
        # force (LOG, TMP); the commit must change what it shows.
        b.retry(lambda: b.expand(t[100]))
        b.retry(lambda: b.expand(t[2]))
        b.wait_node("(C:)")
        b.retry(lambda: b.expand("(C:)"))
        b.wait_node("shown")
        b.retry(lambda: b.select_node("shown"))
        b.wait(lambda d: self.row_names() == ["b.doc", "c.txt"], message="shown by the old list")
        b.click(sheet, "OK")
        b.no_windows()
        self.assertEqual(self.extension_file(), b"DOC\r\nTMP\r\n")
        self.assertEqual(os.listdir(self.temp), [])
        # The open view follows the new list at once.
        b.wait(lambda d: self.row_names() == ["a.log", "c.txt"], message="shown by the new list")
        data = os.listdir(os.path.dirname(self.ext_file))
        self.assertFalse([n for n in data if n.startswith(".")], data)
        b.shot("applied")


if __name__ == "__main__":
    unittest.main()
