"""The page in a real browser: headless Chromium from the system (never a
downloaded one), opened from file://. Expected instants come from the date
arithmetic of Python's datetime, not from the engine. Screenshots of each
view are left in build/web-screenshots for a person to look at."""

import calendar
import json
import os
import pathlib
import shutil
import time

import pytest

webdriver = pytest.importorskip("selenium.webdriver")
from selenium.webdriver.common.by import By  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
PAGE = ROOT / "dist" / "epochsift.html"
SHOTS = ROOT / "build" / "web-screenshots"
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"

pytestmark = [
    pytest.mark.skipif(not PAGE.exists(), reason="build the page first: bash scripts/build_web.sh"),
    pytest.mark.skipif(not (os.path.exists(CHROMIUM) and os.path.exists(DRIVER)),
                       reason="needs Debian's chromium and chromium-driver"),
]


def utc(*fields):
    return calendar.timegm(fields + (0,) * (6 - len(fields)))


@pytest.fixture(scope="module")
def downloads(tmp_path_factory):
    return tmp_path_factory.mktemp("downloads")


@pytest.fixture(scope="module")
def browser(downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1280,1000",
                "--disable-gpu", "--no-first-run", "--disable-background-networking", "--disable-extensions"):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    options.add_experimental_option("perfLoggingPrefs", {"enableNetwork": True, "enablePage": False})
    options.add_experimental_option("prefs", {"download.default_directory": str(downloads),
                                              "download.prompt_for_download": False})
    service = webdriver.ChromeService(executable_path=DRIVER)
    driver = webdriver.Chrome(options=options, service=service)
    driver.set_script_timeout(120)
    SHOTS.mkdir(parents=True, exist_ok=True)
    driver.get(PAGE.as_uri())
    wait_for(driver, "return document.body.dataset.ready === '1'")
    yield driver
    driver.quit()


