"""The console's page in a real browser, against the host's own test snap-in:
tree, context menu with its insertion points, the list with its columns,
in-place rename with a refusal box, delete with its question, the message
view, a web address, multi-selection, one component per tab, and the 1.0
console with its res:// page. Screenshots of each step are saved."""

import json
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from console_fixture import Browser, ConsoleProcess  # noqa: E402

CLSID = "{6A1C3E52-93D4-4B8E-9E0F-2B7D4C1A5E60}"


def read(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read()
    except OSError:
        return ""


class ConsolePageTest(unittest.TestCase):
    def start(self, name, environment=None):
        root = tempfile.mkdtemp(prefix="kvmmc-page-")
        self.log = os.path.join(root, "snapin.log")
        env = {"KESTRAVA_SNAPIN_LOG": self.log}
        env.update(environment or {})
        self.console = ConsoleProcess(os.environ["KV_TEST_SNAPIN"], CLSID, root=root, environment=env).start()
        self.addCleanup(self.console.__exit__, None, None, None)
        self.console.own_root = True
        self.browser = Browser.start_or_skip(self.console, name)
        self.addCleanup(self.browser.quit)
        return self.browser

    def test_jobs_made_listed_renamed_and_deleted(self):
        b = self.start("test-snapin-jobs")
        b.open()
        self.assertEqual(b.tree_names(), ["Test Console", "Jobs", "About", "Help on the web"])
        b.shot("tree")

        b.context_node("Jobs")
        self.assertIn("New", [e.get_attribute("data-text") for e in b.css("#menus .menu-item")])
        from selenium.webdriver import ActionChains
        ActionChains(b.driver).move_to_element(b.menu_item("New")).perform()
        b.menu_item("Job")
        b.shot("context-menu-new")
        b.choose("New", "Job")
        b.wait_node("Job 1")
        b.wait(lambda d: "selected" in b.node("Job 1").get_attribute("class"), message="new job selected")
        b.context_node("Jobs")
        b.choose("New", "Job")
        b.wait_node("Job 2")

        b.select_node("Jobs")
        b.wait(lambda d: len(b.rows()) == 2, message="two rows")
        self.assertEqual(b.headers(), ["Name", "State"])
        self.assertEqual(b.rows(), [["Job 1", "Enabled"], ["Job 2", "Enabled"]])
        b.css("#result-body th")[0].click()
        b.css("#result-body th")[0].click()
        b.wait(lambda d: [r[0] for r in b.rows()] == ["Job 2", "Job 1"], message="sorted descending")
        b.shot("list-sorted")

        # Multi-selection with Ctrl reaches the snap-in as the console's multi-selection object.
        from selenium.webdriver.common.keys import Keys
        b.retry(lambda: b.css("#result-body tr.row")[0].click())
        b.wait(lambda d: len(b.css("#result-body tr.row.selected")) == 1, message="one selected")
        b.retry(lambda: ActionChains(b.driver).key_down(Keys.CONTROL).click(b.css("#result-body tr.row")[1]).key_up(Keys.CONTROL).perform())
        b.wait(lambda d: len(b.css("#result-body tr.row.selected")) == 2, message="two selected")
        b.wait(lambda d: "select multi result" in read(self.log), message="multi-selection heard")
        b.shot("multi-selection")

        # In-place rename from the keyboard; "<" is refused with the snap-in's box.
        b.select_node("Job 1")
        b.css("#scope")[0].send_keys(Keys.F2)
        box = b.wait(lambda d: (b.css("#scope .rename-box") or [None])[0], message="rename box")
        box.send_keys(Keys.CONTROL, "a")
        box.send_keys("Bad<name" + Keys.ENTER)
        refusal = b.window(title="Rename")
        self.assertIn("must not hold", b.window_text(refusal))
        b.shot("rename-refused")
        b.click("Rename", "OK")
        b.no_windows()
        self.assertIn("Job 1", b.tree_names())
        b.css("#scope")[0].send_keys(Keys.F2)
        box = b.wait(lambda d: (b.css("#scope .rename-box") or [None])[0], message="rename box")
        box.send_keys(Keys.CONTROL, "a")
        box.send_keys("Nightly" + Keys.ENTER)
        b.wait_node("Nightly")
        self.assertIn("renamed Nightly", read(self.log))

        # Delete asks first; No keeps the job, Yes removes it and the view moves up.
        b.select_node("Job 2")
        b.css("#scope")[0].send_keys(Keys.DELETE)
        question = b.window(title="Delete job")
        b.shot("delete-question")
        b.click("Delete job", "No")
        b.no_windows()
        self.assertIn("Job 2", b.tree_names())
        b.context_node("Job 2")
        b.choose("Delete")
        b.click("Delete job", "Yes")
        b.wait_node("Job 2", present=False)
        b.wait(lambda d: "selected" in b.node("Jobs").get_attribute("class"), message="selection moved to the parent")
        b.shot("after-delete")

    def test_property_sheet_is_modeless_and_found_again(self):
        b = self.start("test-snapin-sheet")
        b.open()
        b.context_node("Jobs")
        b.choose("New", "Job")
        b.wait_node("Job 1")
        b.wait(lambda d: not b.css("#tool-properties")[0].get_attribute("disabled"), message="properties offered")
        b.css("#tool-properties")[0].click()
        sheet = b.window(title="Job 1 Properties", kind="propertysheet")
        self.assertEqual([t.text for t in sheet.find_elements("css selector", ".tab")], ["General", "Details"])
        self.assertFalse(b.button("Job 1 Properties", "OK").get_attribute("disabled"))
        apply = [x for x in sheet.find_elements("css selector", "button.ctl-button") if x.text.replace("&", "") == "Apply"][0]
        self.assertTrue(apply.get_attribute("disabled") is not None, "Apply waits for a change")
        field = sheet.find_element("css selector", "input.ctl-edit")
        field.send_keys("checked daily")
        b.shot("sheet-modified")
        b.click("Job 1 Properties", "Apply")
        b.wait(lambda d: "applied checked daily" in read(self.log), message="applied")
        b.wait(lambda d: "property change 100" in read(self.log), message="the page told the console")

        # The sheet is modeless: the tree still answers; Properties again finds the open sheet.
        b.select_node("Jobs")
        b.select_node("Job 1")
        b.wait(lambda d: not b.css("#tool-properties")[0].get_attribute("disabled"), message="properties offered")
        b.css("#tool-properties")[0].click()
        time.sleep(0.5)
        self.assertEqual(len(b.css("#windows .window[data-kind=propertysheet]")), 1)
        self.assertEqual(read(self.log).count("pages for Job 1"), 1)
        b.css("#windows .window .tab")[1].click()
        b.wait(lambda d: "active" in b.css("#windows .window .tab")[1].get_attribute("class"), message="second tab")
        b.shot("sheet-second-tab")
        b.click("Job 1 Properties", "OK")
        b.no_windows()

    def test_message_view_web_address_and_a_view_per_tab(self):
        b = self.start("test-snapin-views")
        b.open()
        b.select_node("About")
        b.wait(lambda d: b.css("#result-body .message-view"), message="message view")
        self.assertIn("About this console", b.css("#result-body .message-view h2")[0].text)
        b.shot("message-view")
        b.select_node("Help on the web")
        b.wait(lambda d: b.css("#result-body .web-address code"), message="web address")
        self.assertEqual(b.css("#result-body .web-address code")[0].text, "https://help.example.invalid/console")
        b.shot("web-address")
        # An address the snap-in opens through the shell is offered for a tab of its own.
        b.context_node("Help on the web")
        b.choose("Open help")
        b.wait(lambda d: any("help.example.invalid" in n.text for n in b.css("#notices .notice")), message="notice")
        self.assertIn("help opened", read(self.log))
        b.shot("address-offered")

        b.driver.switch_to.new_window("tab")
        b.driver.get("http://127.0.0.1:%d/" % self.console.port)
        b.wait(lambda d: len(b.css("#scope .node")) > 0, message="second tab")
        b.wait(lambda d: read(self.log).count("component initialised") == 2, message="a component per tab")
        b.shot("second-tab")

    def test_console_one_shows_the_module_page(self):
        # Without a browser: the 1.0 console has no version object, refuses
        # IConsole3 and IColumnData, and the node shows its res:// page.
        root = tempfile.mkdtemp(prefix="kvmmc-v1-")
        log = os.path.join(root, "snapin.log")
        console = ConsoleProcess(os.environ["KV_TEST_SNAPIN"], CLSID, root=root,
                                 environment={"KESTRAVA_SNAPIN_LOG": log, "KESTRAVA_MMCVER": "1.0"}).start()
        self.addCleanup(console.__exit__, None, None, None)
        console.own_root = True
        status, payload = console.request("POST", "/api/view", body={})
        view = json.loads(payload)["view"]
        state = console.wait_for(view, lambda s: s["view"] and s["view"]["ready"])
        self.assertIn("initialised version 1.0\n", read(log))
        about = next(n["id"] for n in state["view"]["tree"] if n["name"] == "About")
        console.request("POST", "/api/command", body={"view": view, "type": "select-scope", "item": about})
        state = console.wait_for(view, lambda s: s["view"]["result"] == "resource")
        status, page = console.request("GET", "/res/%d/%s" % (view, state["view"]["resourcePage"]))
        self.assertEqual(status, 200)
        self.assertIn(b"Right-click the node", page)

    def test_a_box_shown_while_the_snap_in_starts_waits_for_the_first_browser(self):
        b = self.start("test-snapin-start-box", {"KESTRAVA_SNAPIN_ASK_AT_START": "1"})
        time.sleep(0.5)
        self.assertNotIn("start box answered", read(self.log))
        b.driver.get(self.console.address)
        box = b.window(title="Test snap-in")
        b.shot("start-box")
        b.click("Test snap-in", "OK")
        b.wait(lambda d: len(b.css("#scope .node")) == 4, message="tree after the box")
        self.assertIn("start box answered 1", read(self.log))


if __name__ == "__main__":
    unittest.main()
