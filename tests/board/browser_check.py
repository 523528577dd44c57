#!/usr/bin/python3
"""Opens the line board in headless Chromium and checks what a supervisor would see.

usage: browser_check.py URL STATION SCREENSHOT
       browser_check.py --wall URL STATION SLOTS SCREENSHOT

Waits until the card of STATION shows a tile that passed and one that failed, with the
failure's reason in the list of failures, and the forged station "<b>forged</b>" with its
hostile reason and box id; all of them as plain text, none run or parsed as markup. Then the
records: the Pareto shows the failure's reason code, the search box finds the forged box by
its hostile id, and the CSV link of the page's range and scope gives the records as CSV. Saves a
screenshot. Exit status 0 when every check holds, 1 with the reason otherwise.

With --wall, the wall view at 1920 x 1080: once the card of STATION shows its SLOTS tiles, every
slot's state word must be at least 48 px high as drawn (its glyphs' ascent and descent in the
tile's font), the totals must show, and nothing but the stations and the totals.
"""

import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# The page's own view, in one call: the cards, their tiles and the failures, as text.
READ_PAGE = """
const cards = [...document.querySelectorAll('.card')].map((card) => ({
  name: card.querySelector('.station-name').textContent,
  tiles: [...card.querySelectorAll('.tile')].map((tile) => ({
    slot: tile.querySelector('.slot-name').textContent,
    words: tile.querySelector('.words').textContent,
    detail: tile.querySelector('.detail').textContent,
  })),
}));
const failures = [...document.querySelectorAll('#failures tr')].map(
  (row) => [...row.children].map((cell) => cell.textContent));
return {
  cards, failures,
  pwned: window.pwned === undefined ? null : String(window.pwned),
  images: document.querySelectorAll('img').length,
  scripts: [...document.querySelectorAll('script')].map((script) => script.src),
  bold: document.querySelectorAll('main b').length,
  pareto: [...document.querySelectorAll('#plot-pareto text.name')].map((t) => t.textContent),
  found: [...document.querySelectorAll('#find-results tr')].map(
    (row) => [...row.children].map((cell) => cell.textContent)),
  findState: document.getElementById('find-state').textContent,
  csv: document.getElementById('csv-link').getAttribute('href'),
};
"""

# The CSV link's file, fetched by the page itself (its cookie, its origin).
FETCH_CSV = """
const done = arguments[arguments.length - 1];
fetch(document.getElementById('csv-link').href, { credentials: 'same-origin' })
  .then((response) => response.text().then((text) => done(response.status + '\\n' + text)))
  .catch((error) => done('failed ' + error));
"""

FORGED_REASON = '<img src=x onerror="window.pwned=2">'
FORGED_BOX = '<script>window.pwned=3</script>'


def problems(page, station):
    """What does not hold yet; empty when everything does."""
    found = []
    card = next((c for c in page['cards'] if c['name'] == station), None)
    if card is None:
        found.append('no card named %r among %r' % (station, [c['name'] for c in page['cards']]))
    else:
        words = [t['words'] for t in card['tiles']]
        if '\u2714 PASS' not in words:
            found.append('no tile shows \u2714 PASS: %r' % words)
        if '\u2718 FAIL' not in words:
            found.append('no tile shows \u2718 FAIL: %r' % words)
    if not any(row[1] == station and row[3].startswith('box silent') for row in page['failures']):
        found.append('no failure of %r with its reason: %r' % (station, page['failures']))
    if not any(c['name'] == '<b>forged</b>' for c in page['cards']):
        found.append('the forged station is not shown by its name as text')
    if not any(row[3] == FORGED_REASON and row[4] == FORGED_BOX for row in page['failures']):
        found.append('the forged reason and box id are not shown as text: %r' % page['failures'])
    # Whatever the page shows, nothing in it was run or parsed.
    if page['pwned'] is not None:
        return ['a text from the broker ran as script: pwned=' + page['pwned']]
    if page['images'] or page['bold'] or len(page['scripts']) != 1:
        return ['a text from the broker became markup: %r' % page]
    return found


def record_problems(page):
    """What of the records does not hold yet, once the search has been asked."""
    found = []
    if 'box-silent' not in page['pareto']:
        found.append('the Pareto shows no box-silent: %r' % page['pareto'])
    if not any(row[1] == '<b>forged</b>' and row[3] == 'FAIL' and row[4] == FORGED_REASON
               for row in page['found']):
        found.append('the search did not find the forged box: %r %r' % (page['found'], page['findState']))
    if not (page['csv'] or '').startswith('api/export.csv?range=8h'):
        found.append('the CSV link is not the range on screen: %r' % page['csv'])
    return found


