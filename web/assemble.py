"""Writes the single-file page: web/page.html with the style, the scripts
and the WebAssembly module (base64) put in place, and a Content-Security-
Policy that allows exactly those inline pieces (by their SHA-256) and no
network at all.

    python3 web/assemble.py build/web/epochsift.wasm dist/epochsift.html
"""

import base64
import hashlib
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent


def sha256_source(text):
    return "'sha256-%s'" % base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode("ascii")


def assemble(wasm_path, out_path):
    wasm = base64.b64encode(pathlib.Path(wasm_path).read_bytes()).decode("ascii")
    style = (HERE / "page.css").read_text(encoding="utf-8")
    worker = (HERE / "worker.js").read_text(encoding="utf-8")
    engine = (HERE / "engine.js").read_text(encoding="utf-8")
    main = (HERE / "page.js").read_text(encoding="utf-8")
    # The worker runs engine.js and worker.js from a blob: URL the page makes
    # of this inert block's text; the block itself never runs.
    worker_source = engine + "\n" + worker
    for text in (worker_source, engine + main):
        if "</script" in text.lower() or "<!--" in text:
            sys.exit("a script holds </script or <!--, which the HTML parser would act on")
    script = "const WASM_BASE64 = %r;\n%s\n%s" % (wasm, engine, main)
    csp = "; ".join([
        "default-src 'none'",
        "script-src 'wasm-unsafe-eval' %s" % sha256_source(script),
        "style-src %s" % sha256_source(style),
        "worker-src blob:",
        "img-src data:",
        "base-uri 'none'",
        "form-action 'none'",
    ])
    page = (HERE / "page.html").read_text(encoding="utf-8")
    for marker, text in (("{{CSP}}", csp), ("{{STYLE}}", style), ("{{WORKER}}", worker_source),
                         ("{{SCRIPT}}", script)):
        if page.count(marker) != 1:
            sys.exit("web/page.html must hold %s once" % marker)
        page = page.replace(marker, text)
    pathlib.Path(out_path).write_text(page, encoding="utf-8")
    print("wrote %s: %d bytes" % (out_path, len(page.encode("utf-8"))))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    assemble(sys.argv[1], sys.argv[2])
