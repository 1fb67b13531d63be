#!/usr/bin/env python3
"""Time to fill a folder of 10,000 entries in the console's tree, in a real
browser against the real OrvConsole.so: the page's own clock from the mouse
press on the folder's node to the frame in which the result pane lists its
entries. The first click reads the folder from disk (filling it); later
clicks reconcile it with the disk and rebuild the list. Reports the first
fill and the median and worst of the refills.

    KV_BIN_DIR=build/bin /usr/bin/python3 bench/console_fill_folder.py [ENTRIES] [ROUNDS]
"""

import os
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "mmc_web"))
from console_fixture import Browser, ConsoleProcess  # noqa: E402

SOURCE = os.path.join(os.path.dirname(__file__), "..")
SETTINGS = "HKLM\\SOFTWARE\\Kestrava Corvid\\Tsl3\\Config"

CLICK = """
const [name, other, done] = arguments;
const node = [...document.querySelectorAll('#scope .node')].find(n => n.dataset.name === name);
const start = performance.now();
const shown = () => {
  const selected = document.querySelector('#scope .node.selected');
  const first = document.querySelector('#result-body tr.row .label');
  if (selected && selected.dataset.name === name && first && first.innerText.trim() !== other) done(performance.now() - start);
  else requestAnimationFrame(shown);
};
node.querySelector('.label').dispatchEvent(new MouseEvent('mousedown', {bubbles: true, button: 0}));
requestAnimationFrame(shown);
"""


def main():
    entries = int(sys.argv[1]) if len(sys.argv) > 1 else 10000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    base = tempfile.mkdtemp(prefix="kv-fill-bench-")
    try:
        drive = os.path.join(base, "c")
        os.makedirs(drive)
        root = os.path.join(drive, "kestrava")
        env = dict(os.environ, KESTRAVA_ROOT=root, KESTRAVA_DRIVE_C=drive, KESTRAVA_BIN=os.environ["KV_BIN_DIR"])
        subprocess.run(["/bin/bash", os.path.join(SOURCE, "scripts", "install.sh")], env=env, check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        subprocess.run([os.path.join(os.environ["KV_BIN_DIR"], "kvreg"), "add", SETTINGS, "/v", "FirstStart", "/t",
                        "REG_DWORD", "/d", "0", "/f"], env=env, check=True, stdout=subprocess.DEVNULL, timeout=30)
        tree = os.path.join(base, "t")
        big = os.path.join(tree, "large")
        os.makedirs(os.path.join(tree, "little"))
        os.makedirs(big)
        open(os.path.join(tree, "little", "only.txt"), "w").close()
        for i in range(entries):
            if i % 10 == 0:
                os.makedirs(os.path.join(big, "folder%05d" % i))
            else:
                open(os.path.join(big, "file%05d.%s" % (i, ("txt", "log", "dat", "bin")[i % 4])), "w").close()
        os.symlink(tree, os.path.join(root, "dosdevices", "t:"))
        with sqlite3.connect(os.path.join(root, "Tsl3", "Data", "KvData.mdb")) as db:
            db.execute("DELETE FROM FILES_PROFILES_LNK")
            db.execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (1, 'T:\\', '')")
        with ConsoleProcess(root=root, document=os.path.join(root, "Tsl3", "Tsl3.msc"),
                            environment={"KESTRAVA_DRIVE_C": drive}) as console:
            browser = Browser.start_or_skip(console, "bench-fill-folder")
            try:
                browser.open()
                for name in ("Tessellon 3", "Monitored files", "(T:)"):
                    browser.wait_node(name)
                    browser.expand(name)
                browser.wait_node("large")
                browser.driver.set_script_timeout(300)
                times = []
                for i in range(rounds * 2 + 1):
                    # Alternate with a small folder so that every click changes the pane.
                    name, other = ("large", "only.txt") if i % 2 == 0 else ("little", "file00001.txt")
                    elapsed = browser.driver.execute_async_script(CLICK, name, other)
                    if name == "large":
                        times.append(elapsed)
            finally:
                browser.quit()
    finally:
        shutil.rmtree(base, ignore_errors=True)
    first, refills = times[0], sorted(times[1:])
    print("fill of a folder of %d entries: first %.0f ms; refill median %.0f ms, worst %.0f ms over %d (load %.2f)"
          % (entries, first, statistics.median(refills), refills[-1], len(refills), os.getloadavg()[0]))


if __name__ == "__main__":
    main()
