#!/usr/bin/env python3
"""The containers' receipt from a phone, in a real browser.

The application server runs on loopback on a fresh SQLite file with the demo data, its demo day
moved to today (a label's link is valid until the end of the day after its service); servtran-web
serves the page over HTTPS with a certificate made for the run. The day's labels are printed to
PDF with the print module's drawing, one label's QR Code is read back with zbarimg, and headless
chromium at 360 x 640 opens its link, records the receipt by keyboard alone, and the stored row
is read back through the server. Then a tampered link, a second receipt and a correction, a
reading out of range and a use-by already past, and the bounds of the web front under attack.
Every wait is bounded. Exit 77 (skipped) only when chromium, its driver or selenium is missing.
"""

import argparse
import base64
import datetime
import hashlib
import hmac
import http.client
import json
import os
import re
import shutil
import socket
import sqlite3
import ssl
import subprocess
import sys
import tempfile
import time

SKIP = 77
BRANCH, SERVICE = "0001", "00001"
DEMO_DAY = "2026-12-08"


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)
    print("PASS: " + message, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, process, what, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            fail(f"{what} ended at start (code {process.returncode})")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.1)
    fail(f"{what} did not listen on {port} within {seconds} s")


def run(args, **kw):
    return subprocess.run(args, check=True, timeout=120, capture_output=True, text=True, **kw).stdout


def https(port, method, path, body=None, headers=None, timeout=10):
    """One request with the standard library, for the status codes a browser does not show."""
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    conn = http.client.HTTPSConnection("127.0.0.1", port, context=context, timeout=timeout)
    try:
        conn.request(method, path, body=body, headers=headers or {})
        response = conn.getresponse()
        return response.status, response.read().decode("utf-8", "replace"), dict(response.getheaders())
    finally:
        conn.close()


def move_day(db, from_day, to_day):
    """Every row of a service day moves to another day (ISO dates), as if made for it; the history
    of changes, which nothing may alter, stays where it was."""
    if from_day == to_day:
        return
    con = sqlite3.connect(db, timeout=10)
    con.execute("PRAGMA foreign_keys = OFF")
    for table in [r[0] for r in con.execute("SELECT name FROM sqlite_master WHERE type = 'table'")]:
        if table != "HISTSERVTRAN" and "DTSERVTRAN" in [r[1] for r in con.execute(f"PRAGMA table_info({table})")]:
            con.execute(f"UPDATE {table} SET DTSERVTRAN = ? WHERE DTSERVTRAN = ?", (to_day, from_day))
    con.commit()
    con.close()


