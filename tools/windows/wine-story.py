#!/usr/bin/env python3
"""Follows the Wine story of docs/windows.md in a new, empty Wine prefix, as a new user would:
install the MSI, find the Start-menu entry and the uninstall entry, register Excel
the way Office does (App Paths, 32-bit view), start the installed Velmora, press Ok,
find the twelve settings and Excel started, see no taskbar button for it in Wine's shell
desktop, uninstall, and find the program gone and the settings kept. Nothing is set up
that docs/windows.md does not say: no font mapping, no WINEPATH.

    wine-story.py BUILD_DIR MSI [THE SAME MSI BUILT AGAIN]
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
runner = __import__('run-tests')

SETTINGS = r'HKCU\Software\VB and VBA Program Settings\Quenmark\Velmora'
UNINSTALL = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
APP_PATHS = r'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\excel.exe'
OK_BUTTON = ('268', '316')  # the middle of Ok, in client pixels


def main():
    build, msi = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    rebuilt = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None  # the same, built again
    prefix = os.path.join(build, 'wine-story-prefix')
    shutil.rmtree(prefix, ignore_errors=True)
    xvfb, display = runner.start_xvfb()
    env = runner.wine_env(build, '/nonexistent', display)
    del env['WINEPATH']
    env['WINEPREFIX'] = prefix
    log = open(os.path.join(build, 'wine-story.log'), 'w')
    results = []

    def wine(*args, **kwargs):
        return subprocess.run([runner.WINE] + list(args), env=kwargs.pop('env', env), stdout=log,
                              stderr=log, **kwargs).returncode

    def query(key):
        return subprocess.run([runner.WINE, 'reg', 'query', key, '/s'], env=env, text=True,
                              capture_output=True, errors='replace').stdout

    def check(what, ok, detail=''):
        results.append(ok)
        print(('ok' if ok else 'not ok') + f' {len(results)} - {what}' + ('' if ok else ': ' + detail),
              flush=True)

    msi_log = os.path.join(build, 'wine-story-msiexec.log')
    def msiexec_logged(*args):  # the exit status, and what msiexec /l*v wrote
        open(msi_log, 'w').close()
        code = wine('msiexec', *args, '/qn', '/l*v', runner.windows_path(msi_log))
        return code, open(msi_log, errors='replace').read()

    drive = os.path.join(prefix, 'drive_c')
    folder = os.path.join(drive, 'Program Files', 'Velmora')

    def shortcuts():  # Wine keeps the Start menu of all users, or of this one
        return [os.path.join(d, 'Velmora.lnk') for d, _, names in os.walk(drive)
                if 'Velmora.lnk' in names and d.endswith(os.path.join('Start Menu', 'Programs'))]
    try:
        wine('wineboot', '-i')
        subprocess.run([runner.WINESERVER, '-w'], env=env)

        # 1. Install.
        code = wine('msiexec', '/i', runner.windows_path(msi), '/qn')
        files = ['velmora.exe', 'HAND-M.CUR', 'Qt6Widgets.dll', r'platforms\qwindows.dll',
                 r'licences\NOTICE.txt']
        missing = [f for f in files if not os.path.isfile(os.path.join(folder, *f.split('\\')))]
        check('msiexec /i installs the program folder under Program Files', code == 0 and not missing,
              f'exit status {code}, missing {missing}')
        check('a Start-menu shortcut named Velmora', len(shortcuts()) == 1, str(shortcuts()))
        entry = query(UNINSTALL)
        check('an uninstall entry: Velmora 7.0.0 by Quenmark, its web address, no Modify or Repair',
              all(s in entry for s in ['Velmora', '7.0.0', 'Quenmark', 'http://www.quenmark.example/',
                                       'NoModify    REG_DWORD    0x1', 'NoRepair    REG_DWORD    0x1']),
              entry[-800:])
        # ARPPRODUCTICON's entry of the Icon table, copied out by msiexec; the shortcut's too.
        icon = (query(r'HKLM\Software\Classes\Installer\Products').split('ProductIcon') + [''])[1]
        icon = icon.partition('REG_SZ')[2].split('\n')[0].strip()
        icon_file = os.path.join(drive, *icon[3:].split('\\'))
        check('the installed product and its shortcut show the program\'s icon',
              os.path.isfile(icon_file) and open(icon_file, 'rb').read(4) == b'\0\0\1\0' and
              any(icon.encode('utf-16-le') in open(link, 'rb').read() for link in shortcuts()), icon)

        # An installer built again of the same version replaces the installed one.
        if rebuilt:
            code = wine('msiexec', '/i', runner.windows_path(rebuilt), '/qn')
            entries = query(UNINSTALL).count('DisplayName    REG_SZ    Velmora')
            check('a rebuilt MSI of the same version replaces the installed product',
                  code == 0 and entries == 1 and len(shortcuts()) == 1 and
                  os.path.isfile(os.path.join(folder, 'velmora.exe')),
                  f'exit status {code}, {entries} uninstall entries, shortcuts {shortcuts()}')
            # The first build is no longer installed: removing it must leave the rebuild alone.
            # Windows answers 1605 before opening the package; Wine's msiexec runs it with
            # REMOVE=ALL all the same (a case of Wine alone), and the package refuses: 1603.
            code, said = msiexec_logged('/x', runner.windows_path(msi))
            entries = query(UNINSTALL).count('DisplayName    REG_SZ    Velmora')
            check('msiexec /x of the replaced first build fails and leaves the rebuild installed',
                  code in (1603 & 255, 1605 & 255) and entries == 1 and
                  os.path.isfile(os.path.join(folder, 'velmora.exe')) and
                  (code == 1605 & 255 or 'This build of Velmora is not installed' in said),
                  f'exit status {code}, {entries} uninstall entries: {said[-300:]}')
            msi = rebuilt

        # 2. Excel registered as Office registers it; the stand-in records what it finds.
        office = os.path.join(drive, 'Program Files (x86)', 'Microsoft Office', 'Office12')
        os.makedirs(office, exist_ok=True)
        shutil.copy(os.path.join(build, 'bin', 'Excel.exe'), os.path.join(office, 'EXCEL.EXE'))
        wine('reg', 'add', APP_PATHS, '/ve', '/d',
             r'C:\Program Files (x86)\Microsoft Office\Office12\EXCEL.EXE', '/reg:32', '/f')
        # A user's entry left behind by an Office gone since registers nothing.
        wine('reg', 'add', 'HKCU' + APP_PATHS[4:], '/ve', '/d', r'C:\Old Office\EXCEL.EXE', '/f')
        record = os.path.join(build, 'wine-story-excel.rec')
        for stale in [record, record + '.log']:
            if os.path.exists(stale):
                os.remove(stale)
        run_env = dict(env, VELMORA_TEST_EXCEL_RECORD=runner.windows_path(record),
                       VELMORA_TEST_EXCEL_KEY=SETTINGS.split('\\', 1)[1])

        # 3. Start the installed program from a Downloads folder that holds an
        # Excel.exe and a folder Excel of its own, and press Ok.
        downloads = os.path.join(drive, 'users', 'Public', 'Downloads')
        os.makedirs(os.path.join(downloads, 'Excel'), exist_ok=True)
        shutil.copy(os.path.join(build, 'bin', 'Excel.exe'), os.path.join(downloads, 'Excel.exe'))
        program = subprocess.Popen([runner.WINE, r'C:\Program Files\Velmora\velmora.exe'],
                                   env=run_env, stdout=log, stderr=log, start_new_session=True,
                                   cwd=downloads)
        pressed = wine(runner.windows_path(os.path.join(build, 'bin', 'press_at.exe')), 'Velmora',
                       *OK_BUTTON)
        try:
            status = program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(program.pid, 9)
            status = 'still running'
        stored = query(SETTINGS)
        expected = ['Classic', 'Left', 'All', 'Home', 'Page Layout', 'Insert', 'Formulas', 'Data',
                    'Review', ' View', 'Developer', 'Hide built-in tabs']
        lines = [l.strip() for l in stored.splitlines() if 'REG_SZ' in l]
        check('the installed program saves the twelve settings on Ok',
              pressed == 0 and status == 0 and len(lines) == 12 and
              all(any(l.startswith(k.strip()) for l in lines) for k in expected),
              f'press {pressed}, exit {status}, stored: {stored}')
        for _ in range(200):
            if os.path.exists(record + '.log'):
                break
            time.sleep(0.1)
        ran = open(record + '.log').read().lower() if os.path.exists(record + '.log') else ''
        check('Ok starts Excel found under App Paths (past a user\'s entry whose file is gone), after '
              'the save, not the Downloads one',
              os.path.exists(record) and 'Classic=1' in open(record, errors='replace').read() and
              ran == 'c:\\program files (x86)\\microsoft office\\office12\\excel.exe\n',
              f'no record from the Excel stand-in, or another one ran: {ran!r}')

        # 4. The command line, as a script after installing would use it: the answer
        # comes on the console velmora.exe was started from.
        installed = r'C:\Program Files\Velmora\velmora.exe'
        shown = subprocess.run([runner.WINE, 'cmd', '/c', installed, '--show'], env=env, text=True,
                               capture_output=True, errors='replace', timeout=60)
        check('velmora.exe --show prints in cmd where the settings live and all twelve keys',
              shown.returncode == 0 and r'VB and VBA Program Settings\Quenmark' in shown.stdout and
              shown.stdout.count('ticked') + shown.stdout.count('cleared') == 12,
              f'exit {shown.returncode}: {shown.stdout}{shown.stderr}')
        code = wine(installed, '--set', 'Home=1')
        check('velmora.exe --set Home=1 saves with the rules (Left cleared)',
              code == 0 and all(f'{k}    REG_SZ    {v}' in query(SETTINGS)
                                for k, v in [('Home', 1), ('Left', 0)]),
              f'exit {code}: {query(SETTINGS)}')
        # An answer whose reader goes away (a pipe closed early) fails with the pipe's own
        # reason: Wine reports the cut write as done with nothing written, and the reason
        # was a stale one ("Invalid handle"). A 200,000-digit "1.000..." is a valid 1.
        long_reg = os.path.join(build, 'wine-story-long.reg')
        with open(long_reg, 'w', encoding='utf-16') as f:
            f.write('Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER' + SETTINGS[4:] +
                    ']\n"Classic"="1.' + '0' * 200000 + '"\n')
        wine('reg', 'import', runner.windows_path(long_reg))
        reader = subprocess.Popen([runner.WINE, installed, '--show', '--json'], env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        reader.stdout.read(10)
        reader.stdout.close()
        said = reader.stderr.read().decode('utf-8', errors='replace')
        code = reader.wait(timeout=60)
        check('an answer whose pipe is closed early fails with the pipe\'s reason',
              code == 1 and 'standard output: Pipe not connected' in said, f'exit {code}: {said}')
        wine('reg', 'add', SETTINGS, '/v', 'Classic', '/d', '1', '/f')
        # A stored value it cannot use is quoted as stored, full-width digit and all.
        wine('reg', 'add', SETTINGS, '/v', 'Home', '/d', '\uff11', '/f')
        shown = subprocess.run([runner.WINE, 'cmd', '/c', installed, '--show'], env=env,
                               capture_output=True, timeout=60)
        said = (shown.stdout + shown.stderr).decode('utf-8', errors='replace')
        check('a bad value stops --show with exit 1, quoted readably on the console',
              shown.returncode == 1 and '"\uff11"' in said, f'exit {shown.returncode}: {said}')
        wine('reg', 'add', SETTINGS, '/v', 'Home', '/d', '1', '/f')
        stored = query(SETTINGS)

        # 5. Wine's shell desktop has a taskbar: a plain window gets a button there,
        # Velmora none. Its close box then leaves the settings as they were.
        explorer = r'HKCU\Software\Wine\Explorer'
        wine('reg', 'add', explorer, '/v', 'Desktop', '/d', 'shell', '/f')
        wine('reg', 'add', explorer + r'\Desktops', '/v', 'shell', '/d', '1024x768', '/f')
        subprocess.run([runner.WINESERVER, '-w'], env=env)
        program = subprocess.Popen([runner.WINE, installed], env=env, stdout=log, stderr=log,
                                   start_new_session=True)
        answer = wine(runner.windows_path(os.path.join(build, 'bin', 'press_at.exe')), '--taskbar',
                      'Velmora')
        try:
            status = program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(program.pid, 9)
            status = 'still running'
        check('in explorer /desktop=shell a plain window has a taskbar button, Velmora none',
              answer == 0 and status == 0 and query(SETTINGS) == stored,
              f'press_at --taskbar {answer} (1 shown, 3 no plain button, 4 none known), exit {status}')
        wine('reg', 'delete', explorer, '/v', 'Desktop', '/f')

        # 6. A removed file put back as docs/windows.md says; no uninstall while Velmora runs.
        os.remove(os.path.join(folder, 'Qt6Gui.dll'))
        code = wine('msiexec', '/i', runner.windows_path(msi), 'REINSTALL=ALL', 'REINSTALLMODE=amus', '/qn')
        check('msiexec /i with REINSTALL=ALL REINSTALLMODE=amus puts back a removed file',
              code == 0 and os.path.isfile(os.path.join(folder, 'Qt6Gui.dll')), f'exit status {code}')
        program = subprocess.Popen([runner.WINE, installed], env=env, stdout=log, stderr=log)
        press_at = runner.windows_path(os.path.join(build, 'bin', 'press_at.exe'))
        shown = wine(press_at, '--wait', 'Velmora')
        code, said = msiexec_logged('/x', runner.windows_path(msi))
        left = [f for f in files if os.path.exists(os.path.join(folder, *f.split('\\')))]
        check('msiexec /x while Velmora runs refuses (1603), removes nothing and says why in its log',
              shown == 0 and code == 1603 & 255 and left == files and 'Velmora is running' in said,
              f'exit status {code}, left {left}: {said[-300:]}')
        wine(press_at, 'Velmora', '352', '316')  # Cancel
        program.wait(timeout=30)

        # 7. Uninstall.
        code = wine('msiexec', '/x', runner.windows_path(msi), '/qn')
        left = [f for f in files if os.path.exists(os.path.join(folder, *f.split('\\')))]
        check('msiexec /x removes every installed file and the shortcut',
              code == 0 and not left and not shortcuts(),
              f'exit status {code}, left {left}')
        check('the settings stay after uninstalling', query(SETTINGS) == stored, query(SETTINGS))
    finally:
        subprocess.run([runner.WINESERVER, '-k'], env=env)
        xvfb.terminate()
        xvfb.wait()
        log.close()

    failed = results.count(False)
    print(f'story: {len(results) - failed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
