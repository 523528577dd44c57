#!/usr/bin/python3
"""The README's picture of the line board (docs/board.png), taken from a real browser.

usage: scripts/board-screenshot.py BUILD_DIR OUT.png

Starts a Mosquitto broker and `stavel --watch URL --http PORT --history FILE` on 127.0.0.1,
with a history of the last 8 hours written beforehand, puts four stations with their slots on
the broker (mosquitto_pub, from Debian's mosquitto-clients), opens the board in headless
Chromium (python3-selenium) and saves what it shows. Each step waits for what the next one
needs (the broker listening, the board holding every station and both failures, the page drawn
with the chosen station's plots), never a fixed time, so a slow machine gets the same picture.
"""

import json
import os
import random
import socket
import subprocess
import sys
import tempfile
import time
import uuid
from datetime import datetime, timedelta, timezone

import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

STATIONS = {
    'line7-pc1': ['A1', 'A2', 'A3', 'A4', 'B1', 'B2', 'B3', 'B4'],
    'line7-pc2': ['A1', 'A2', 'A3', 'A4', 'B1', 'B2', 'B3', 'B4'],
    'line7-pc3': ['A1', 'A2', 'A3', 'A4'],
    'line8-pc1': ['S1', 'S2', 'S3', 'S4', 'S5', 'S6'],
}
REASONS = ['box silent for 120 s', 'port lost at 63 % (41 s)', 'box stopped reading at 12 %',
           'image changed on disk']


DEADLINE = 60  # seconds for any one step; only a broken setup takes that long
LIVE_FAILURES = [('line7-pc2', 'B2', 'box silent for 120 s'),
                 ('line7-pc1', 'B2', 'port lost at 63 % (41 s)')]


def wait_for(what, ready, process=None):
    """Polls ready() until it answers something true, which it returns."""
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        if process is not None and process.poll() is not None:
            sys.exit('board-screenshot: %s: the process ended first' % what)
        answer = ready()
        if answer:
            return answer
        time.sleep(0.05)
    sys.exit('board-screenshot: gave up waiting for %s' % what)


def listening(port):
    try:
        with socket.create_connection(('127.0.0.1', port), timeout=1):
            return True
    except OSError:
        return False


def board_state(http_port):
    try:
        with urllib.request.urlopen('http://127.0.0.1:%d/api/stations' % http_port, timeout=2) as answer:
            return json.load(answer)
    except (OSError, ValueError):
        return None


def holds_line(state):
    """The board has every station with all its slots (the retained messages came through its
    subscription, so results published from now on reach it)."""
    if not state or not state['broker']['connected']:
        return False
    heard = {station['name']: [slot['name'] for slot in station['slots'] if slot['state']]
             for station in state['stations'] if station['online'] is not None}
    return all(heard.get(name) == labels for name, labels in STATIONS.items())


