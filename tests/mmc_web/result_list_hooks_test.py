"""The result list as a list view control that a snap-in hooks, through the
console host: the test snap-in's "Files" node fills the list with callback
items, gives each its state image from a call-window-procedure hook while
the list asks for it, and filters the list's clicks with a message hook
(Shift+click swallowed, a click on the state image toggles the item).
First through the host's own interface, then in a real browser with
screenshots: the state images drawn, and a click on the state image column
reaching the hook with x of at most 15 while a click on the name has more."""

import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess  # noqa: E402

CLSID = "{6A1C3E52-93D4-4B8E-9E0F-2B7D4C1A5E60}"
FILES = ["alpha.txt", "beta.txt", "gamma.txt"]


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError:
        return ""


class ResultListHooksTest(unittest.TestCase):
    def start(self):
        root = tempfile.mkdtemp(prefix="kvmmc-hooks-")
        self.log = os.path.join(root, "snapin.log")
        env = {"KESTRAVA_SNAPIN_LOG": self.log, "KESTRAVA_SNAPIN_FILES": "1"}
        self.console = ConsoleProcess(os.environ["KV_TEST_SNAPIN"], CLSID, root=root, environment=env).start()
        self.addCleanup(self.console.__exit__, None, None, None)
        self.console.own_root = True
        return self.console

    def log_lines(self):
        return read(self.log).splitlines()

    def wait_log(self, text, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in self.log_lines():
                return
            time.sleep(0.05)
        self.fail("the snap-in never logged %r; log: %s" % (text, self.log_lines()[-20:]))

    def command(self, view, **body):
        body["view"] = view
        status, payload = self.console.request("POST", "/api/command", body=body)
        self.assertEqual(status, 200, payload)

    def selected(self, state):
        return [r["texts"][0] for r in state["view"]["rows"] if r["selected"]]

    def test_hooks_see_the_lists_requests_and_input(self):
        console = self.start()
        status, payload = console.request("POST", "/api/view", body={})
        self.assertEqual(status, 200)
        view = int(__import__("json").loads(payload)["view"])
        state = console.wait_for(view, lambda s: s["view"] and s["view"]["ready"] and any(n["name"] == "Files" for n in s["view"]["tree"]))
        files = next(n["id"] for n in state["view"]["tree"] if n["name"] == "Files")
        self.command(view, type="select-scope", item=files)

        # Names come from the snap-in through the list's requests; the state
        # images from its hook, answered in the request (rows 0, 2) or set
        # on the item meanwhile (row 1).
        state = console.wait_for(view, lambda s: [r["texts"][0] for r in s["view"]["rows"]] == FILES and s["view"]["stateImages"])
        self.assertEqual(state["view"]["stateImages"], ["checkbox", "checkbox-checked"])
        self.assertEqual([r["stateImage"] for r in state["view"]["rows"]], [1, 2, 1])
        self.assertEqual([r["index"] for r in state["view"]["rows"]], [0, 1, 2])
        self.assertEqual(state["view"]["rows"][0]["texts"], ["alpha.txt", "Enabled"])

        # A click on the name: the hook sees it, then the list selects.
        self.command(view, type="list-input", name="lbuttondown", row=0, x=40)
        self.command(view, type="list-input", name="lbuttonup", row=0, x=40)
        state = console.wait_for(view, lambda s: self.selected(s) == ["alpha.txt"])
        self.assertIn("click x=40 item=0 label", self.log_lines())
        self.wait_log("select alpha.txt result")

        # Shift+click is swallowed: no range selection.
        self.command(view, type="list-input", name="lbuttondown", row=2, x=40, shift=True)
        self.wait_log("swallowed shift click on 2")
        # Ctrl+click adds to the selection: the snap-in hears of a multi-selection.
        self.command(view, type="list-input", name="lbuttondown", row=2, x=40, ctrl=True)
        state = console.wait_for(view, lambda s: self.selected(s) == ["alpha.txt", "gamma.txt"])
        self.assertIn("click x=40 item=2 label ctrl", self.log_lines())
        self.wait_log("select multi result")

        # A click on the state image toggles the item; the list draws it anew.
        self.command(view, type="list-input", name="lbuttondown", row=0, x=5)
        state = console.wait_for(view, lambda s: s["view"]["rows"][0]["stateImage"] == 2)
        self.assertIn("click x=5 item=0 state image", self.log_lines())
        self.assertEqual(self.selected(state), ["alpha.txt"])

        # Ctrl+A selects everything; a key reaches the list as its key message.
        self.command(view, type="list-input", name="keydown", key=65, ctrl=True)
        console.wait_for(view, lambda s: self.selected(s) == FILES)
        self.command(view, type="list-input", name="keydown", key=36)  # Home
        console.wait_for(view, lambda s: self.selected(s) == ["alpha.txt"])

        # A right click opens the context menu of the selection, with the
        # status text of each command.
        self.command(view, type="list-input", name="rbuttondown", row=1, x=40)
        state = console.wait_for(view, lambda s: s["view"]["menuId"] != "0")
        self.assertEqual(self.selected(state), ["beta.txt"])
        hello = next(item for item in state["view"]["menu"] if item["command"] == "cmd:11")
        self.assertEqual(hello["status"], "Writes hello to the log.")
        # Below the rows there is no menu; the probe's status line shows the
        # press was handled before it.
        self.command(view, type="close-menu")
        self.command(view, type="list-input", name="rbuttondown", row=-1, x=40)
        self.command(view, type="menu-status", text="probe")
        state = console.wait_for(view, lambda s: s["view"]["status"] == "probe")
        self.assertEqual(state["view"]["menuId"], "0")

        # Bad input is refused, not guessed at.
        for bad in ({"name": "mousewheel"}, {"name": "lbuttondown", "x": -3}, {"name": "keydown", "key": 999},
                    {"name": "lbuttondown", "row": "1"}, {"name": "keydown", "ctrl": 1}):
            status, _ = console.request("POST", "/api/command", body=dict(bad, view=view, type="list-input"))
            self.assertEqual(status, 400, bad)

    def test_state_images_drawn_and_clicks_in_the_browser(self):
        console = self.start()
        b = Browser.start_or_skip(console, "result-list-hooks")
        self.addCleanup(b.quit)
        b.open()
        b.select_node("Files")
        b.wait(lambda d: len(b.css("#result-body tr.row img.state-icon")) == 3, message="three state images")
        sources = [i.get_attribute("src") for i in b.css("#result-body tr.row img.state-icon")]
        self.assertIn("checkbox-checked", sources[1])
        self.assertNotIn("checkbox-checked", sources[0])
        b.shot("state-images")

        # The state image column: the hook sees x of at most 15.
        b.retry(lambda: b.css("#result-body tr.row img.state-icon")[2].click())
        b.wait(lambda d: "checkbox-checked" in b.css("#result-body tr.row img.state-icon")[2].get_attribute("src"),
               message="third item toggled")
        clicks = [line for line in self.log_lines() if line.startswith("click x=")]
        x = int(clicks[-1].split()[1][2:])
        self.assertLessEqual(x, 15, clicks)
        self.assertTrue(clicks[-1].endswith("item=2 state image"), clicks)

        # The name: further right than the state image and the icon.
        b.retry(lambda: b.css("#result-body tr.row .label")[0].click())
        # The click on the state image left the third item selected: one
        # selected row shows before this click arrives, the first one after.
        b.wait(lambda d: ["selected" in r.get_attribute("class").split() for r in b.css("#result-body tr.row")]
               == [True, False, False], message="first selected")
        clicks = [line for line in self.log_lines() if line.startswith("click x=")]
        self.assertGreater(int(clicks[-1].split()[1][2:]), 31, clicks)
        self.assertTrue(clicks[-1].endswith("item=0 label"), clicks)

        # Shift+click reaches the hook and goes no further.
        from selenium.webdriver import ActionChains
        from selenium.webdriver.common.keys import Keys
        b.retry(lambda: ActionChains(b.driver).key_down(Keys.SHIFT).click(b.css("#result-body tr.row .label")[2]).key_up(Keys.SHIFT).perform())
        self.wait_log("swallowed shift click on 2")
        b.retry(lambda: ActionChains(b.driver).key_down(Keys.CONTROL).click(b.css("#result-body tr.row .label")[1]).key_up(Keys.CONTROL).perform())
        b.wait(lambda d: len(b.css("#result-body tr.row.selected")) == 2, message="two selected")
        self.assertEqual(len(b.css("#result-body tr.row.selected")), 2)
        b.shot("clicked")


if __name__ == "__main__":
    unittest.main()
