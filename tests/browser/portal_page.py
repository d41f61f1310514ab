"""The portal simulator's page in headless Chromium: the schedule grid, its size at 1280 pixels, a booking
made by a click that reaches m2401 and comes back as a taken slot through the page's own refresh, with the
service's audit entry of it, and its cancellation by a click on that slot. Arguments: URL PATIENT_ID DOCTOR_SURNAME SCREENSHOT SLOT_OWNER, where
SLOT_OWNER is a command that prints the kl m2401 holds for the slot given as KW YYYYMMDD HH:MM."""
import re
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

url, patient, surname, screenshot, slot_owner = sys.argv[1:6]


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(condition, what, seconds=40):
    deadline = time.time() + seconds
    while time.time() < deadline:
        found = condition()
        if found:
            return found
        time.sleep(0.5)
    fail("no " + what + " after %d s" % seconds)


options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--window-size=1280,900", "--user-data-dir=" + tempfile.mkdtemp(prefix="vorel_chromium_")):
    options.add_argument(flag)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get(url)
    doctors = [th.text for th in driver.find_elements(By.CSS_SELECTOR, "table.grid th.doc")]
    if not any(name.startswith(surname) for name in doctors):
        fail("no doctor named %s in the grid: %s" % (surname, doctors))
    text = driver.find_element(By.ID, "schedule").find_element(By.XPATH, "following-sibling::p").text
    if "showing 7 of " not in text:
        fail("the schedule does not say how much it shows: " + text)
    wide = driver.execute_script("return document.documentElement.scrollWidth - window.innerWidth")
    if wide > 0:
        fail("the page is %d pixels wider than the window" % wide)

    free = driver.find_elements(By.CSS_SELECTOR, "button.slot.free")
    if not free:
        fail("no free slot in the grid")
    # A slot a few cells in, so that the test does not always book the same doctor's first slot.
    slot = free[min(len(free) - 1, 5)]
    fields = slot.get_attribute("value").split("&")  # zapis & & & kw & yyyymmdd & hh:mm & 2 &
    kw, day, tim = fields[3], fields[4], fields[5]
    driver.find_element(By.ID, "patient").send_keys(patient)
    slot.click()

    def owner():
        return subprocess.run([slot_owner, kw, day, tim], capture_output=True, text=True, check=True).stdout.strip()

    # The service books on its next request and sends the taken slots again; the page, refreshing by
    # itself, shows them.
    wait_for(lambda: owner() == patient, "booking of %s %s %s for patient %s in m2401" % (kw, day, tim, patient))
    taken = "button.slot.taken[value='delrec&&&%s&%s&%s&%s']" % (kw, day, tim, patient)
    wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, taken), "taken slot %s %s %s on the page" % (kw, day, tim))
    # The service's audit entry of the booking, with the patient written into the slot's record.
    entry = "#audit tr[data-slot='%s %s %s'][data-answer='ok']" % (kw, day, tim)
    row = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, entry), "audit entry of the booking on the page")[0]
    if not re.search(r'KL "0?" \u2192 "%s";' % patient, row.text):
        fail("the audit entry does not show kl free -> %s: %s" % (patient, row.text))
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'}); arguments[0].style.outline = '3px solid #06c'",
                          driver.find_element(By.CSS_SELECTOR, taken))
    driver.save_screenshot(screenshot)

    driver.find_element(By.CSS_SELECTOR, taken).click()
    wait_for(lambda: owner() in ("", "0"), "cancellation of %s %s %s in m2401" % (kw, day, tim))
    free = "button.slot.free[value='zapis&&&%s&%s&%s&2&']" % (kw, day, tim)
    wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, free), "free slot %s %s %s on the page again" % (kw, day, tim))
    print("BOOKED AND CANCELLED %s %s %s" % (kw, day, tim))
finally:
    driver.quit()
