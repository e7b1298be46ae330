"""The offline page against its targets (a benchmark, not a test):

    python3 bench/web_page.py [--lines 1000000]

- the page's size (one file, target <= 1 MB) and gzipped;
- opening the page with a value in its fragment to that value's table, in
  headless Chromium (target <= 300 ms), median of several loads;
- a typed value to its table (target <= 30 ms), over bench/corpus.tsv;
- the engine's time per value in the page (WebAssembly, called from
  JavaScript) against the native module's identify_json, median over
  bench/corpus.tsv (target <= 1.5x);
- a file of --lines lines (Unix seconds and a text column) read in the
  worker: seconds to the verdicts and every row's best reading (target
  <= 15 s), and the longest main-thread task meanwhile (target <= 100 ms).

Needs dist/epochsift.html (scripts/build_web.sh), the epochsift module,
selenium and Debian's chromium and chromium-driver.
"""

import argparse
import gzip
import pathlib
import statistics
import time
import timeit

from selenium import webdriver

ROOT = pathlib.Path(__file__).resolve().parents[1]
PAGE = ROOT / "dist" / "epochsift.html"


def corpus():
    lines = (ROOT / "bench" / "corpus.tsv").read_text(encoding="utf-8").splitlines()
    return [p[2] for p in (line.split("\t") for line in lines) if len(p) >= 3]


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,1000"):
        options.add_argument(arg)
    driver = webdriver.Chrome(options=options, service=webdriver.ChromeService(executable_path="/usr/bin/chromedriver"))
    driver.set_script_timeout(600)
    return driver


def wait_for(driver, script, timeout=600):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = driver.execute_script(script)
        if value:
            return value
        time.sleep(0.01)
    raise RuntimeError("timed out: " + script)


def open_to_table(driver, loads=7):
    times = []
    for _ in range(loads):
        driver.get("about:blank")
        driver.get(PAGE.as_uri() + "#v=1700000000&extended=1")
        times.append(float(wait_for(driver, "return document.body.dataset.firstTable")))
    return statistics.median(times), max(times)


def typed_value(driver, values):
    driver.get(PAGE.as_uri())
    wait_for(driver, "return document.body.dataset.ready === '1'")
    times = driver.execute_async_script("""
        const values = arguments[0], done = arguments[arguments.length - 1], times = [];
        const input = document.getElementById('value');
        (async () => {
          for (const v of values) {
            const shown = Number(document.body.dataset.shown || 0);
            const t0 = performance.now();
            input.value = v;
            input.dispatchEvent(new Event('input', {bubbles: true}));
            await new Promise((r) => requestAnimationFrame(() => r()));
            document.getElementById('readings').offsetHeight;  // layout included
            times.push(performance.now() - t0);
          }
          done(times);
        })();""", values)
    return statistics.median(times), max(times)


def engine_ratio(driver, values, repeat=200):
    import epochsift

    wasm = driver.execute_script("""
        const values = arguments[0], repeat = arguments[1], out = [];
        for (const v of values) {
          engine.identifyJson(v, {});
          const t0 = performance.now();
          for (let i = 0; i < repeat; i++) engine.identifyJson(v, {});
          out.push((performance.now() - t0) * 1000 / repeat);
        }
        return out;""", values, repeat)
    native = []
    for v in values:
        epochsift.identify_json(v)
        native.append(min(timeit.repeat(lambda: epochsift.identify_json(v), number=repeat, repeat=3)) * 1e6 / repeat)
    ratios = [w / n for w, n in zip(wasm, native)]
    return statistics.median(wasm), statistics.median(native), statistics.median(ratios)


def big_file(driver, lines):
    driver.get(PAGE.as_uri())
    wait_for(driver, "return document.body.dataset.ready === '1'")
    driver.execute_script("""
        window.longTasks = [];
        new PerformanceObserver((list) => { for (const e of list.getEntries()) window.longTasks.push(e.duration); })
          .observe({type: 'longtask', buffered: false});
        const parts = ['when,name\\n'];
        for (let i = 0; i < arguments[0]; i++) parts.push((1600000000 + 37 * i) + ',host-' + (i % 977) + '\\n');
        const file = new File(parts, 'big.csv');
        const data = new DataTransfer();
        data.items.add(file);
        document.getElementById('tab-many').click();
        document.getElementById('drop').dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true}));
        window.longTasks = [];
        window.startedAt = performance.now();
        document.getElementById('run').click();""", lines)
    wait_for(driver, "return document.body.dataset.manyDone")
    elapsed = driver.execute_script("return (performance.now() - window.startedAt) / 1000")
    tasks = driver.execute_script("return window.longTasks")
    return elapsed, max(tasks, default=0.0), len([t for t in tasks if t > 100])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lines", type=int, default=1_000_000)
    args = parser.parse_args()
    raw = PAGE.read_bytes()
    print("page: %d bytes (%.2f MB), %d gzipped" % (len(raw), len(raw) / 1e6, len(gzip.compress(raw, 9))))
    values = corpus()
    driver = browser()
    try:
        median, worst = open_to_table(driver)
        print("open to first table: median %.0f ms, worst %.0f ms" % (median, worst))
        median, worst = typed_value(driver, values)
        print("typed value to table: median %.1f ms, worst %.1f ms (%d values)" % (median, worst, len(values)))
        wasm, native, ratio = engine_ratio(driver, values)
        print("engine per value: page %.2f us, native %.2f us, median ratio %.2fx" % (wasm, native, ratio))
        elapsed, longest, over = big_file(driver, args.lines)
        print("%d-line file: %.1f s, longest main-thread task %.0f ms, %d over 100 ms" % (args.lines, elapsed, longest, over))
    finally:
        driver.quit()


if __name__ == "__main__":
    main()