def holds_results(state, ids):
    heard = {failure['id'] for failure in state['failures']} if state else set()
    return ids <= heard


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def iso(when):
    return when.strftime('%Y-%m-%dT%H:%M:%S.') + '%03dZ' % (when.microsecond // 1000)


def write_history(path):
    now = datetime.now(timezone.utc)
    rng = random.Random(4)
    lines = []
    for station, slots in STATIONS.items():
        weak = 'line7-pc2' in station
        for slot in slots:
            when = now - timedelta(hours=8)
            while when < now - timedelta(minutes=2):
                when += timedelta(seconds=rng.uniform(150, 260))
                fail = rng.random() < (0.12 if weak and slot == 'B2' else 0.03)
                line = {'id': str(uuid.UUID(int=rng.getrandbits(128), version=4)),
                        'station': station, 'slot': slot, 'result': 'fail' if fail else 'pass',
                        'end': iso(when), 'seconds': round(rng.uniform(95, 125), 1)}
                if fail:
                    line['reason'] = rng.choice(REASONS)
                    line['box_id'] = 'SN%06d' % rng.randrange(10**6)
                lines.append((when, json.dumps(line)))
    lines.sort()
    with open(path, 'w') as out:
        out.writelines(text + '\n' for _, text in lines)


def publish(port, topic, payload):
    subprocess.run(['mosquitto_pub', '-p', str(port), '-t', topic, '-m', payload, '-r', '-q', '1'],
                   check=True)


def record(station, slot, result, reason, seconds, box_id):
    """A box's record as a station publishes it (docs/record.schema.json)."""
    end = datetime.now(timezone.utc)
    return json.dumps({
        'id': str(uuid.uuid4()), 'slot': slot, 'device': '/dev/ttyUSB3', 'adapter': None,
        'result': result, 'reason': reason, 'start': iso(end - timedelta(seconds=seconds)),
        'end': iso(end), 'seconds': seconds, 'bytes': 8388608, 'requests': 2048,
        'coverage': 1, 'coverage_sent': 1, 'image': '/srv/images/fw-2.4.sdl',
        'image_size': 8388608, 'image_sha256': '3f2a' * 16, 'log_complete': True, 'schema': 1,
        'tool_version': '1.0.0.1', 'host': station, 'station': station, 'operator': 'Ann Meyer',
        'job': 'fw-2.4-line7', 'box_id': box_id, 'repeat_of': None, 'by_path': None,
        'by_id': None, 'adapter_serial': None,
        'reason_code': 'passed' if result == 'pass' else 'box-silent', 'log_file': None})


def state(rng, word, i):
    """A slot's state as its station publishes it (download/SlotStatusCodec.h)."""
    end = iso(datetime.now(timezone.utc) - timedelta(minutes=rng.randrange(1, 9)))
    failed = {'result': 'fail', 'reason': 'port lost at 63 % (41 s)', 'reason_code': 'port-lost',
              'box_id': 'SN4711%02d' % i, 'end': end}
    passed = {'result': 'pass', 'reason': '', 'reason_code': 'passed',
              'box_id': 'SN4712%02d' % i, 'end': end}
    loading = word in ('loading', 'stalled')
    payload = {
        'state': 'loading' if loading else word, 'percent': rng.randrange(5, 95) if loading else 0,
        'rate': 11520 if word == 'loading' else 0,
        'eta': rng.randrange(10, 90) if word == 'loading' else None,
        'passes': rng.randrange(90, 130), 'fails': rng.randrange(0, 6), 'aborts': 0,
        'stalled': 6 if word == 'stalled' else None,
        'last': failed if word in ('failed', 'port-absent') else
        passed if word in ('passed', 'waiting-for-box') else None,
        'port_problem': {'trouble': 'lost', 'text': '/dev/ttyUSB7: device lost'}
        if word == 'port-absent' else None,
        'hint': 'is it in download mode?' if word == 'no-request' else None,
        'schema': 2}
    return json.dumps(payload)


def put_line(port):
    started = iso(datetime.now(timezone.utc) - timedelta(hours=9))
    states = ['loading', 'port-absent', 'passed', 'no-request', 'loading', 'failed', 'stalled',
              'loading', 'waiting-for-box', 'loading']
    rng = random.Random(7)
    for station, slots in STATIONS.items():
        base = 'stavel/' + station + '/'
        publish(port, base + 'status', 'offline' if station == 'line8-pc1' else 'online')
        publish(port, base + 'info', json.dumps({
            'station': station, 'version': '1.0.0.1', 'started': started,
            'slots': [{'label': s, 'port': '/dev/serial/by-path/pci-0000:00:14.0-usb-0:%d:1.0-port0' % i}
                      for i, s in enumerate(slots)],
            'job': 'fw-2.4-line7' if station.startswith('line7') else 'fw-3.0-pilot',
            'operator': 'Ann Meyer' if station != 'line7-pc3' else 'Jun Park',
            'image': '/srv/images/fw-2.4.sdl', 'image_sha256': '3f2a' * 16}))
        for i, slot in enumerate(slots):
            word = states[(i + len(station)) % len(states)] if station != 'line8-pc1' else 'waiting-for-port'
            publish(port, base + slot + '/state', state(rng, word, i))


def put_live_failures(port):
    """Two boxes that just failed, heard live; answers their records' ids."""
    ids = set()
    for station, slot, reason in LIVE_FAILURES:
        payload = record(station, slot, 'fail', reason, 120.4, 'SN4711%02d' % len(station))
        subprocess.run(['mosquitto_pub', '-p', str(port), '-q', '1', '-t',
                        'stavel/%s/%s/result' % (station, slot), '-m', payload],
                       check=True)
        ids.add(json.loads(payload)['id'])
    return ids


def main():
    build, out = sys.argv[1:3]
    folder = tempfile.mkdtemp(prefix='stavel-board-shot-')
    broker_port, http_port = free_port(), free_port()
    with open(os.path.join(folder, 'mosquitto.conf'), 'w') as config:
        config.write('listener %d 127.0.0.1\nallow_anonymous true\nuser %s\n' %
                     (broker_port, os.environ.get('USER', 'root')))
    broker = subprocess.Popen(['/usr/sbin/mosquitto', '-c', os.path.join(folder, 'mosquitto.conf')],
                              stderr=subprocess.DEVNULL)
    history = os.path.join(folder, 'history.jsonl')
    write_history(history)
    wait_for('the broker', lambda: listening(broker_port), broker)
    board = subprocess.Popen([os.path.join(build, 'bin', 'stavel'), '--watch',
                              'mqtt://127.0.0.1:%d' % broker_port, '--http', str(http_port),
                              '--history', history], stdout=subprocess.DEVNULL)
    try:
        wait_for('the board', lambda: board_state(http_port), board)
        put_line(broker_port)
        wait_for('the stations on the board', lambda: holds_line(board_state(http_port)), board)
        live = put_live_failures(broker_port)
        wait_for('the live failures on the board', lambda: holds_results(board_state(http_port), live),
                 board)
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--hide-scrollbars',
                         '--window-size=1440,1240', '--lang=en-GB'):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        try:
            driver.get('http://127.0.0.1:%d/' % http_port)
            page = WebDriverWait(driver, DEADLINE, poll_frequency=0.05)
            page.until(lambda d: d.execute_script(
                "return document.querySelectorAll('.card').length === %d"
                " && document.querySelectorAll('#failures tr').length >= %d"
                " && document.querySelector('#plot-boxes').childElementCount > 0"
                " && document.fonts.status === 'loaded'" % (len(STATIONS), len(LIVE_FAILURES))))
            driver.find_element('css selector', '#station').send_keys('line7-pc2')
            # The caption and the slots' yields are drawn together, from the chosen station's plot.
            page.until(lambda d: d.execute_script(
                "return document.querySelector('#slots-caption').textContent"
                " === 'Yield per slot of line7-pc2'"
                " && document.querySelectorAll('#plot-slots text.name').length === %d"
                % len(STATIONS['line7-pc2'])))
            driver.save_screenshot(out)
        finally:
            driver.quit()
    finally:
        board.terminate()
        board.wait()
        broker.terminate()
        broker.wait()


if __name__ == '__main__':
    main()
