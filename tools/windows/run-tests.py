#!/usr/bin/env python3
"""Runs the tests of a Windows build tree under Wine and prints a ctest-style summary.

    run-tests.py BUILD_DIR QT_PREFIX [REGEX]

The tests are the ones ctest knows for BUILD_DIR. Each runs under Wine (wine64, or wine32 with
VELMORA_WIN_ARCH=i686) in a Wine prefix of the build tree's own and on an Xvfb display of its own. Qt variables are passed as WINEQT_*
(Wine drops Unix variables that begin with QT_), and each test program writes its report to a
file: Wine's desktop process keeps the test's output pipes open after the test has ended.
"""
import json
import os
import re
import signal
import subprocess
import sys
import time

# The target, as for build-qt.sh: 64-bit programs under wine64 in a 64-bit prefix, or
# 32-bit ones under Debian's wine32 (the i386 architecture) in a 32-bit prefix.
ARCH = os.environ.get('VELMORA_WIN_ARCH', 'x86_64')
BITS = '32' if ARCH == 'i686' else '64'
WINE = '/usr/lib/wine/wine' + ('' if BITS == '32' else '64')
WINESERVER = '/usr/lib/wine/wineserver' + BITS
MINGW_DLL_DIRS = [f'/usr/lib/gcc/{ARCH}-w64-mingw32/12-posix', f'/usr/{ARCH}-w64-mingw32/lib']


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def start_xvfb():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1280x1024x24',
                             '-nolisten', 'tcp'], pass_fds=[write_end],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b''
    with os.fdopen(read_end, 'rb') as pipe:
        while not number.endswith(b'\n'):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        xvfb.kill()
        sys.exit('Xvfb did not start')
    return xvfb, ':' + number.decode().strip()


def wine_env(build, qt, display):
    env = dict(os.environ)
    for name in list(env):
        if name.startswith('QT_'):
            del env[name]
    env.update({
        'WINEPREFIX': os.path.join(os.path.abspath(build), 'wineprefix'),
        'WINEARCH': 'win' + BITS,
        'WINEDEBUG': '-all',
        # No prompts to install Mono or Gecko.
        'WINEDLLOVERRIDES': 'mscoree,mshtml=',
        'WINEPATH': ';'.join(windows_path(d) for d in [os.path.join(qt, 'bin')] + MINGW_DLL_DIRS),
        'DISPLAY': display,
    })
    return env


def prepare_prefix(env, log):
    marker = os.path.join(env['WINEPREFIX'], '.velmora-ready')
    if os.path.exists(marker):
        return
    subprocess.run([WINE, 'wineboot', '-i'], env=env, stdout=log, stderr=log, check=True)
    # The prefix has no Arial; the window's captions are measured in it.
    subprocess.run([WINE, 'reg', 'add', r'HKCU\Software\Wine\Fonts\Replacements', '/v', 'Arial',
                    '/t', 'REG_SZ', '/d', 'Liberation Sans', '/f'],
                   env=env, stdout=log, stderr=log, check=True)
    # A virtual desktop: Wine draws the title bars itself, as Windows would, and
    # the screen can be grabbed.
    for key, name, value in [(r'HKCU\Software\Wine\Explorer', 'Desktop', 'Default'),
                             (r'HKCU\Software\Wine\Explorer\Desktops', 'Default', '1280x1024')]:
        subprocess.run([WINE, 'reg', 'add', key, '/v', name, '/t', 'REG_SZ', '/d', value, '/f'],
                       env=env, stdout=log, stderr=log, check=True)
    subprocess.run([WINESERVER, '-w'], env=env, stdout=log, stderr=log)
    open(marker, 'w').close()


def set_logpixels(env, dpi):
    subprocess.run([WINE, 'reg', 'add', r'HKCU\Control Panel\Desktop', '/v', 'LogPixels', '/t',
                    'REG_DWORD', '/d', dpi, '/f'], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)


def main():
    build, qt = sys.argv[1], sys.argv[2]
    pattern = re.compile(sys.argv[3]) if len(sys.argv) > 3 else None
    listing = json.loads(subprocess.run(['ctest', '--show-only=json-v1'], cwd=build, check=True,
                                        capture_output=True, text=True).stdout)
    tests = [t for t in listing['tests'] if not pattern or pattern.search(t['name'])]
    if not tests:
        sys.exit('no tests found in ' + build)

    out_dir = os.path.join(build, 'wine-test-output')
    os.makedirs(out_dir, exist_ok=True)
    xvfb, display = start_xvfb()
    env = wine_env(build, qt, display)
    failed = []
    try:
        with open(os.path.join(out_dir, 'wineboot.log'), 'w') as log:
            prepare_prefix(env, log)
        subprocess.run([WINESERVER, '-p'], env=env)  # one server for the whole run
        started = time.monotonic()
        width = len(str(len(tests)))
        for number, test in enumerate(tests, 1):
            props = {p['name']: p['value'] for p in test.get('properties', [])}
            test_env = dict(env)
            for assignment in props.get('ENVIRONMENT', []):
                name, _, value = assignment.partition('=')
                # Offscreen on Windows has no system fonts (no Arial, so no caption
                # fits); the tests run on the Windows plugin and the private display.
                if name == 'QT_QPA_PLATFORM':
                    value = 'windows'
                test_env[('WINE' + name) if name.startswith('QT_') else name] = value
            # A screen of another DPI: Wine's setting, for this test alone.
            dpi = test_env.get('VELMORA_WINE_LOGPIXELS')
            if dpi:
                set_logpixels(env, dpi)
            report = os.path.join(out_dir, test['name'] + '.txt')
            if os.path.exists(report):
                os.remove(report)
            command = [WINE] + test['command'] + ['-o', windows_path(report) + ',txt']
            timeout = float(props.get('TIMEOUT', 300))
            begin = time.monotonic()
            with open(os.path.join(out_dir, test['name'] + '.log'), 'w') as log:
                process = subprocess.Popen(command, env=test_env, cwd=props.get('WORKING_DIRECTORY', build),
                                           stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                           start_new_session=True)
                try:
                    code = process.wait(timeout=timeout)
                    status = 'Passed' if code == 0 else 'Failed'
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
                    status = 'Timeout'
            if dpi:
                set_logpixels(env, '96')
            seconds = time.monotonic() - begin
            name = test['name']
            print(f'{number:>{width}}/{len(tests)} Test #{number}: {name} {"." * max(3, 40 - len(name))}'
                  f'   {status:<8} {seconds:6.2f} sec', flush=True)
            if status != 'Passed':
                failed.append(name)
                if os.path.exists(report):
                    with open(report, errors='replace') as text:
                        lines = [l for l in text if l.startswith(('FAIL!', 'XPASS', '   Loc:'))]
                    sys.stdout.write(''.join(lines[:40]))
        total = time.monotonic() - started
    finally:
        subprocess.run([WINESERVER, '-k'], env=env)
        xvfb.terminate()
        xvfb.wait()

    passed = len(tests) - len(failed)
    print(f'\n{100 * passed // len(tests)}% tests passed, {len(failed)} tests failed out of {len(tests)}')
    print(f'\nTotal Test time (real) = {total:.2f} sec')
    if failed:
        print('\nThe following tests FAILED:')
        for name in failed:
            print(f'\t{name}')
        print(f'Reports and logs: {out_dir}')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
