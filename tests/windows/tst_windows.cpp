// Where the Windows program differs: the registry store, Excel started through
// the shell from the program folder, the window's taskbar state, and how the
// pages look under the real platform plugin. Each case has a registry key of
// its own below HKEY_CURRENT_USER\Software\Velmora tests.

#include "frmOptions.h"
#include "open_with_shell.h"
#include "option_check_box.h"
#include "settings_store.h"
#include "tab_strip.h"
#include "test_registry.h"
#include "window_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace
{

// Beside the tests, where the shell finds it as "Excel".
QString excelStandIn()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + "/Excel.exe");
}

// A name registered under App Paths (or not), what else has it, and what comes of it.
struct AppPath {
    const char *name;
    QString registered;   // what App Paths names, if anything
    QString planted = {}; // what has the name in the folder we start from: file, folder
    QString folder = {};  // the program folder, if one of this name
    QString ran = {};     // what runs: the stand-in, or the one beside; else nothing
    ShellOutcome::Registered unused = ShellOutcome::Registered::Used; // why it was not used
    QString said = {};    // in the reason it was not run
    bool machine = false; // in HKLM's 32-bit view, else in HKCU's 64-bit one
};

} // namespace

Q_DECLARE_METATYPE(AppPath)

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_w.reset();
        m_w.realShell = true; // Excel is really started
    }

    void shownWindowHasNoTaskbarButton()
    {
        QVERIFY(m_w.start());
        // Showing twice: Qt sets the owner anew on every show.
        for (int round = 0; round < 2; ++round) {
            m_w.form->show();
            QVERIFY(QTest::qWaitForWindowExposed(m_w.form.get()));
            const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
            const LONG_PTR exStyle = GetWindowLongPtrW(hwnd(), GWL_EXSTYLE);
            QVERIFY2(GetWindow(hwnd(), GW_OWNER) != nullptr, "an unowned window gets a button");
            QVERIFY(!(exStyle & WS_EX_APPWINDOW));
            // Still the fixed dialog frame with its title bar, not a tool window.
            QVERIFY(!(exStyle & WS_EX_TOOLWINDOW));
            QCOMPARE(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME),
                     LONG_PTR(WS_CAPTION | WS_SYSMENU));
            // A dialog's frame, without an icon; the whole window, frame included, centred.
            QVERIFY(exStyle & WS_EX_DLGMODALFRAME);
            QVERIFY(!SendMessageW(hwnd(), WM_GETICON, ICON_SMALL, 0));
            QVERIFY(!GetClassLongPtrW(hwnd(), GCLP_HICONSM) &&
                    !GetClassLongPtrW(hwnd(), GCLP_HICON));
            // As Windows has the frame, not as Qt last measured it.
            RECT outer{};
            QVERIFY(GetWindowRect(hwnd(), &outer));
            const QPoint off =
                QRect(outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top)
                    .center() -
                m_w.form->screen()->geometry().center();
            QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
                     qPrintable(QStringLiteral("%1,%2 off").arg(off.x()).arg(off.y())));
            m_w.form->hide();
        }
    }
    void okStartsExcelAfterTheTwelfthWrite()
    {
        QTemporaryDir records;
        QVERIFY(records.isValid());
        const QString record = records.filePath(QStringLiteral("excel.rec"));
        qputenv("VELMORA_TEST_EXCEL_RECORD", QDir::toNativeSeparators(record).toUtf8());
        qputenv("VELMORA_TEST_EXCEL_KEY", m_w.store->key.section().toUtf8());

        QVERIFY(m_w.start());
        Check1(*m_w.form, 4)->click();
        Check22(*m_w.form, 1)->click();
        QVERIFY(m_w.messages.isEmpty());
        const QStringList saved{"1", "1", "1", "0", "1", "0", "0", "0", "0", "0", "0", "1"};
        QCOMPARE(m_w.store->key.values(), saved);

        // Excel ran once, from the program folder, with no arguments, and found all twelve.
        QTRY_COMPARE_WITH_TIMEOUT(readLines(record + ".log").size(), 1, 20000);
        QStringList expected{QDir::toNativeSeparators(QCoreApplication::applicationDirPath()), "0"};
        for (int i = 0; i < OptionCount; ++i)
            expected << QString::fromLatin1(kOptionTable[i].key) + "=" + saved[i];
        QStringList found = readLines(record);
        QVERIFY(!found.isEmpty());
        QCOMPARE(found.first().toLower(),
                 expected.first().toLower()); // drive letters differ in case
        QCOMPARE(found.mid(1, expected.size() - 1), expected.mid(1));
        qunsetenv("VELMORA_TEST_EXCEL_RECORD");
    }
    void excelFoundUnderAppPaths_data()
    {
        QTest::addColumn<AppPath>("row");
        using R = ShellOutcome::Registered;
        const QString standIn = excelStandIn(), name = "<name>.exe";
        const AppPath rows[] = {
            {"none registered", ""},
            {"HKCU, 64-bit view", standIn, "", "", "stand-in"},
            {"HKLM, 32-bit view, quoted", '"' + standIn + '"', "", "", "stand-in", R::Used, "",
             true},
            {"quoted, with an argument", '"' + standIn + "\" /e", "", "", "stand-in"},
            // Read whole (values over 520 characters were dropped), and too long to be started.
            {"by a path of over 520 characters", "<long>", "", "", "", R::Used, "its path is"},
            {"a program of the name where we started", standIn, "file", "", "stand-in"},
            {"a folder of the name where we started", standIn, "folder", "", "stand-in"},
            {"registered, but the file is gone", "C:\\Nowhere\\EXCEL.EXE", "", "", "", R::Missing},
            {"relative, and where we started", name, "file", "", "", R::Relative},
            {"drive-relative, and where we started", "C:" + name, "file", "", "", R::Relative},
            // Wine's shell expanded %NAME% in the file and in the working folder.
            {"beside, in a folder %USERNAME%", "", "", "%USERNAME%", "beside"},
            {"beside, in a folder pct %PATH%", "", "", "pct %PATH%", "beside"},
            {"registered, program folder pct %PATH%", standIn, "", "pct %PATH%", "stand-in"},
            // An unusable entry of the user's registers nothing: the machine's is taken (after
            // "|").
            {"HKCU's file gone, HKLM's there", "C:\\Nowhere\\EXCEL.EXE|" + standIn, "", "",
             "stand-in"},
            {"HKCU's relative, HKLM's there", name + '|' + standIn, "file", "", "stand-in"},
            {"HKCU's and HKLM's gone", "C:\\Nowhere\\EXCEL.EXE|C:\\Gone\\EXCEL.EXE", "", "", "",
             R::Missing},
            // Windows reads a path without its trailing blanks and dots.
            {"with a trailing blank, folder pct %PATH%", standIn + ' ', "", "pct %PATH%",
             "stand-in"},
            {"with trailing dots, folder pct %PATH%", standIn + "..", "", "pct %PATH%", "stand-in"},
            {"a batch file, program folder pct %PATH%", "<bat>", "", "pct %PATH%", "", R::Used,
             "the % in Velmora's folder, "},
            {"a batch file on a share", "<share>", "", "", "", R::Used, "network share"},
            {"a shortcut", "<lnk>", "", "", "", R::Used, "neither a program file"},
            {"a file that is no program", "<text>", "", "", "", R::Used, "could not be run: "},
            {"a program folder of over 258 characters", standIn, "", "<long>", "", R::Used,
             "Velmora's folder, "},
        };
        for (const AppPath &row : rows)
            QTest::newRow(row.name) << row;
    }
    void excelFoundUnderAppPaths()
    {
        QFETCH(AppPath, row);
        auto [_, registered, planted, folder, ran, unused, said, machine] = row;
        // A name only App Paths knows: the stand-in is registered under it, Office's way.
        const QString name =
            QStringLiteral("VelmoraProbe%1").arg(QCoreApplication::applicationPid());
        const QString standIn = QCoreApplication::applicationDirPath() + "/Excel.exe";
        QTemporaryDir records, start, programs;
        // The program folder, with the stand-in beside, and another where Wine would take a
        // %USERNAME% in the folder's name.
        folder = folder.isEmpty() ? records.path()
                                  : programs.filePath(folder.replace("<long>", QString(250, u'l')));
        const QString decoy = programs.filePath(qEnvironmentVariable("USERNAME"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(ran != "beside" ||
                (QDir().mkpath(decoy) && QFile::copy(standIn, folder + '/' + name + ".exe") &&
                 QFile::copy(standIn, decoy + '/' + name + ".exe")));
        QString path = programs.path();
        for (int i = 0; registered == "<long>" && i < 5; ++i)
            path += '/' + QString(100, u'l');
        if (registered == "<long>")
            QVERIFY(QDir().mkpath(path) && QFile::copy(standIn, path + "/EXCEL.EXE"));
        // Files of other kinds; a share where Wine maps \\velmora-srv\share, on its Unix side.
        const QString share =
            "Z:" + qEnvironmentVariable("WINEPREFIX") + "/dosdevices/unc/velmora-srv";
        const QString kinds[][2] = {{"<bat>", programs.filePath("Excel.bat")},
                                    {"<lnk>", programs.filePath("Excel.lnk")},
                                    {"<text>", programs.filePath("Excel.exe")},
                                    {"<share>", share + "/share/Excel.bat"}};
        for (const auto &[mark, file] : kinds) {
            QFile made(file);
            if (registered == mark)
                QVERIFY(QDir().mkpath(QFileInfo(file).path()) && made.open(QIODevice::WriteOnly) &&
                        made.write("@exit 0\r\n") == 9);
            registered.replace(mark, mark == "<share>" ? "\\\\velmora-srv\\share\\Excel.bat"
                                                       : QDir::toNativeSeparators(file));
        }
        registered.replace("<long>", QDir::toNativeSeparators(path + "/EXCEL.EXE"))
            .replace("<name>", name);
        // Each entry (the second in HKLM's 32-bit view) with a Path of its own.
        const std::wstring subkey =
            (QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + name +
             QStringLiteral(".exe"))
                .toStdWString();
        const QStringList entries = registered.isEmpty() ? QStringList() : registered.split('|');
        const std::pair<HKEY, REGSAM> places[] = {{machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                                                   machine ? KEY_WOW64_32KEY : KEY_WOW64_64KEY},
                                                  {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}};
        const auto folders = [&](qsizetype i) {
            return QDir::toNativeSeparators(records.filePath(QString::number(i)));
        };
        for (qsizetype i = 0; i < entries.size(); ++i) {
            HKEY key = nullptr;
            QCOMPARE(RegCreateKeyExW(places[i].first, subkey.c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE | places[i].second, nullptr, &key, nullptr),
                     LONG(ERROR_SUCCESS));
            for (const auto &[value, text] : {std::pair(L"", entries[i]), {L"Path", folders(i)}})
                RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.utf16()),
                               DWORD((text.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
        // Started from a folder of someone else's, which holds a stand-in of the same name.
        const QString record = records.filePath(QStringLiteral("excel.rec"));
        qputenv("VELMORA_TEST_EXCEL_RECORD", QDir::toNativeSeparators(record).toUtf8());
        const QString cwd = QDir::currentPath();
        QVERIFY(planted != "file" || QFile::copy(standIn, start.filePath(name + ".exe")));
        QVERIFY(planted != "folder" || QDir(start.path()).mkdir(name));
        QDir::setCurrent(start.path());

        const ShellOutcome outcome = OpenWithShell(0, name, folder);
        QDir::setCurrent(cwd);
        for (qsizetype i = 0; i < entries.size(); ++i)
            RegDeleteKeyExW(places[i].first, subkey.c_str(), places[i].second, 0);
        QDir(share).removeRecursively();
        qunsetenv("VELMORA_TEST_EXCEL_RECORD");
        QVERIFY2(outcome.started == !ran.isEmpty(),
                 qPrintable(outcome.found + ": " + outcome.reason));
        if (outcome.started) { // that program ran, and nothing else, in the program folder
            const QString file = ran == "beside" ? folder + '/' + name + ".exe" : standIn;
            QTRY_COMPARE_WITH_TIMEOUT(readLines(record + ".log").size(), 1, 20000);
            QCOMPARE(readLines(record + ".log").first().toLower(),
                     QDir::toNativeSeparators(file).toLower());
            QCOMPARE(readLines(record).first().toLower(),
                     QDir::toNativeSeparators(folder).toLower());
            // With the Path of the entry used before PATH, as the shell starts it.
            if (ran == "stand-in")
                QVERIFY2(readLines(record).last().startsWith("PATH=" + folders(entries.size() - 1) +
                                                             ';'),
                         qPrintable(readLines(record).last()));
        } else { // the message names every place looked at, a registered value not used and its key
            QVERIFY2(outcome.lookedIn.contains("App Paths") && outcome.lookedIn.contains("HKLM"),
                     qPrintable(outcome.lookedIn));
            QCOMPARE(outcome.registered, unused);
            QCOMPARE(outcome.registeredIn.startsWith("HKCU\\Software\\"),
                     unused != ShellOutcome::Registered::Used);
            QCOMPARE(outcome.found, entries.value(0));
            QVERIFY2(outcome.reason.contains(said) && !outcome.reason.endsWith('.') &&
                         (!said.contains("folder") ||
                          outcome.reason.contains(QDir::toNativeSeparators(folder))),
                     qPrintable(outcome.reason));
        }
    }
    void pagesUnderTheWindowsPlugin()
    {
        QVERIFY(m_w.start());
        m_w.form->show();
        m_w.form->activateWindow();
        // Room for a busy machine: these wait for Wine, not for us.
        QVERIFY(QTest::qWaitForWindowActive(m_w.form.get(), 20000));
        // Written where asked (tools/windows/take-screenshots.sh asks for docs/).
        const QString folder = qEnvironmentVariable("VELMORA_SCREENSHOTS");
        // At another DPI (tools/windows/run-tests.py), the pictures say which.
        const QString dpi = qEnvironmentVariable("VELMORA_WINE_LOGPIXELS");
        const QString suffix = dpi.isEmpty() ? QString() : QStringLiteral("@%1dpi").arg(dpi);
        const QString names[] = {"windows-options-page" + suffix + ".png",
                                 "windows-about-page" + suffix + ".png"};
        QImage shot, last, before; // the shot of the page before
        for (int tab = 1; tab <= 2; ++tab) {
            tbsOptions(*m_w.form)->setSelectedItem(tbsOptions(*m_w.form)->Tabs().Item(short(tab)));
            const QRect frame = m_w.form->frameGeometry();
            const auto grab = [&] {
                return m_w.form->screen()
                    ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                    .toImage();
            };
            // Painted: the screen shows another picture than before, the same twice running.
            QTRY_VERIFY((last = std::exchange(shot, grab()), shot == last && shot != before));
            before = shot;
            const qreal ratio = shot.devicePixelRatio(); // above 1 at a high DPI setting
            QCOMPARE((QSizeF(shot.size()) / ratio).toSize(), frame.size());
            if (!dpi.isEmpty())
                QCOMPARE(ratio, dpi.toInt() / 96.0);
            // The title bar is drawn around the white client area.
            QVERIFY(frame.height() > m_w.form->height());
            const QPoint inTitle(frame.width() / 2, (frame.height() - m_w.form->height()) / 2);
            QVERIFY(shot.pixelColor(inTitle * ratio) != QColor(Qt::white));
            if (!folder.isEmpty())
                QVERIFY(shot.save(QDir(folder).filePath(names[tab - 1])));
        }
        // Over the link, the hand of HAND-M.CUR, scaled with the screen as Windows scales
        // its own pointers. A black-and-white pointer's mask holds two images, one above
        // the other.
        const qreal ratio = m_w.form->devicePixelRatio();
        QWidget *link = label(*m_w.form, "lblWebsite");
        const QPoint over = link->mapToGlobal(link->rect().center()) * ratio;
        // From elsewhere first: a pointer left on that spot by an earlier test (the display is
        // shared) would not move, and no move would reach the window.
        SetCursorPos(0, 0);
        SetCursorPos(over.x(), over.y());
        QTRY_COMPARE_WITH_TIMEOUT(m_w.form->MousePointer(), 99, 20000);
        QVERIFY(m_w.form->MouseIcon());
        // The pointer Windows shows over the window, as its hotspot and size.
        auto shown = [] {
            ICONINFO hand{};
            BITMAP mask{};
            if (!GetIconInfo(GetCursor(), &hand))
                return QRect();
            GetObjectW(hand.hbmMask, sizeof mask, &mask);
            const int height = hand.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
            DeleteObject(hand.hbmMask);
            DeleteObject(hand.hbmColor);
            return QRect(int(hand.xHotspot), int(hand.yHotspot), mask.bmWidth, height);
        };
        const QCursor &file = *m_w.form->MouseIcon();
        QTRY_COMPARE(shown(), QRect(file.hotSpot() * ratio, file.pixmap().size() * ratio));
    }
    void programFile()
    {
        const std::wstring program =
            QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdWString() +
            L"\\velmora.exe";
        // The version's strings, in the block that Explorer reads (US English, Unicode).
        QByteArray info(int(GetFileVersionInfoSizeW(program.c_str(), nullptr)), '\0');
        GetFileVersionInfoW(program.c_str(), 0, DWORD(info.size()), info.data());
        QStringList found;
        for (const char *field :
             {"CompanyName", "ProductName", "FileDescription", "LegalCopyright", "InternalName",
              "OriginalFilename", "FileVersion", "ProductVersion"}) {
            void *value = nullptr;
            UINT size = 0;
            const std::wstring path =
                QStringLiteral("\\StringFileInfo\\040904b0\\%1").arg(field).toStdWString();
            found << (VerQueryValueW(info.data(), path.c_str(), &value, &size)
                          ? QString::fromWCharArray(static_cast<const wchar_t *>(value))
                          : QString());
        }
        QCOMPARE(found, QStringList({"Quenmark", "Velmora",
                                     "Velmora, options of the Quenmark add-in for Excel",
                                     "Copyright (c) 2026 Quenmark. MIT licence.", "velmora",
                                     "velmora.exe", "7.0.0.0", "7.0.0.0"}));
        // The five images of the icon (16 to 256 pixels, numbered by windres), as Windows decodes
        // them.
        const HMODULE file =
            LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        for (WORD id = 1; id <= 6; ++id) {
            const HRSRC image = FindResourceW(file, MAKEINTRESOURCEW(id), RT_ICON);
            QCOMPARE(image && CreateIconFromResourceEx(
                                  static_cast<BYTE *>(LoadResource(file, image)),
                                  SizeofResource(file, image), TRUE, 0x30000, 0, 0, 0),
                     id <= 5);
        }
        // The manifest as Windows takes it in at start: the run level and the systems.
        ACTCTXW request{sizeof(ACTCTXW), ACTCTX_FLAG_RESOURCE_NAME_VALID, program.c_str()};
        request.lpResourceName = MAKEINTRESOURCEW(1);
        const HANDLE context = CreateActCtxW(&request);
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
        char systems[512]{}; // a count, then entries whose size differs between versions of Windows
        QVERIFY(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, nullptr) &&
                QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                             systems, sizeof systems, nullptr));
        ReleaseActCtx(context);
        QCOMPARE(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
        // Windows 7, 8, 8.1, and 10 with 11, whose entry makes them answer version queries truly.
        QCOMPARE(*reinterpret_cast<const DWORD *>(systems), DWORD(4));
        QVERIFY(QByteArray(systems, sizeof systems) // that entry's GUID as Windows stores it
                    .contains(QByteArray::fromHex("127a0f8eb3bfe84fb9a548fd50a15a9a")));
    }

private:
    HWND hwnd() const { return reinterpret_cast<HWND>(m_w.form->winId()); }

    FormUnderTest m_w;
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