def set_prepared(db, moment_utc):
    """Every dish of the day prepared at that moment: their use-by follows from it."""
    con = sqlite3.connect(db, timeout=10)
    con.execute("UPDATE PREPSERVTRAN SET DTHRPREPARO = ?", (moment_utc.strftime("%Y-%m-%dT%H:%M:%S.000Z"),))
    con.commit()
    con.close()


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def signed_for_day(db, token, day):
    """The same label's link for another day, signed with the server's own key as the server signs
    (the key read from the database): an authentic link, only of that day."""
    payload, signature = token.split(".")
    fields = base64.urlsafe_b64decode(payload + "=" * (-len(payload) % 4)).decode().split("|")
    con = sqlite3.connect(db, timeout=10)
    key_text = con.execute("SELECT DSCHAVE FROM CHAVELINK WHERE NRCHAVE = ?", (int(fields[-1]),)).fetchone()[0]
    con.close()
    # the key as the server uses it: its bytes, or its hex text; the scanned link says which
    key = next(k for k in (bytes.fromhex(key_text), key_text.encode())
               if b64url(hmac.new(k, payload.encode(), hashlib.sha256).digest()[:16]) == signature)
    fields[3] = day
    other = b64url("|".join(fields).encode())
    return other + "." + b64url(hmac.new(key, other.encode(), hashlib.sha256).digest()[:16])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--web", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--work", required=True)
    opts = parser.parse_args()

    chromium = shutil.which("chromium")
    driver_path = shutil.which("chromedriver")
    try:
        from selenium import webdriver
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
        from selenium.webdriver.support.ui import WebDriverWait
    except ImportError:
        webdriver = None
    if not chromium or not driver_path or webdriver is None:
        print("SKIP: chromium, chromedriver or python3-selenium is not installed")
        return SKIP
    for tool in ("zbarimg", "pdftoppm", "openssl"):
        if not shutil.which(tool):
            fail(f"{tool} is missing (scripts/install-deps.sh installs it)")

    work = tempfile.mkdtemp(prefix="webreceipt-", dir=opts.work)
    processes = []
    browser = None
    try:
        server_port, web_port = free_port(), free_port()
        web_url = f"https://127.0.0.1:{web_port}"
        db = os.path.join(work, "servtran.db")
        secret = os.path.join(work, "senha")
        with open(secret, "w") as f:
            f.write("demo\n")
        os.chmod(secret, 0o600)
        cert, key = os.path.join(work, "web.pem"), os.path.join(work, "web.key")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
             "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert])

        server_log = open(os.path.join(work, "server.log"), "w")
        server = subprocess.Popen([opts.server, "--db", "sqlite:" + db, "--demo", "--host", "127.0.0.1", "--port",
                                   str(server_port), "--web-url", web_url], stdout=server_log, stderr=server_log)
        processes.append(server)
        wait_port(server_port, server, "servtran-server")
        # the demo day becomes today, its dishes prepared half an hour ago: its links are valid and
        # its use-by still ahead whatever day the test runs
        now_utc = datetime.datetime.now(datetime.timezone.utc)
        iso_today = datetime.date.today().isoformat()
        move_day(db, DEMO_DAY, iso_today)
        set_prepared(db, now_utc - datetime.timedelta(minutes=30))
        today = datetime.date.today().strftime("%d/%m/%Y")

        web_log_path = os.path.join(work, "web.log")
        web_log = open(web_log_path, "w")
        web = subprocess.Popen([opts.web, "--port", str(web_port), "--tls-cert", cert, "--tls-key", key,
                                "--server-port", str(server_port), "--operator", "RECEB", "--password-file", secret,
                                "--max-connections", "8", "--max-connections-per-address", "4", "--timeout", "3"],
                               stdout=web_log, stderr=web_log)
        processes.append(web)
        wait_port(web_port, web, "servtran-web")

        tool = [opts.tool, "127.0.0.1", str(server_port), "ADMIN", secret]

        # --- The labels, printed and scanned back ---
        pdf = os.path.join(work, "etiquetas.pdf")
        count = int(run(tool + ["labels", BRANCH, SERVICE, today, pdf]).strip())
        check(count > 0, f"the day's {count} labels printed to PDF")
        run(["pdftoppm", "-r", "300", "-f", "1", "-l", "1", "-png", pdf, os.path.join(work, "pagina")])
        page = next(os.path.join(work, n) for n in sorted(os.listdir(work)) if n.startswith("pagina"))
        scanned = subprocess.run(["zbarimg", "--raw", "-q", "-Sdisable", "-Sqrcode.enable", page],
                                 capture_output=True, text=True, timeout=60).stdout.split()
        links = [s for s in scanned if s.startswith(web_url + "/e/")]
        check(len(links) >= 3, f"the first page's QR Codes carry the labels' links ({len(links)} of {len(scanned)})")
        link = links[0]
        token = link[len(web_url) + 3:]

        # the container left the kitchen, at a safe temperature for its mode, as the dispatch window records it
        before = json.loads(run(tool + ["receipt", token]))
        check(before["QTRECEBIMENTOS"] == 0 and before["DSLINK"] == link, "the server reads the scanned link back as its label's")
        good, bad, dispatched = {"Q": ("65,5", "40", "68"), "R": ("3,5", "9", "2"),
                                 "C": ("-20", "-5", "-22")}.get(before["IDCONSERV"], ("25", None, "25"))
        fields = base64.urlsafe_b64decode(token.split(".")[0] + "==").decode().split("|")
        run(tool + ["dispatch", fields[1], fields[2], datetime.date.fromisoformat(fields[3]).strftime("%d/%m/%Y"),
                    fields[4], fields[5], fields[6], dispatched])

        # --- The phone ---
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                    "--window-size=360,640", "--no-first-run", "--disable-extensions"):
            options.add_argument(arg)
        options.accept_insecure_certs = True   # the run's own self-signed certificate
        from selenium.webdriver.chrome.service import Service
        browser = webdriver.Chrome(service=Service(driver_path), options=options)
        browser.set_page_load_timeout(20)
        browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                {"width": 360, "height": 640, "deviceScaleFactor": 2, "mobile": True})
        wait = WebDriverWait(browser, 15)

        started = time.monotonic()
        browser.get(link)
        opened = time.monotonic()
        html = browser.page_source
        check("<script" not in html.lower(), "the page carries no script")
        check(browser.execute_script("return window.innerWidth") == 360, "the viewport is a phone's, 360 px wide")
        check(browser.execute_script("return document.documentElement.scrollWidth <= window.innerWidth"),
              "nothing runs off the phone's width")
        labels = {l.get_attribute("for"): l.text for l in browser.find_elements(By.TAG_NAME, "label")}
        for field in ("temperatura", "recebedor"):
            check(labels.get(field, "").strip() != "" and browser.find_element(By.ID, field).tag_name == "input",
                  f"the input {field} has its label \"{labels.get(field)}\"")
        for element in browser.find_elements(By.CSS_SELECTOR, "input, button"):
            check(element.size["height"] >= 44, f"touch target {element.get_attribute('id') or element.text} "
                                                 f"is {element.size['height']} px high")
        body_text = browser.find_element(By.TAG_NAME, "body").text
        check(before["NMPRATO"] in body_text and before["NMDESTFILI"] in body_text and "Consumir até" in body_text
              and f"Etiqueta {int(before['NRSEQUETIQTR'])}" in body_text,
              "the page shows the container's dish, point, label and use-by")
        check(f"{dispatched},0 °C" in body_text.replace("\u00a0", " "), "and its dispatch temperature")
        picture = os.environ.get("SERVTRAN_PICTURE_DIR", opts.work)

        # the reading, typed by keyboard alone: Tab to each input, Enter submits
        body = browser.find_element(By.TAG_NAME, "body")
        body.click()
        for _ in range(30):
            if browser.switch_to.active_element.get_attribute("id") == "temperatura":
                break
            browser.switch_to.active_element.send_keys(Keys.TAB)
        check(browser.switch_to.active_element.get_attribute("id") == "temperatura", "Tab reaches the temperature")
        browser.switch_to.active_element.send_keys(good)
        browser.switch_to.active_element.send_keys(Keys.TAB)
        check(browser.switch_to.active_element.get_attribute("id") == "recebedor", "Tab goes on to the receiver's name")
        browser.switch_to.active_element.send_keys("Maria Souza")
        typed = time.monotonic()
        browser.switch_to.active_element.send_keys(Keys.ENTER)
        wait.until(lambda b: b.find_elements(By.ID, "recebido"))
        shown = time.monotonic()
        stored = json.loads(run(tool + ["receipt", token]))
        checked = time.monotonic()
        check(stored["QTRECEBIMENTOS"] == 1 and stored["NMRECEBEDOR"] == "Maria Souza"
              and abs(stored["VRTEMPRECEB"] - float(good.replace(",", "."))) < 1e-9,
              f"the server stored the receipt: {stored['VRTEMPRECEB']} °C by {stored['NMRECEBEDOR']}")
        con = sqlite3.connect(db, timeout=10)
        row = con.execute("SELECT CDOPERADOR, DSENDERECO FROM RECESERVTRAN ORDER BY NRSEQRECEB").fetchall()
        con.close()
        check(row == [("RECEB", "127.0.0.1")], f"it was written by the web front's operator from the phone's address {row}")
        check(not browser.find_elements(By.ID, "alerta"), "a reading in range raises no alert")
        print(f"FIGURE: link opened to page shown: {(opened - started) * 1000:.0f} ms; "
              f"Enter to receipt shown: {(shown - typed) * 1000:.0f} ms; "
              f"link opened to receipt stored and read back through the server, keyboard typing included: "
              f"{(checked - started) * 1000:.0f} ms", flush=True)
        browser.save_screenshot(os.path.join(picture, "receipt-phone.png"))

        # a later scan shows what was recorded; a correction needs its reason
        browser.get(link)
        recorded = browser.find_element(By.ID, "recebido").text
        check("Maria Souza" in recorded, "a later scan shows what was recorded")
        browser.find_element(By.ID, "temperatura").send_keys(bad or "30")
        browser.find_element(By.ID, "recebedor").send_keys("Maria Souza")
        browser.find_element(By.ID, "recebedor").send_keys(Keys.ENTER)
        wait.until(lambda b: b.find_elements(By.ID, "erro"))
        refusal = browser.find_element(By.ID, "erro").text
        check("motivo" in refusal, f"a second receipt without a reason is refused: \"{refusal}\"")
        check(json.loads(run(tool + ["receipt", token]))["QTRECEBIMENTOS"] == 1, "and nothing was stored")
        browser.find_element(By.ID, "motivo").send_keys("Termômetro trocado")
        browser.find_element(By.ID, "motivo").send_keys(Keys.ENTER)
        wait.until(lambda b: b.find_elements(By.ID, "recebido") and not b.find_elements(By.ID, "erro"))
        stored = json.loads(run(tool + ["receipt", token]))
        check(stored["QTRECEBIMENTOS"] == 2 and stored["DSMOTIVORECEB"] == "Termômetro trocado",
              "the correction is stored as a new entry with its reason")
        if bad:
            alert = browser.find_element(By.ID, "alerta")
            colour = alert.value_of_css_property("background-color")
            check("não servir; avise a cozinha" in alert.text.lower() and colour in ("rgba(176, 0, 32, 1)", "rgb(176, 0, 32)"),
                  f"a reading out of range says so in words and red: \"{alert.text}\"")
            browser.save_screenshot(os.path.join(picture, "receipt-phone-alert.png"))

        # a tampered link is refused, in the page and its status
        payload, signature = token.split(".")
        flipped = payload[:-2] + ("A" if payload[-2] != "A" else "B") + payload[-1]
        for name, bad_token in (("payload", flipped + "." + signature), ("signature", payload + "." + signature[::-1])):
            status, text, headers = https(web_port, "GET", "/e/" + bad_token)
            check(status == 403 and "Link de etiqueta inválido." in text,
                  f"a link with a tampered {name} is refused with 403 and the server's message")
        browser.get(web_url + "/e/" + payload + "." + signature[::-1])
        check("Link de etiqueta inválido." in browser.find_element(By.ID, "erro").text
              and not browser.find_elements(By.TAG_NAME, "form"), "the browser shows the refusal, and no form")
        status, _, headers = https(web_port, "GET", "/e/" + token)
        check(status == 200 and headers.get("Cache-Control") == "no-store" and headers.get("Referrer-Policy") == "no-referrer"
              and "script-src" not in headers.get("Content-Security-Policy", "x") and "default-src 'none'" in headers.get("Content-Security-Policy", ""),
              "the page is never cached, never passes its link on and may run no script")

        # an authentic link past its day: the label's service two days ago
        old_day = (datetime.date.today() - datetime.timedelta(days=2)).isoformat()
        expired = signed_for_day(db, token, old_day)
        move_day(db, iso_today, old_day)
        status, text, _ = https(web_port, "GET", "/e/" + expired)
        check(status == 410 and "Link de etiqueta vencido em" in text, "an expired link is refused with 410 and the server's date")
        status, text, _ = https(web_port, "POST", "/e/" + expired, body="temperatura=4&recebedor=X",
                                headers={"Content-Type": "application/x-www-form-urlencoded"})
        check(status == 410, "and nothing can be recorded through it")
        move_day(db, old_day, iso_today)

        # a container past its use-by: "do not serve" before any reading
        set_prepared(db, now_utc - datetime.timedelta(days=8))
        browser.get(links[1])
        alerts = browser.find_elements(By.ID, "alerta")
        check(alerts and "vencido" in alerts[0].text and "não servir; avise a cozinha" in alerts[0].text.lower(),
              "a container past its use-by says at once not to serve it")

        # --- The bounds, as attacks on loopback ---
        status, text, _ = https(web_port, "POST", "/e/" + links[2][len(web_url) + 3:], body="temperatura=" + "9" * 8000,
                                headers={"Content-Type": "application/x-www-form-urlencoded"})
        check(status == 413, "a form larger than the bound is refused (413) unread")
        check(https(web_port, "GET", "/")[0] == 404 and https(web_port, "DELETE", "/e/" + token)[0] == 405,
              "nothing but the labels' pages is served")
        held = []
        for _ in range(10):
            s = socket.create_connection(("127.0.0.1", web_port), timeout=2)
            held.append(s)
        time.sleep(0.3)
        refused = 0
        for s in held:
            s.settimeout(1)
            try:
                if s.recv(1) == b"":
                    refused += 1
            except socket.timeout:
                pass
            except OSError:
                refused += 1
        check(refused >= 6, f"connections beyond the bound from one address are closed ({refused} of 10)")
        slow_start = time.monotonic()
        for s in held:
            s.settimeout(8)
            try:
                s.recv(1)
            except OSError:
                pass
        check(time.monotonic() - slow_start < 7, "silent connections are dropped after the timeout (3 s)")
        for s in held:
            s.close()
        check(https(web_port, "GET", "/e/" + token)[0] == 200, "and the page answers again afterwards")
        with open(web_log_path) as f:
            log = f.read()
        check(token not in log and payload not in log and "demo" not in log and "Maria" not in log,
              "the web front's log holds no link, password or name")
        return 0
    finally:
        if browser is not None:
            browser.quit()
        for p in reversed(processes):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        if os.environ.get("SERVTRAN_KEEP_WORK") != "1":
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
