"""A console on a fresh machine root, and a browser driving its page.

ConsoleProcess makes a temporary KESTRAVA_ROOT, registers a snap-in there
with kvregsvr32, writes the console document and starts kvmmc on a free
port; it reads the one address kvmmc prints. Browser starts Debian's
chromium through chromium-driver; where chromium cannot start, the test is
skipped (exit code 77) with the reason.
"""

import http.client
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

SKIP = 77
BIN = os.environ.get("KV_BIN_DIR", "")
SCREENSHOTS = os.environ.get("KV_SCREENSHOT_DIR", os.path.join(tempfile.gettempdir(), "kvmmc-screenshots"))


def tool(name):
    return os.path.join(BIN, name)


class ConsoleProcess:
    """kvmmc on its own root. Use as a context manager."""

    def __init__(self, snapin=None, clsid=None, environment=None, root=None, document=None):
        self.snapin = snapin
        self.clsid = clsid
        self.extra_environment = environment or {}
        self.own_root = root is None
        self.root = root or tempfile.mkdtemp(prefix="kvmmc-root-")
        self.document = document
        self.process = None
        self.address = None
        self.stderr_path = os.path.join(self.root, "kvmmc-stderr.txt")

    @property
    def environment(self):
        env = dict(os.environ)
        env["KESTRAVA_ROOT"] = self.root
        env["KESTRAVA_MSGBOX_LOG"] = os.path.join(self.root, "msgbox.log")
        # The shell's icons come from GLib's MIME database, whose caches live
        # as long as the process: a sanitizer build must not call them leaks.
        suppressions = os.path.join(self.root, "lsan.supp")
        if not os.path.exists(suppressions):
            with open(suppressions, "w") as f:
                f.write("leak:libgio-2.0.so\nleak:libglib-2.0.so\n")
        env["LSAN_OPTIONS"] = (env.get("LSAN_OPTIONS", "") + ":suppressions=" + suppressions).lstrip(":")
        env.update(self.extra_environment)
        return env

    def register(self):
        if self.snapin:
            subprocess.run([tool("kvregsvr32"), "/s", self.snapin], env=self.environment, check=True, timeout=60)
        if self.document is None:
            self.document = os.path.join(self.root, "test.msc")
            with open(self.document, "w", encoding="utf-8") as f:
                f.write("# console document of the test\nSnapIn=%s\n" % self.clsid)

    def start(self, port=0):
        self.register()
        with open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen([tool("kvmmc"), self.document, "--port", str(port)], env=self.environment,
                                            stdout=subprocess.PIPE, stderr=stderr)
        line = self.process.stdout.readline().decode("utf-8", "replace").strip()
        if not line.startswith("http://127.0.0.1:"):
            self.stop()
            raise RuntimeError("kvmmc printed no address: %r; stderr: %s" % (line, self.stderr()))
        self.address = line
        parsed = urllib.parse.urlparse(line)
        self.port = parsed.port
        self.token = urllib.parse.parse_qs(parsed.query)["token"][0]
        return self

    def stderr(self):
        try:
            with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=15)
        if self.process and self.process.stdout:
            self.process.stdout.close()
        # A sanitizer build reports into kvmmc's standard error: a report fails the test.
        report = self.stderr()
        if self.process and any(m in report for m in ("AddressSanitizer", "LeakSanitizer", "runtime error:")):
            self.process = None
            # The direct leaks come first and name the object the indirect ones hang on.
            shown = report if len(report) <= 12000 else report[:8000] + "\n[...]\n" + report[-4000:]
            raise AssertionError("kvmmc's sanitizer report:\n" + shown)
        self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        if self.own_root:
            shutil.rmtree(self.root, ignore_errors=True)

    # --- HTTP without a browser -------------------------------------------

    def request(self, method, path, body=None, headers=None, cookie=True, host=None, origin=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        all_headers = {"Host": host or "127.0.0.1:%d" % self.port}
        if cookie:
            all_headers["Cookie"] = "kvmmc-%d=%s" % (self.port, self.token)
        if origin is True and method != "GET":
            all_headers["Origin"] = "http://127.0.0.1:%d" % self.port
        elif isinstance(origin, str):
            all_headers["Origin"] = origin
        data = None
        if body is not None:
            data = json.dumps(body).encode()
            all_headers["Content-Type"] = "application/json"
        all_headers.update(headers or {})
        connection.request(method, path, body=data, headers=all_headers)
        response = connection.getresponse()
        payload = response.read()
        connection.close()
        return response.status, payload

    def state(self, view, since=None):
        path = "/api/state?view=%d" % view + ("&since=%s" % since if since else "")
        status, payload = self.request("GET", path)
        assert status == 200, (status, payload)
        return json.loads(payload)

    def wait_for(self, view, predicate, timeout=20):
        """Polls the view's snapshot until predicate(state) holds."""
        deadline = time.time() + timeout
        state = self.state(view)
        while not predicate(state):
            if time.time() > deadline:
                raise AssertionError("the console never reached the state; last: %s" % json.dumps(state)[:2000])
            state = self.state(view, since=state["version"]) if time.time() + 1 < deadline else self.state(view)
        return state


class Browser:
    """Headless chromium on the console's page, with screenshots of steps."""

    def __init__(self, console, name):
        from selenium import webdriver
        from selenium.webdriver.chrome.options import Options
        from selenium.webdriver.chrome.service import Service

        self.console = console
        self.folder = os.path.join(SCREENSHOTS, name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder, exist_ok=True)
        self.step = 0
        options = Options()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=1280,820", "--no-first-run", "--disable-extensions",
                         "--user-data-dir=" + os.path.join(console.root, "chromium-profile")):
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                                       options=options)
        self.driver.set_page_load_timeout(30)

    @staticmethod
    def start_or_skip(console, name):
        try:
            return Browser(console, name)
        except Exception as error:  # chromium missing or unable to start here
            print("SKIPPED: chromium cannot start on this machine: %s" % str(error).splitlines()[0], flush=True)
            console.stop()
            sys.exit(SKIP)

    def open(self):
        self.driver.get(self.console.address)
        self.wait(lambda d: d.execute_script("return !!(window.page || true) && document.querySelectorAll('#scope .node').length > 0"))

    def wait(self, condition, timeout=20, message="condition"):
        from selenium.common.exceptions import StaleElementReferenceException
        from selenium.webdriver.support.ui import WebDriverWait
        # The page redraws with every snapshot: an element found a moment ago may be gone.
        return WebDriverWait(self.driver, timeout, poll_frequency=0.05,
                             ignored_exceptions=[StaleElementReferenceException]).until(condition, message)

    def shot(self, label):
        self.step += 1
        path = os.path.join(self.folder, "%02d-%s.png" % (self.step, re.sub(r"[^a-z0-9]+", "-", label.lower())))
        time.sleep(0.15)  # let the last snapshot paint
        self.driver.save_screenshot(path)
        return path

    def quit(self):
        try:
            self.driver.quit()
        except Exception:
            pass

    # --- Reading and driving the page ----------------------------------------

    def css(self, selector):
        from selenium.webdriver.common.by import By
        return self.driver.find_elements(By.CSS_SELECTOR, selector)

    def tree_names(self):
        return self.driver.execute_script("return [...document.querySelectorAll('#scope .node')].map(n => n.dataset.name)")

    def node(self, name):
        from selenium.webdriver.common.by import By
        return self.driver.find_element(By.CSS_SELECTOR, '#scope .node[data-name="%s"]' % name)

    def wait_node(self, name, present=True):
        return self.wait(lambda d: (name in self.tree_names()) == present, message="node %s %s" % (name, present))

    def select_node(self, name):
        from selenium.common.exceptions import StaleElementReferenceException
        for _ in range(5):
            try:
                self.node(name).find_element("css selector", ".label").click()
                break
            except StaleElementReferenceException:
                continue
        self.wait(lambda d: "selected" in self.node(name).get_attribute("class"), message="selected " + name)

    def expand(self, name):
        node = self.node(name)
        if node.get_attribute("aria-expanded") != "true":
            node.find_element("css selector", ".twisty").click()
            self.wait(lambda d: self.node(name).get_attribute("aria-expanded") == "true", message="expanded " + name)

    def context_menu(self, element):
        from selenium.webdriver import ActionChains
        ActionChains(self.driver).context_click(element).perform()
        self.wait(lambda d: len(self.css("#menus .menu")) > 0, message="context menu")

    def retry(self, action):
        """Runs a page action again when the page redrew its element meanwhile."""
        from selenium.common.exceptions import StaleElementReferenceException
        for _ in range(5):
            try:
                return action()
            except StaleElementReferenceException:
                continue
        raise AssertionError("the page kept redrawing under the action")

    def context_node(self, name):
        """Right-clicks a tree node, again if the tree was redrawn under the click."""
        from selenium.common.exceptions import StaleElementReferenceException
        for _ in range(5):
            try:
                self.context_menu(self.node(name).find_element("css selector", ".label"))
                return
            except StaleElementReferenceException:
                continue
        raise AssertionError("node %r kept moving" % name)

    def menu_item(self, text):
        return self.wait(lambda d: next((e for e in self.css("#menus .menu-item") if e.get_attribute("data-text") == text), None),
                         message="menu item " + text)

    def choose(self, *path):
        """Clicks through menu items by their text (submenus first)."""
        from selenium.webdriver import ActionChains
        for text in path[:-1]:
            ActionChains(self.driver).move_to_element(self.menu_item(text)).perform()
        self.menu_item(path[-1]).click()
        self.wait(lambda d: len(self.css("#menus .menu")) == 0, message="menu closed")

    def window(self, title=None, kind=None, timeout=20):
        def find(d):
            for w in self.css("#windows .window"):
                if (title is None or w.get_attribute("data-title") == title) and (kind is None or w.get_attribute("data-kind") == kind):
                    return w
            return None
        return self.wait(find, timeout=timeout, message="window %s %s" % (title, kind))

    def no_windows(self):
        self.wait(lambda d: len(self.css("#windows .window")) == 0, message="no windows")

    def window_text(self, window):
        return " ".join(e.text for e in window.find_elements("css selector", ".ctl-static"))

    def button(self, window, text):
        """The button of a window, found afresh (windows are redrawn as they change)."""
        title = window if isinstance(window, str) else window.get_attribute("data-title")

        def find(d):
            for w in self.css("#windows .window"):
                if w.get_attribute("data-title") != title:
                    continue
                for b in w.find_elements("css selector", "button.ctl-button"):
                    if b.text.replace("&", "") == text and b.is_enabled():
                        return b
            return None
        return self.wait(find, message="button %r in %s" % (text, title))

    def click(self, window, text):
        """Clicks a window's button, again if the window was redrawn under the click."""
        from selenium.common.exceptions import StaleElementReferenceException
        for _ in range(5):
            try:
                self.button(window, text).click()
                return
            except StaleElementReferenceException:
                continue
        raise AssertionError("button %r kept moving" % text)

    def rows(self):
        return self.driver.execute_script(
            "return [...document.querySelectorAll('#result-body tr.row')].map(r => [...r.cells].map(c => c.innerText.trim()))")

    def headers(self):
        return self.driver.execute_script(
            "return [...document.querySelectorAll('#result-body th')].map(h => h.firstChild ? h.firstChild.textContent : '')")
