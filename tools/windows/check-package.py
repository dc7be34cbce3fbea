#!/usr/bin/env python3
"""Starts the packaged velmora.exe under Wine with nothing on WINEPATH and checks that
every DLL and plugin it loads comes from its own folder.

    check-package.py BUILD_DIR PACKAGE_FOLDER
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
runner = __import__('run-tests')


def main():
    build, folder = sys.argv[1], os.path.abspath(sys.argv[2])
    xvfb, display = runner.start_xvfb()
    env = runner.wine_env(build, '/nonexistent', display)
    del env['WINEPATH']
    env['WINEDEBUG'] = '+loaddll'
    log_path = os.path.join(build, 'package-check.log')
    try:
        with open(os.path.join(build, 'wineboot.log'), 'w') as log:
            runner.prepare_prefix(env, log)
        with open(log_path, 'w') as log:
            program = subprocess.Popen([runner.WINE, os.path.join(folder, 'velmora.exe')], env=env,
                                       stdout=log, stderr=log, start_new_session=True)
            time.sleep(10)  # start-up, the window and its cursor
            running = program.poll() is None
            if running:
                os.killpg(program.pid, 9)
            program.wait()
    finally:
        subprocess.run([runner.WINESERVER, '-k'], env=env)
        xvfb.terminate()
        xvfb.wait()

    loaded = open(log_path, errors='replace').read()
    native = runner.windows_path(folder).lower()
    problems = [] if running else ['velmora.exe ended by itself']
    for name in ['Qt6Core.dll', 'Qt6Gui.dll', 'Qt6Widgets.dll', r'platforms\qwindows.dll',
                 r'styles\qwindowsvistastyle.dll', r'imageformats\qico.dll', 'libstdc++-6.dll']:
        if (native + '\\' + name.lower()).replace('\\', '\\\\') not in loaded.lower():
            problems.append(name + ' was not loaded from the package')
    if 'err:module' in loaded:
        problems.append('Wine could not load a module')
    for p in problems:
        print('package check: ' + p, file=sys.stderr)
    if problems:
        print('see ' + log_path, file=sys.stderr)
        return 1
    print('Package check: velmora.exe runs from its folder, with its own DLLs and plugins')
    return 0


if __name__ == '__main__':
    sys.exit(main())
