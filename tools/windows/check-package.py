#!/usr/bin/env python3
"""Checks a package folder: licences/ holds every licence and notice the files come
under, and velmora.exe, started under Wine with nothing on WINEPATH, loads every DLL
and plugin from its own folder.

    check-package.py BUILD_DIR PACKAGE_FOLDER
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
runner = __import__('run-tests')


# What licences/ must say, file by file: the text that shows it is the right one.
LICENCES = {
    'Velmora-MIT.txt': 'Permission is hereby granted, free of charge',
    'LGPL-3.txt': 'GNU LESSER GENERAL PUBLIC LICENSE',
    'GPL-3.txt': 'GNU GENERAL PUBLIC LICENSE',
    'qt6-base-copyright.txt': 'Upstream-Name: qtbase',
    'NOTICE.txt': 'qt6-base 6.4.2+dfsg-10',
}


def licence_problems(folder):
    where = os.path.join(folder, 'licences')
    texts = {name: open(os.path.join(where, name), errors='replace').read()
             for name in (os.listdir(where) if os.path.isdir(where) else [])}
    problems = [name + ' lacks "' + phrase + '"' for name, phrase in LICENCES.items()
                if phrase not in texts.get(name, '')]
    patches = [name for name in texts if name.endswith('.patch')]
    if len(patches) != 2 or any(name not in texts['NOTICE.txt'] for name in patches):
        problems.append('the two Qt source fixes are not there, or not named in NOTICE.txt')
    everything = '\n'.join(texts.values())
    for phrase in ['GCC RUNTIME LIBRARY EXCEPTION', 'winpthreads']:
        if phrase not in everything:
            problems.append('no licence text says "' + phrase + '"')
    return ['licences/: ' + p for p in problems]


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
    problems = licence_problems(folder) + ([] if running else ['velmora.exe ended by itself'])
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
    print('Package check: licences/ is complete, and velmora.exe runs from its folder with '
          'its own DLLs and plugins')
    return 0


if __name__ == '__main__':
    sys.exit(main())
