#!/usr/bin/env python3
"""Time from a click in the console's tree to the updated view, in a real
browser: the page's own clock from the mouse press on a node to the frame in
which the tree shows the node selected and the result pane shows its content
(the two nodes alternate: a list and a message view, so every click changes
the pane). Reports the median, 90th percentile and worst of the rounds and
the machine's load.

    KV_BIN_DIR=build/bin KV_TEST_SNAPIN=build/tests/mmc_snapin/KvTestSnapin.so \\
        /usr/bin/python3 bench/console_click_to_view.py [ROUNDS]
"""

import os
import statistics
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "mmc_web"))
from console_fixture import Browser, ConsoleProcess  # noqa: E402

CLSID = "{6A1C3E52-93D4-4B8E-9E0F-2B7D4C1A5E60}"

CLICK = """
const [name, kind, done] = arguments;
const node = [...document.querySelectorAll('#scope .node')].find(n => n.dataset.name === name);
const start = performance.now();
const shown = () => {
  const selected = document.querySelector('#scope .node.selected');
  const body = document.querySelector('#result-body');
  const ready = kind === 'list' ? body.querySelector('table.list') : body.querySelector('.message-view');
  if (selected && selected.dataset.name === name && ready) done(performance.now() - start);
  else requestAnimationFrame(shown);
};
node.querySelector('.label').dispatchEvent(new MouseEvent('mousedown', {bubbles: true, button: 0}));
requestAnimationFrame(shown);
"""


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 60
    with ConsoleProcess(os.environ["KV_TEST_SNAPIN"], CLSID) as console:
        browser = Browser.start_or_skip(console, "bench-click-to-view")
        try:
            browser.open()
            browser.driver.set_script_timeout(10)
            times = []
            for i in range(rounds + 5):
                name, kind = ("Jobs", "list") if i % 2 == 0 else ("About", "message")
                elapsed = browser.driver.execute_async_script(CLICK, name, kind)
                if i >= 5:  # the first rounds warm the page and the snap-in
                    times.append(elapsed)
        finally:
            browser.quit()
    times.sort()
    p90 = times[int(len(times) * 0.9) - 1]
    load = os.getloadavg()[0]
    print("click to updated view over %d clicks: median %.1f ms, p90 %.1f ms, worst %.1f ms (load %.2f)"
          % (len(times), statistics.median(times), p90, times[-1], load))


if __name__ == "__main__":
    main()