def wait_for(driver, script, timeout=60.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if driver.execute_script(script):
            return
        time.sleep(0.02)
    raise AssertionError("timed out waiting for: " + script)


def set_value(driver, element_id, text):
    """Sets an input's text as typing would and fires its input event."""
    driver.execute_script(
        "const e = document.getElementById(arguments[0]); e.value = arguments[1];"
        "e.dispatchEvent(new Event('input', {bubbles: true}));", element_id, text)


def type_value(driver, text):
    before = driver.execute_script("return Number(document.body.dataset.shown || 0)")
    set_value(driver, "value", text)
    wait_for(driver, "return Number(document.body.dataset.shown || 0) > %d" % before)


def first_row(driver):
    cells = driver.find_elements(By.CSS_SELECTOR, "#readings tbody tr:not(.evidence):first-child td")
    return [c.text for c in cells]


def select_tab(driver, name):
    driver.find_element(By.ID, "tab-" + name).click()


# (value, how to read it, the first reading's id, its UTC text by datetime)
@pytest.mark.parametrize("value, as_hex, format_id, expected", [
    ("1700000000", False, "unix", "2023-11-14T22:13:20Z"),
    ("2024-05-01T12:00:00+02:00", False, "iso8601", "2024-05-01T10:00:00Z"),
    ("1700000000123", False, "unix_ms", "2023-11-14T22:13:20.123Z"),
])
def test_a_typed_value_shows_its_first_reading(browser, value, as_hex, format_id, expected):
    select_tab(browser, "one")
    type_value(browser, value)
    row = first_row(browser)
    assert row[0] == "1"
    assert format_id in row[1].split("\n")
    assert row[2] == expected


def test_the_zone_column_uses_the_browsers_zone_data(browser):
    select_tab(browser, "one")
    browser.execute_script("const z = document.getElementById('zone'); z.value = 'Asia/Tokyo';"
                           "z.dispatchEvent(new Event('change', {bubbles: true}));")
    type_value(browser, "1700000000")
    # Japan has kept +09:00 all year since 1951: 22:13:20Z is 07:13:20 the next day.
    assert first_row(browser)[3].startswith("2023-11-15 07:13:20 +09:00")
    # The evidence is one click away.
    button = browser.find_element(By.CSS_SELECTOR, "#readings tbody tr:first-child button")
    button.click()
    evidence = browser.find_element(By.CSS_SELECTOR, "#readings tbody tr.evidence")
    assert evidence.is_displayed() and "Assumptions" in evidence.text and "POSIX" in evidence.text
    browser.save_screenshot(str(SHOTS / "one-value.png"))


def _wait_shown(driver, before):
    wait_for(driver, "return Number(document.body.dataset.shown || 0) > %d" % before)


# The extended reading shows each reading's confidence, its share among the
# value's readings: the percents shown add up to 100 but for rounding (each
# cell rounds by half a point at most; "<1%" is under one). The reference
# reading shows its score instead.
def test_the_readings_show_their_confidence(browser):
    select_tab(browser, "one")
    type_value(browser, "1298556459")
    assert browser.find_element(By.ID, "measure-head").text == "Confidence"
    cells = [c.text for c in browser.find_elements(
        By.CSS_SELECTOR, '#readings tbody tr:not(.evidence) td[data-head="Confidence"]')]
    assert len(cells) > 10 and all(c.endswith("%") for c in cells)
    total = sum(0.5 if c == "<1%" else float(c[:-1]) for c in cells)
    assert abs(total - 100) <= 0.5 * len(cells)
    before = browser.execute_script("return Number(document.body.dataset.shown || 0)")
    browser.find_element(By.ID, "extended").click()
    _wait_shown(browser, before)
    try:
        assert browser.find_element(By.ID, "measure-head").text == "Score"
        assert not browser.find_elements(By.CSS_SELECTOR, '#readings td[data-head="Confidence"]')
    finally:
        before = browser.execute_script("return Number(document.body.dataset.shown || 0)")
        browser.find_element(By.ID, "extended").click()
        _wait_shown(browser, before)


def test_hex_bytes_read_in_both_orders(browser):
    select_tab(browser, "one")
    browser.find_element(By.CSS_SELECTOR, 'input[name="as"][value="hex"]').click()
    type_value(browser, "68 17 85 5a")
    texts = browser.find_element(By.ID, "readings").text
    assert "2025-05-04T15:18:50Z" in texts  # 0x6817855a big-endian as Unix seconds
    browser.find_element(By.CSS_SELECTOR, 'input[name="as"][value="text"]').click()


HOSTILE = [
    '<img src=x onerror="document.body.dataset.owned=1">',
    '"><script>document.body.dataset.owned=1</script>',
    "1700000000\u202e<b>reversed</b>",
    "&lt;i&gt;entity&lt;/i&gt;",
]


@pytest.mark.parametrize("value", HOSTILE)
def test_hostile_values_render_as_text(browser, value):
    select_tab(browser, "one")
    type_value(browser, value)
    assert browser.execute_script(
        "return document.querySelectorAll('main img, main script, main b, main i').length") == 0
    assert browser.execute_script("return document.body.dataset.owned") is None
    status = browser.find_element(By.ID, "one-status").text
    # The markup is shown as the characters it is made of; a bidi override
    # is shown as its code point instead of reordering the line.
    shown = value.replace("\u202e", "<U+202E>")
    assert shown[:40] in status


def test_a_megabyte_line_does_not_hold_the_page(browser):
    select_tab(browser, "one")
    started = time.monotonic()
    browser.execute_script(
        "const e = document.getElementById('value'); e.value = '9'.repeat(1 << 20);"
        "e.dispatchEvent(new Event('input', {bubbles: true}));")
    wait_for(browser, "return document.getElementById('one-status').textContent.includes('characters long')")
    assert browser.execute_script("return 1 + 1") == 2
    assert time.monotonic() - started < 30
    set_value(browser, "value", "")


def test_a_dropped_file_of_100000_lines_completes_with_progress(browser, downloads):
    select_tab(browser, "many")
    # A CSV with a header: Unix seconds an hour apart, and a column of names
    # that hold markup.
    browser.execute_script("""
        const lines = ['when,name'];
        for (let i = 0; i < 100000; i++) lines.push((1600000000 + 3600 * i) + ',<b>row ' + i + '</b>');
        const file = new File([lines.join('\\n') + '\\n'], 'hundred-thousand.csv', {type: 'text/csv'});
        const data = new DataTransfer();
        data.items.add(file);
        document.getElementById('drop').dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true}));
    """)
    assert "hundred-thousand.csv" in browser.find_element(By.ID, "many-status").text
    browser.find_element(By.ID, "run").click()
    seen = set()
    end = time.monotonic() + 240
    while time.monotonic() < end:
        state = browser.execute_script(
            "const p = document.getElementById('progress');"
            "return [p.hidden, p.value, document.getElementById('many-status').textContent,"
            " document.body.dataset.manyDone || ''];")
        if 0 < state[1] < 1:
            seen.add(state[2])
        if state[3]:
            break
        time.sleep(0.01)
    assert state[3] == "100000", state
    assert any(text.startswith("Read ") for text in seen), "no progress was shown"
    assert not state[0] and state[1] == 1
    verdict = browser.find_element(By.CSS_SELECTOR, "#verdicts .verdict").text
    assert "when" in verdict and "unix" in verdict
    first = browser.find_element(By.CSS_SELECTOR, "#rows tbody tr").text
    assert "2020-09-13T12:26:40Z" in first  # 1600000000
    assert "<b>row 0</b>" in first
    assert browser.execute_script("return document.querySelectorAll('main b').length") == 0
    browser.save_screenshot(str(SHOTS / "many-values.png"))
    # The CSV download: the header, then one record a line.
    browser.find_element(By.ID, "download").click()
    target = downloads / "epochsift-readings.csv"
    end = time.monotonic() + 60
    while not target.exists() and time.monotonic() < end:
        time.sleep(0.1)
    rows = target.read_text(encoding="utf-8").splitlines()
    assert len(rows) == 100_001
    assert rows[0].startswith("when,when format,when UTC,")
    fields = rows[2].split(",")
    assert fields[:3] == ["1600003600", "unix", "2020-09-13T13:26:40Z"]


# A wall time in a zone with a clock change: Berlin went from 02:00 to 03:00
# on 2024-03-31 and from 03:00 back to 02:00 on 2024-10-27 (EU summer time).
@pytest.mark.parametrize("wall, word, unix", [
    ("2024-05-01 12:00:00", "+02:00", utc(2024, 5, 1, 10)),
    ("2024-03-31 02:30:00", "does not exist", utc(2024, 3, 31, 1, 30)),
    ("2024-10-27 02:30:00", "occurs twice", utc(2024, 10, 27, 0, 30)),
])
def test_encode_places_a_wall_time_with_the_browsers_zone(browser, wall, word, unix):
    select_tab(browser, "encode")
    browser.execute_script("const z = document.getElementById('encode-zone'); z.value = 'Europe/Berlin';")
    set_value(browser, "when", wall)
    wait_for(browser, "return document.querySelectorAll('#encoded tbody tr').length > 10")
    assert word in browser.find_element(By.ID, "encode-status").text
    values = {row.find_element(By.CSS_SELECTOR, ".label-id").text: row.find_element(By.CSS_SELECTOR, "td:nth-child(2) .value-text").text
              for row in browser.find_elements(By.CSS_SELECTOR, "#encoded tbody tr")}
    assert values["unix"] == str(unix)
    # FILETIME counts 100 ns ticks from 1601-01-01.
    assert values["filetime"] == str((unix - utc(1601, 1, 1)) * 10_000_000)
    if word == "occurs twice":
        browser.save_screenshot(str(SHOTS / "encode.png"))


def test_narrow_dark_window(browser):
    select_tab(browser, "one")
    browser.execute_script("document.documentElement.dataset.theme = 'dark'")
    browser.set_window_size(420, 900)
    type_value(browser, "133444736000000000")
    width = browser.execute_script("return document.documentElement.scrollWidth")
    assert width <= 440, "the page scrolls sideways on a narrow window"
    browser.save_screenshot(str(SHOTS / "one-value-narrow-dark.png"))
    browser.set_window_size(1280, 1000)
    browser.execute_script("delete document.documentElement.dataset.theme")


def test_link_to_this_writes_the_fragment_only_when_asked(browser):
    select_tab(browser, "one")
    type_value(browser, "1700000000")
    assert browser.execute_script("return location.hash") == ""
    browser.find_element(By.ID, "link").click()
    fragment = browser.execute_script("return location.hash")
    assert "v=1700000000" in fragment
    browser.get(PAGE.as_uri() + fragment)
    wait_for(browser, "return document.body.dataset.ready === '1' && Number(document.body.dataset.shown || 0) > 0")
    assert first_row(browser)[2] == "2023-11-14T22:13:20Z"


def test_pasted_lines_that_hold_commas_stay_one_column(browser):
    select_tab(browser, "many")
    set_value(browser, "lines", "Wed, 01 May 2024 12:00:00 +0200\nThu, 02 May 2024 12:00:00 +0200\n")
    before = browser.execute_script("return document.body.dataset.manyDone || ''")
    browser.execute_script("document.body.dataset.manyDone = ''")
    browser.find_element(By.ID, "run").click()
    wait_for(browser, "return document.body.dataset.manyDone")
    assert browser.execute_script("return document.body.dataset.manyDone") == "2", before
    assert len(browser.find_elements(By.CSS_SELECTOR, "#verdicts .verdict")) == 1
    # RFC 2822: +0200 is two hours east of UTC.
    assert "2024-05-01T10:00:00Z" in browser.find_element(By.CSS_SELECTOR, "#rows tbody tr").text


def test_a_file_of_one_endless_line_is_cut_not_held(browser):
    # 20 MB without a newline, markup at its start: read as one cut line.
    select_tab(browser, "many")
    browser.execute_script("""
        const file = new File(['<i>' + 'x'.repeat(20 << 20)], 'endless.txt');
        const data = new DataTransfer();
        data.items.add(file);
        document.body.dataset.manyDone = '';
        document.getElementById('header').value = 'no';  // else the one line is taken for a header
        document.getElementById('drop').dispatchEvent(new DragEvent('drop', {dataTransfer: data, bubbles: true}));
    """)
    browser.find_element(By.ID, "run").click()
    wait_for(browser, "return document.body.dataset.manyDone", timeout=120)
    assert browser.execute_script("return document.body.dataset.manyDone") == "1"
    assert "1 over-long lines were cut" in browser.find_element(By.ID, "many-status").text
    assert browser.execute_script("return document.querySelectorAll('main i').length") == 0


def test_no_console_errors_and_no_network_request(browser):
    # Last in the module: the logs cover everything above.
    errors = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []
    requests = []
    for entry in browser.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            url = message["params"]["request"]["url"]
            if not url.startswith(("file:", "data:", "blob:")):
                requests.append(url)
    assert requests == []