# The wall view as drawn: each tile's word with the height of its glyphs, measured in the
# tile's own font, and whether anything but the stations and the totals shows.
READ_WALL = """
const station = arguments[0];
const card = [...document.querySelectorAll('.card')].find(
  (c) => c.querySelector('.station-name').textContent === station);
const canvas = document.createElement('canvas').getContext('2d');
const words = card ? [...card.querySelectorAll('.tile .words')].map((word) => {
  const style = getComputedStyle(word);
  canvas.font = style.fontWeight + ' ' + style.fontSize + ' ' + style.fontFamily;
  const m = canvas.measureText(word.textContent);
  const box = word.getBoundingClientRect();
  return { text: word.textContent, height: m.actualBoundingBoxAscent + m.actualBoundingBoxDescent,
           inside: box.bottom <= window.innerHeight && box.right <= window.innerWidth,
           clipped: word.scrollWidth > word.clientWidth };
}) : [];
return {
  words,
  lower: getComputedStyle(document.querySelector('.lower')).display,
  totals: document.getElementById('totals').textContent,
  scrolls: document.documentElement.scrollHeight > window.innerHeight,
};
"""


def wall_problems(page, slots):
    found = []
    if len(page['words']) != slots:
        return ['%d tiles, not %d' % (len(page['words']), slots)]
    for word in page['words']:
        if word['height'] < 48:
            found.append('the word %r is %.1f px high' % (word['text'], word['height']))
        if not word['inside'] or word['clipped']:
            found.append('the word %r is not shown whole' % word['text'])
    if page['lower'] != 'none':
        found.append('the history shows on the wall')
    if 'yield' not in page['totals']:
        found.append('no totals: %r' % page['totals'])
    if page['scrolls']:
        found.append('the wall scrolls')
    return found


def browser(size):
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     '--window-size=' + size, '--hide-scrollbars'):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def check_wall(url, station, slots, screenshot):
    driver = browser('1920,1080')
    try:
        # The page's own size, whatever the window around it takes.
        driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': 1920, 'height': 1080, 'deviceScaleFactor': 1,
                                'mobile': False})
        driver.set_page_load_timeout(20)
        driver.get(url + '?wall')
        found = ['nothing read yet']
        deadline = time.monotonic() + 40
        while found and time.monotonic() < deadline:
            time.sleep(0.25)
            page = driver.execute_script(READ_WALL, station)
            found = wall_problems(page, slots)
        print('wall words: ' + ', '.join('%s %.0f px' % (w['text'], w['height'])
                                         for w in page['words'][:4]))
        driver.save_screenshot(screenshot)
    finally:
        driver.quit()
    return report('wall check', found)


def report(check, found):
    """Says whether the check held, and what did not; the exit status."""
    if found:
        print(check + ' failed:\n  ' + '\n  '.join(found))
        return 1
    print(check + ' passed')
    return 0


def main():
    if sys.argv[1] == '--wall':
        return check_wall(sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5])
    url, station, screenshot = sys.argv[1:4]
    driver = browser('1400,900')
    try:
        driver.set_page_load_timeout(20)
        driver.get(url)
        found = ['nothing read yet']
        deadline = time.monotonic() + 40
        while found and time.monotonic() < deadline:
            time.sleep(0.25)
            found = problems(driver.execute_script(READ_PAGE), station)
            if found and found[0].startswith('a text from the broker'):
                break
        if not found:
            # The range chosen again: the plots (and the Pareto) are asked for at once.
            driver.find_element('css selector', '.ranges button[data-range="8h"]').click()
            box = driver.find_element('id', 'find-box')
            box.send_keys(FORGED_BOX)
            driver.find_element('id', 'find-go').click()
            found = ['nothing read yet']
            while found and time.monotonic() < deadline:
                time.sleep(0.25)
                page = driver.execute_script(READ_PAGE)
                found = problems(page, station) + record_problems(page)
        if not found:
            csv = driver.execute_async_script(FETCH_CSV)
            if not csv.startswith('200\nid,') or 'id-forged' not in csv:
                found.append('the CSV link gave %r' % csv[:300])
        driver.save_screenshot(screenshot)
    finally:
        driver.quit()
    return report('browser check', found)


if __name__ == '__main__':
    sys.exit(main())
