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


def engine_ratio(driver, values, repeat=1000):
    """Per value, the page's time against the native module's: the engine
    call itself (identify and its JSON written, the value already in the
    module's memory), and the whole JavaScript call (the value encoded, the
    JSON decoded into a string). The native side is identify_json, whose
    answer is a str."""
    import epochsift

    raw, wrapped = driver.execute_script("""
        const values = arguments[0], repeat = arguments[1], raw = [], wrapped = [];
        const e = engine.exports, slots = e.epochsift_alloc(8);
        for (const v of values) {
          const [p, n] = engine.write(v);
          const call = () => { e.epochsift_identify(p, n, 0, 0, slots, slots + 4);
                               e.epochsift_free(new DataView(e.memory.buffer).getUint32(slots, true)); };
          call();
          let t0 = performance.now();
          for (let i = 0; i < repeat; i++) call();
          raw.push((performance.now() - t0) * 1000 / repeat);
          e.epochsift_free(p);
          t0 = performance.now();
          for (let i = 0; i < repeat; i++) engine.identifyJson(v, {});
          wrapped.push((performance.now() - t0) * 1000 / repeat);
        }
        return [raw, wrapped];""", values, repeat)
    native = []
    for v in values:
        epochsift.identify_json(v)
        native.append(min(timeit.repeat(lambda: epochsift.identify_json(v), number=repeat, repeat=3)) * 1e6 / repeat)
    return {
        "engine call": (statistics.median(raw), statistics.median([w / n for w, n in zip(raw, native)])),
        "whole JavaScript call": (statistics.median(wrapped), statistics.median([w / n for w, n in zip(wrapped, native)])),
        "native": (statistics.median(native), 1.0),
    }


def big_file(driver, lines):
    driver.get(PAGE.as_uri())
    wait_for(driver, "return document.body.dataset.ready === '1'")
    driver.execute_script("""
        window.longTasks = [];
        window.startedAt = Infinity;
        // Entries arrive after the task: only those that began once the file
        // was dropped count (making the file here is the benchmark's own work).
        new PerformanceObserver((list) => {
          for (const e of list.getEntries()) if (e.startTime >= window.startedAt) window.longTasks.push(e.duration);
        }).observe({type: 'longtask', buffered: false});
        const parts = ['when,name\\n'];
        for (let i = 0; i < arguments[0]; i++) parts.push((1600000000 + 37 * i) + ',host-' + (i % 977) + '\\n');
        const file = new File(parts, 'big.csv');
        const data = new DataTransfer();
        data.items.add(file);
        document.getElementById('tab-many').click();
        document.getElementById('drop').dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true}));
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
        for name, (median, ratio) in engine_ratio(driver, values).items():
            print("per value, %s: median %.2f us, median ratio to native %.2fx" % (name, median, ratio))
        elapsed, longest, over = big_file(driver, args.lines)
        print("%d-line file: %.1f s, longest main-thread task %.0f ms, %d over 100 ms" % (args.lines, elapsed, longest, over))
    finally:
        driver.quit()


if __name__ == "__main__":
    main()
