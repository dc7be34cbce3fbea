// The window's life from start-up to closing, each case from its own store
// folder: loading, stored values that stop start-up, the custom pointer file,
// Ok, Cancel and the close box, the Ctrl+Tab shortcut, the pointer reactions
// and the web link. The shell is a recorder: what was handed to it, from where,
// and what the store held at that moment.

#include "frmOptions.h"
#include "option_check_box.h"
#include "option_states.h"
#include "page_frame.h"
#include "settings_store.h"
#include "store_examples.h"
#include "tab_strip.h"
#include "test_files.h"
#include "window_fixture.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QLabel>
#include <QLockFile>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <filesystem>
#include <sys/stat.h>

#ifdef Q_OS_WIN
#include "../windows/test_registry.h"
// Cases of the settings file's own format and locking; the registry store's
// counterparts are in tests/windows.
#define SKIP_ON_WINDOWS() QSKIP("a case of the settings file")
#else
#define SKIP_ON_WINDOWS()
#endif

using Kind = StoreError::Kind;

namespace
{

QString programFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).canonicalPath();
}

#ifndef Q_OS_WIN
// A commit replaces the file by a new one, so a write shows as a new inode.
QString fileIdentity(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("<missing>");
    return QStringLiteral("%1/%2.%3")
        .arg(st.st_ino)
        .arg(qint64(st.st_mtim.tv_sec))
        .arg(qint64(st.st_mtim.tv_nsec));
}
#endif

// The values of the twelve keys as a fresh reader of the file sees them.
QStringList storedValues(const QString &file)
{
    QSettings settings(file, QSettings::NativeFormat);
    QStringList values;
    for (const OptionInfo &option : kOptionTable) {
        const QString where = QStringLiteral("Velmora/") + QString::fromLatin1(option.key);
        values << (settings.contains(where) ? settings.value(where).toString() : QString("-"));
    }
    return values;
}

QStringList valuesOf(const OptionSet::State &state)
{
    QStringList values;
    for (OptionValue v : state)
        values << QString::number(v);
    return values;
}

OptionSet::State shownByBoxes(const frmOptions &form)
{
    OptionSet::State shown{};
    for (int i = 0; i < OptionCount; ++i)
        shown[i] = Check1(form, i)->Value();
    return shown;
}

// A real cursor file: Qt writes an icon, whose type word and first entry's two
// words then become a cursor's with hot spot (hotX, hotY).
QByteArray realCursorFile(int hotX, int hotY)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(4, 2, 12, 20, Qt::black);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(image))
        return {};
    QByteArray bytes = buffer.data();
    bytes[2] = 2;
    bytes[10] = char(hotX);
    bytes[11] = 0;
    bytes[12] = char(hotY);
    bytes[13] = 0;
    return bytes;
}

// Puts a file (or a folder) named HAND-M.CUR into the program folder for the
// guard's lifetime. Whatever was there, such as the shipped cursor the build
// copies beside the programs, is kept aside and put back, also on failure; the
// name is only ever switched by renames, so it never stands half written.
class ProgramFolderCursor
{
public:
    explicit ProgramFolderCursor(const std::optional<QByteArray> &content)
        : m_path(QFileInfo(programFolder()).filesystemFilePath() / frmOptions::CursorFile),
          m_backup(m_path.string() + ".tst_startup_closing." +
                   std::to_string(QCoreApplication::applicationPid())),
          m_staged(m_backup.string() + ".new"),
          m_lock(QFileInfo(m_path).filePath() + ".lock") // against a second run of this test
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (!m_lock.tryLock(60000))
            return;
        if (fs::exists(m_path, ec)) {
            if (!fs::is_regular_file(m_path, ec) ||
                !fs::copy_file(m_path, m_backup, fs::copy_options::overwrite_existing, ec))
                return; // not ours to touch
            m_hadFile = true;
        }
        if (content) {
            if (!writeFile(QFileInfo(m_staged).filePath(), *content))
                return;
            fs::rename(m_staged, m_path, ec);
        } else {
            fs::remove(m_path, ec);
            m_isFolder = fs::create_directory(m_path, ec);
        }
        m_placed = !ec;
    }
    ~ProgramFolderCursor()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::remove(m_staged, ec);
        if (m_isFolder)
            fs::remove(m_path, ec);
        if (m_hadFile)
            fs::rename(m_backup, m_path, ec);
        else if (m_placed)
            fs::remove(m_path, ec);
    }
    ProgramFolderCursor(const ProgramFolderCursor &) = delete;
    ProgramFolderCursor &operator=(const ProgramFolderCursor &) = delete;

    bool placed() const { return m_placed; }

private:
    std::filesystem::path m_path, m_backup, m_staged;
    QLockFile m_lock;
    bool m_hadFile = false;
    bool m_isFolder = false;
    bool m_placed = false;
};

// Records which widget each pointer move is delivered to first, including the
// moves Qt drops for widgets that do not track the pointer.
class MoveRecorder : public QObject
{
public:
    QList<QObject *> receivers;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove && watched->isWidgetType())
            receivers << watched;
        return false;
    }
};

} // namespace

class TestStartupClosing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStart();
    void loadingExamples_data();
    void loadingExamples();
    void badStoredValueStopsStartUp_data();
    void badStoredValueStopsStartUp();
    void cursorFile_data();
    void cursorFile();

    void okSavesThenStartsExcel_data();
    void okSavesThenStartsExcel();
    void okTwiceSavesAndStartsOnce();
    void whenTheShellFails_data();
    void whenTheShellFails();
    void closingWithoutSaving_data();
    void closingWithoutSaving();
    void failedSaveKeepsTheWindow_data();
    void failedSaveKeepsTheWindow();

    void ctrlTabNextTab_data();
    void ctrlTabNextTab();
    void otherTabKeysKeepTheTab_data();
    void otherTabKeysKeepTheTab();
    void pointerMoves_data();
    void pointerMoves();
    void websiteLink_data();
    void websiteLink();

private:
    QString storeFile() const { return m_dir->filePath("Quenmark.conf"); }
    // The store of the case: its file, or on Windows the case's registry key.
    bool seedStore(const QByteArray &fileText) const;
    bool seedPairs(const QStringList &pairs) const; // key=value in section Velmora
    QByteArray storeSnapshot() const;
    QStringList storeValues() const;
    QString storeText(const QString &section, const QString &key) const;
    QString storeIdentity() const; // changes with every save
    // Start-up of a form over the store folder; false, with the reason logged, on an error.
    bool startForm();
    bool showAndActivate() { return m_w.showAndActivate(); }
    void selectTab(int index) { tbsOptions(*m_w.form)->setSelectedItem(tabs().Item(short(index))); }
    const TabStripTabs &tabs() const { return tbsOptions(*m_w.form)->Tabs(); }
    // The selected tab and where the two pages stand: "<tab>: <x> on|off, <x> on|off".
    QString pages() const;
    static QString pagesShowing(int tab)
    {
        return tab == 1 ? "1: 14 on, -1333 off" : "2: -1333 off, 14 on"; // 210, -20000 twips
    }
    QWidget *control(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
#ifdef Q_OS_WIN
    std::unique_ptr<TestKey> m_key;
#endif
    FormUnderTest m_w;
};

void TestStartupClosing::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_w.reset();
    m_w.storeLocation = storeFile();
#ifdef Q_OS_WIN
    m_key = std::make_unique<TestKey>(QString::fromLatin1(QTest::currentTestFunction()));
    m_w.snapshot = [this] { return storeSnapshot(); };
#endif
}

void TestStartupClosing::cleanup()
{
    m_w.reset();
    m_dir.reset();
}

bool TestStartupClosing::startForm()
{
#ifdef Q_OS_WIN
    m_w.make(m_key->root());
#else
    m_w.make(m_dir->path());
#endif
    const auto error = m_w.form->StartUp();
    if (error)
        qWarning("start-up failed: %s", qPrintable(error->message()));
    return !error;
}

#ifdef Q_OS_WIN
bool TestStartupClosing::seedStore(const QByteArray &fileText) const
{
    return m_key->seedFromFileText(fileText);
}
bool TestStartupClosing::seedPairs(const QStringList &pairs) const
{
    for (const QString &pair : pairs) {
        const auto kv = pair.split('=');
        if (!m_key->setText(kv[0], kv[1]))
            return false;
    }
    return true;
}
QByteArray TestStartupClosing::storeSnapshot() const
{
    return m_key->dump();
}
QStringList TestStartupClosing::storeValues() const
{
    return m_key->values();
}
QString TestStartupClosing::storeText(const QString &section, const QString &key) const
{
    return m_key->text(section, key);
}
QString TestStartupClosing::storeIdentity() const
{
    return QString::fromUtf8(m_key->dump());
}
#else
bool TestStartupClosing::seedStore(const QByteArray &fileText) const
{
    return writeFile(storeFile(), fileText);
}
bool TestStartupClosing::seedPairs(const QStringList &pairs) const
{
    return ::seedPairs(storeFile(), pairs);
}
QByteArray TestStartupClosing::storeSnapshot() const
{
    return readAll(storeFile());
}
QStringList TestStartupClosing::storeValues() const
{
    return storedValues(storeFile());
}
QString TestStartupClosing::storeText(const QString &section, const QString &key) const
{
    return QSettings(storeFile(), QSettings::NativeFormat).value(section + "/" + key).toString();
}
QString TestStartupClosing::storeIdentity() const
{
    return fileIdentity(storeFile());
}
#endif

QString TestStartupClosing::pages() const
{
    QStringList parts;
    for (int i = 0; i < 2; ++i) {
        const QWidget *page = picOptions(*m_w.form, i);
        // Moved aside, never hidden.
        parts << QStringLiteral("%1 %2%3")
                     .arg(page->x())
                     .arg(page->isEnabled() ? "on" : "off")
                     .arg(page->isHidden() ? " hidden" : "");
    }
    return QStringLiteral("%1: ").arg(tbsOptions(*m_w.form)->SelectedItem()->Index()) +
           parts.join(", ");
}

QWidget *TestStartupClosing::control(const QString &name) const
{
    return ::control(*m_w.form, name);
}

void TestStartupClosing::firstStart()
{
    QVERIFY(startForm());
    QCOMPARE(describe(m_w.form->options().values()), QString("0 1 2"));
    QCOMPARE(describe(shownByBoxes(*m_w.form)), QString("0 1 2"));
    QCOMPARE(m_w.form->windowTitle(), QString("Velmora"));
    QCOMPARE(label(*m_w.form, "lblTitle")->text(), QString("Velmora"));
    QCOMPARE(label(*m_w.form, "lblVersion")->text(), QString("Version:   7.0"));
    QCOMPARE(pages(), pagesShowing(1));
    QCOMPARE(tbsOptions(*m_w.form)->backgroundColor(), QColor(Qt::white));
    QVERIFY(!m_w.form->isVisible());                    // showing is the caller's decision
    QCOMPARE(storeSnapshot(), QByteArray("<missing>")); // reading creates nothing

    // The strip's own background, right of the tabs, is painted white.
    const QImage strip = tbsOptions(*m_w.form)->grab().toImage();
    const QRect lastTab = tbsOptions(*m_w.form)->tabRect(tabs().Count() - 1);
    const QPoint free(lastTab.right() + 20, lastTab.top() + 3);
    QVERIFY(free.x() < strip.width());
    QCOMPARE(QColor(strip.pixel(free)), QColor(Qt::white));
}

void TestStartupClosing::loadingExamples_data()
{
    addLoadingExamples();
}

void TestStartupClosing::loadingExamples()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);
    QVERIFY(seedPairs(stored));
    const QByteArray before = storeSnapshot();

    QVERIFY(startForm());
    // 2 is the partially checked state.
    QCOMPARE(describe(shownByBoxes(*m_w.form)), describe(stateOf(expected)));
    QCOMPARE(pages(), pagesShowing(1));
    m_w.form.reset();
    m_w.store.reset();
    QCOMPARE(storeSnapshot(), before);
}

void TestStartupClosing::badStoredValueStopsStartUp_data()
{
    addBadStoredValues();
}

void TestStartupClosing::badStoredValueStopsStartUp()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(Kind, kind);

#ifdef Q_OS_WIN
    // The registry holds the text itself, as the add-in reads it.
    QVERIFY(m_key->setText("Insert", "1") && m_key->setText(key, text));
    const QString root = m_key->root(), location = root + "\\Quenmark";
#else
    const QByteArray content = "; kept as it is\r\n[Velmora]\r\nInsert = 1\r\n" + line + "\r\n";
    QVERIFY(writeFile(storeFile(), content));
    const QString root = m_dir->path(), location = storeFile();
#endif
    const QByteArray before = storeSnapshot();
    {
        m_w.make(root);
        frmOptions &form = *m_w.form;
        const auto error = form.StartUp();
        QVERIFY(error.has_value());
        QCOMPARE(error->kind, kind);
        QCOMPARE(error->key, key);
        QCOMPARE(error->text, text);
        QCOMPARE(error->location, location);
        const QString message = error->message();
        for (const QString &part : {error->kindText(), "\"" + key + "\"", location})
            QVERIFY2(message.contains(part), qPrintable(message + " lacks " + part));
        QVERIFY(!form.isVisible());
        QVERIFY(m_w.messages.isEmpty()); // reporting is the caller's part
        m_w.reset();
    }
    QCOMPARE(storeSnapshot(), before);
}

void TestStartupClosing::cursorFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("folder"); // a folder of that name instead of a file
    QTest::addColumn<bool>("used");

    const QByteArray real = realCursorFile(5, 3);
    QVERIFY(real.size() > 100);
    QByteArray random(326, Qt::Uninitialized);
    QRandomGenerator generator(20070);
    for (char &c : random)
        c = char(generator.bounded(256));

    QTest::newRow("a real cursor") << real << false << true;
    QTest::newRow("empty") << QByteArray() << false << false;
    QTest::newRow("header only") << real.left(22) << false << false;
    QTest::newRow("truncated") << real.left(real.size() / 2) << false << false;
    QTest::newRow("random bytes") << random << false << false;
    QTest::newRow("a folder") << QByteArray() << true << false;
}

void TestStartupClosing::cursorFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, folder);
    QFETCH(bool, used);
    const QString programCursor = programFolder() + "/" + frmOptions::CursorFile;
    const QByteArray before = readAll(programCursor);
    {
        ProgramFolderCursor placed(folder ? std::nullopt : std::optional(content));
        QVERIFY(placed.placed());
        QVERIFY(startForm());
    }
    QCOMPARE(readAll(programCursor), before);
    QCOMPARE(m_w.form->MouseIcon().has_value(), used);
    if (used)
        QCOMPARE(m_w.form->MouseIcon()->hotSpot(), QPoint(5, 3));

    QVERIFY(showAndActivate());
    QCOMPARE(m_w.form->MousePointer(), 0);
    QCOMPARE(m_w.form->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(m_w.form->windowHandle(), QPoint(268, 316)); // over Ok
    QCOMPARE(m_w.form->MousePointer(), 99);
    QCOMPARE(m_w.form->cursor().shape(), used ? Qt::BitmapCursor : Qt::PointingHandCursor);
    QTest::mouseMove(m_w.form->windowHandle(), QPoint(3, 332)); // the bare window
    QCOMPARE(m_w.form->MousePointer(), 0);
    QCOMPARE(m_w.form->cursor().shape(), Qt::ArrowCursor);
}

void TestStartupClosing::okSavesThenStartsExcel_data()
{
    QTest::addColumn<QByteArray>("seed"); // file text; empty: no file
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QString>("saved");

    QTest::newRow("first start, Page Layout ticked")
        << QByteArray() << QList<int>{4} << "0 1 2 4 11";
    QTest::newRow("classic menu cleared")
        << QByteArray("[Velmora]\nPage%20Layout=1\n") << QList<int>{0} << "none";
    QTest::newRow("grayed Left kept, other keys stay")
        << QByteArray("[Other]\nx=1\n[Velmora]\nExtra=kept\nLeft=2\nReview=1\n") << QList<int>{5, 5}
        << "0 1:2 2 8 11";
}

void TestStartupClosing::okSavesThenStartsExcel()
{
    QFETCH(QByteArray, seed);
    QFETCH(QList<int>, clicks);
    QFETCH(QString, saved);
    if (!seed.isEmpty())
        QVERIFY(seedStore(seed));

    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    for (int index : clicks)
        Check1(*m_w.form, index)->click();
    const WId window = m_w.form->winId();
    Check22(*m_w.form, 1)->click();

    QVERIFY(m_w.form->isUnloaded());
    QVERIFY(!m_w.form->isVisible());
    QVERIFY(m_w.messages.isEmpty());
    const QStringList expected = valuesOf(stateOf(saved));
    QCOMPARE(storeValues(), expected);
    if (seed.contains("Extra")) {
        QCOMPARE(storeText("Velmora", "Extra"), QString("kept"));
        QCOMPARE(storeText("Other", "x"), QString("1"));
    }

    // Excel was handed to the shell once, by this window, to run in the program
    // folder, with the whole save already in place.
    QCOMPARE(m_w.opened.size(), 1);
    QCOMPARE(m_w.opened[0].target, QString("Excel"));
    QCOMPARE(m_w.opened[0].owner, window);
    QCOMPARE(m_w.opened[0].folder, QCoreApplication::applicationDirPath());
    QCOMPARE(m_w.opened[0].store, storeSnapshot());
}

void TestStartupClosing::okTwiceSavesAndStartsOnce()
{
    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    Check1(*m_w.form, 7)->click(); // Data
    QPushButton *ok = Check22(*m_w.form, 1);

    ok->click();
    QCOMPARE(storeValues(), valuesOf(stateOf("0 1 2 7 11")));
#ifdef Q_OS_WIN
    // Wine keeps no time of a registry write: the same value spelled otherwise
    // shows whether a second save wrote again.
    QVERIFY(m_key->setText("Data", " 1"));
#endif
    const QString afterFirst = storeIdentity();
    ok->click();

    QVERIFY(afterFirst != "<missing>");
    QCOMPARE(storeIdentity(), afterFirst); // not written again
    QVERIFY(!ok->isChecked());
    QCOMPARE(m_w.opened.size(), 1);
    QVERIFY(m_w.messages.isEmpty());
}

void TestStartupClosing::whenTheShellFails_data()
{
    QTest::addColumn<bool>("link"); // else Ok
    QTest::addColumn<QString>("found");
    QTest::addColumn<QStringList>("said");
    const QString where = "/opt/quenmark and PATH (/usr/bin:/bin)";
    QTest::newRow("Ok, no Excel") << false << ""
                                  << QStringList{"saved", "Excel could not be started", where};
    QTest::newRow("Ok, Excel cannot run")
        << false << "/usr/bin/Excel"
        << QStringList{"saved", "Excel could not be started", "/usr/bin/Excel", where};
    QTest::newRow("link, no opener")
        << true << "" << QStringList{"http://www.quenmark.example/", "xdg-open", where};
}

void TestStartupClosing::whenTheShellFails()
{
    QFETCH(bool, link);
    QFETCH(QString, found);
    QFETCH(QStringList, said);
    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    Check1(*m_w.form, 4)->click(); // Page Layout
    m_w.shellAnswer = ShellOutcome{false, link ? "xdg-open" : "Excel",
                                   "/opt/quenmark and PATH (/usr/bin:/bin)", found};
    if (link)
        m_w.form->lblWebsite_Click();
    else
        Check22(*m_w.form, 1)->click();

    // One message, while the window is still up; then Ok closes as usual, the link does not.
    QCOMPARE(m_w.opened.size(), 1);
    QCOMPARE(m_w.messages.size(), 1);
    QCOMPARE(m_w.shownAtMessage, QList<bool>{true});
    for (const QString &part : said)
        QVERIFY2(m_w.messages[0].contains(part), qPrintable(m_w.messages[0] + " lacks " + part));
    QCOMPARE(m_w.form->isUnloaded(), !link);
    QCOMPARE(storeValues(), link ? QStringList(12, "-") : valuesOf(stateOf("0 1 2 4 11")));
}

void TestStartupClosing::closingWithoutSaving_data()
{
    QTest::addColumn<bool>("closeBox"); // else Cancel
    QTest::addColumn<bool>("okAfterwards");
    QTest::newRow("Cancel") << false << false;
    QTest::newRow("close box") << true << false;
    QTest::newRow("Cancel, then a late Ok") << false << true;
    QTest::newRow("close box, then a late Ok") << true << true;
}

void TestStartupClosing::closingWithoutSaving()
{
    QFETCH(bool, closeBox);
    QFETCH(bool, okAfterwards);
    // Spelled as no save would spell it, so that any rewrite shows.
    const QByteArray content = "; by hand\r\n[Velmora]\r\nClassic = 1\r\nLeft=0\r\nHome=1\r\n"
                               "[Other]\r\nx=y\r\n";
    QVERIFY(seedStore(content));
    const QByteArray before = storeSnapshot();

    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    const int clicks[] = {4, 11, 3, 1, 0, 0, 10, 2, 11, 9, 5, 6, 7, 8, 3};
    for (int index : clicks)
        Check1(*m_w.form, index)->click();
    selectTab(2);
    selectTab(1);

    if (closeBox)
        QVERIFY(m_w.form->close());
    else
        Check22(*m_w.form, 2)->click();
    QVERIFY(m_w.form->isUnloaded());
    QVERIFY(!m_w.form->isVisible());
    if (okAfterwards)
        Check22(*m_w.form, 1)->click();

    m_w.form.reset();
    m_w.store.reset();
    QCOMPARE(storeSnapshot(), before);
    QVERIFY(m_w.opened.isEmpty());
    QVERIFY(m_w.messages.isEmpty());
}

void TestStartupClosing::failedSaveKeepsTheWindow_data()
{
    QTest::addColumn<bool>("okAgain"); // else Cancel, once the location is mended
    QTest::newRow("mended, Ok again") << true;
    QTest::newRow("mended, then Cancel") << false;
}

void TestStartupClosing::failedSaveKeepsTheWindow()
{
    SKIP_ON_WINDOWS();
    QFETCH(bool, okAgain);
    // A lock that is a folder is never released, not even for root.
    const QString root = m_dir->filePath("config");
    const QString location = root + "/Quenmark.conf";
    const QString blocker = location + ".lock";
    QVERIFY(QDir().mkpath(blocker));
    m_w.storeLocation = location;

    m_w.make(root);
    QVERIFY(!m_w.form->StartUp());
    QVERIFY(showAndActivate());
    Check1(*m_w.form, 3)->click();  // Home
    Check1(*m_w.form, 10)->click(); // Developer
    const QString chosen = "0 2 3 10 11";
    QCOMPARE(describe(m_w.form->options().values()), chosen);

    Check22(*m_w.form, 1)->click();
    QCOMPARE(m_w.messages.size(), 1);
    QVERIFY2(m_w.messages[0].contains(location), qPrintable(m_w.messages[0]));
    QVERIFY(!m_w.form->isUnloaded());
    QVERIFY(m_w.form->isVisible());
    QVERIFY(!Check22(*m_w.form, 1)->isChecked());
    QCOMPARE(describe(m_w.form->options().values()), chosen);
    QCOMPARE(describe(shownByBoxes(*m_w.form)), chosen);
    QVERIFY2(m_w.messages[0].contains(blocker), qPrintable(m_w.messages[0]));
    QVERIFY(!QFile::exists(location));
    QVERIFY(m_w.opened.isEmpty());

    // The location is mended: Ok again saves the same choices and starts Excel;
    // Cancel still writes nothing, the failed save left nothing behind to flush.
    QVERIFY(QDir().rmdir(blocker));
    Check22(*m_w.form, okAgain ? 1 : 2)->click();
    QCOMPARE(m_w.messages.size(), 1);
    QVERIFY(m_w.form->isUnloaded());
    if (okAgain) {
        QCOMPARE(storedValues(location), valuesOf(stateOf(chosen)));
        QCOMPARE(m_w.opened.size(), 1);
        QCOMPARE(m_w.opened[0].store, readAll(location));
    } else {
        m_w.form.reset();
        m_w.store.reset();
        QVERIFY(!QFile::exists(location));
        QVERIFY(m_w.opened.isEmpty());
    }
}

void TestStartupClosing::ctrlTabNextTab_data()
{
    QTest::addColumn<int>("startTab");
    QTest::addColumn<QString>("focus");
    QTest::newRow("tab strip") << 1 << "tbsOptions";
    QTest::newRow("option box") << 1 << "Check1(4)";
    QTest::newRow("classic menu box") << 1 << "Check1(0)";
    QTest::newRow("Ok") << 1 << "Check22(1)";
    QTest::newRow("About page, tab strip") << 2 << "tbsOptions";
    QTest::newRow("About page, Cancel") << 2 << "Check22(2)";
}

void TestStartupClosing::ctrlTabNextTab()
{
    QFETCH(int, startTab);
    QFETCH(QString, focus);
    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    selectTab(startTab);
    QWidget *owner = control(focus);
    owner->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), owner);

    int selected = startTab;
    for (int press = 0; press < 4; ++press) {
        QTest::keyClick(m_w.form->windowHandle(), Qt::Key_Tab, Qt::ControlModifier);
        selected = selected == 2 ? 1 : 2;
        QCOMPARE(pages(), pagesShowing(selected));
    }
    QVERIFY(!m_w.form->isUnloaded());
}

void TestStartupClosing::otherTabKeysKeepTheTab_data()
{
    QTest::addColumn<int>("startTab");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");

    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    const struct {
        const char *name;
        int key;
        int modifiers;
    } keys[] = {
        {"Tab", Qt::Key_Tab, 0},
        {"Shift+Tab", Qt::Key_Backtab, shift},
        {"Ctrl+Shift+Tab", Qt::Key_Backtab, ctrl | shift},
        {"Ctrl+Shift+Tab as Tab", Qt::Key_Tab, ctrl | shift},
        {"Ctrl+Alt+Tab", Qt::Key_Tab, ctrl | alt},
        {"Alt+Tab", Qt::Key_Tab, alt},
    };
    for (const auto &k : keys) {
        QTest::addRow("%s on the tab strip", k.name) << 1 << "tbsOptions" << k.key << k.modifiers;
        QTest::addRow("%s on an option box", k.name) << 1 << "Check1(4)" << k.key << k.modifiers;
        QTest::addRow("%s on Ok, About page", k.name) << 2 << "Check22(1)" << k.key << k.modifiers;
    }
}

void TestStartupClosing::otherTabKeysKeepTheTab()
{
    QFETCH(int, startTab);
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    selectTab(startTab);
    control(focus)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), control(focus));

    QTest::keyClick(m_w.form->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(pages(), pagesShowing(startTab));
    QVERIFY(!m_w.form->isUnloaded());
}

void TestStartupClosing::pointerMoves_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QPoint>("at"); // in the window
    QTest::addColumn<QString>("under");
    QTest::addColumn<int>("pointerBefore");
    QTest::addColumn<bool>("underlineBefore");
    QTest::addColumn<int>("pointer");
    QTest::addColumn<bool>("underline");

    struct Spot {
        const char *name;
        int tab;
        QPoint at;
        const char *under;
    };
    // Positions from the layout in twips: a page's frame starts at (14, 35) on
    // the options page and at (22, 35) on the About page.
    const Spot spots[] = {
        {"option box", 1, {14 + 64 + 40, 35 + 149 + 12}, "Check1(4)"},
        {"master box", 1, {14 + 40 + 20, 35 + 104 + 12}, "Check1(11)"},
        {"Ok", 1, {268, 316}, "Check22(1)"},
        {"Cancel, About page", 2, {352, 316}, "Check22(2)"},
        {"tab strip, tab row", 1, {30, 20}, "tbsOptions"},
        {"tab strip, below the pages", 2, {200, 286}, "tbsOptions"},
        {"link", 2, {22 + 130 + 10, 35 + 184 + 6}, "lblWebsite"},
        {"bare window, bottom left", 1, {3, 332}, "frmOptions"},
        {"bare window between the buttons", 2, {100, 316}, "frmOptions"},
        {"options frame, empty", 1, {14 + 300, 35 + 15}, "fraSample1(0)"},
        {"options frame, on Shape1", 1, {14 + 264, 35 + 160}, "fraSample1(0)"},
        {"About frame, empty", 2, {22 + 20, 35 + 20}, "fraSample1(1)"},
        {"About frame, on Line1", 2, {22 + 100, 35 + 144}, "fraSample1(1)"},
        {"lblTitle", 2, {22 + 180, 35 + 40}, "lblTitle"},
        {"lblVersion", 2, {22 + 180, 35 + 95}, "lblVersion"},
        {"lblWebsiteLabel", 2, {22 + 27 + 10, 35 + 183 + 6}, "lblWebsiteLabel"},
    };
    for (const Spot &s : spots) {
        const QString under = QString::fromLatin1(s.under);
        for (int pointer : {0, 99}) {
            for (bool underline : {false, true}) {
                int pointerAfter = pointer;
                bool underlineAfter = underline;
                if (under.startsWith("Check1") || under.startsWith("Check22")) {
                    pointerAfter = 99;
                } else if (under == "tbsOptions") {
                    pointerAfter = 99;
                    underlineAfter = false;
                } else if (under == "lblWebsite") {
                    pointerAfter = 99;
                    underlineAfter = true;
                } else if (under == "frmOptions" || under.startsWith("fraSample1")) {
                    pointerAfter = 0;
                    underlineAfter = false;
                } // labels without a handler change nothing
                QTest::addRow("%s, from %d %s", s.name, pointer, underline ? "underlined" : "plain")
                    << s.tab << s.at << under << pointer << underline << pointerAfter
                    << underlineAfter;
            }
        }
    }
}

void TestStartupClosing::pointerMoves()
{
    QFETCH(int, tab);
    QFETCH(QPoint, at);
    QFETCH(QString, under);
    QFETCH(int, pointerBefore);
    QFETCH(bool, underlineBefore);
    QFETCH(int, pointer);
    QFETCH(bool, underline);

    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    selectTab(tab);
    // Qt drops a move to where the pointer already is, and the previous row
    // ended here: come from a pixel beside the spot, then set the state.
    QTest::mouseMove(m_w.form->windowHandle(), at + QPoint(1, 0));
    m_w.form->setMousePointer(pointerBefore);
    QFont font = label(*m_w.form, "lblWebsite")->font();
    font.setUnderline(underlineBefore);
    label(*m_w.form, "lblWebsite")->setFont(font);
    QCOMPARE(m_w.form->linkUnderlined(), underlineBefore);

    MoveRecorder recorder;
    qApp->installEventFilter(&recorder);
    QTest::mouseMove(m_w.form->windowHandle(), at);
    qApp->removeEventFilter(&recorder);

    // The move arrived, at the widget the spot belongs to.
    QVERIFY(!recorder.receivers.isEmpty());
    QCOMPARE(recorder.receivers.first(), control(under));
    QCOMPARE(m_w.form->MousePointer(), pointer);
    QCOMPARE(m_w.form->linkUnderlined(), underline);
    if (pointer == 99)
        QCOMPARE(m_w.form->cursor().shape(),
                 m_w.form->MouseIcon() ? Qt::BitmapCursor : Qt::PointingHandCursor);
}

void TestStartupClosing::websiteLink_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("opens");
    QTest::newRow("handler") << "handler" << true;
    QTest::newRow("left click") << "left" << true;
    QTest::newRow("double click, once") << "double" << true;
    QTest::newRow("right click") << "right" << false;
    QTest::newRow("left press, released beside it") << "away" << false;
}

void TestStartupClosing::websiteLink()
{
    QFETCH(QString, how);
    QFETCH(bool, opens);
    const QByteArray content = "[Velmora]\r\nHome = 1\r\n";
    QVERIFY(seedStore(content));
    const QByteArray before = storeSnapshot();
    QVERIFY(startForm());
    QVERIFY(showAndActivate());
    selectTab(2);

    QWindow *window = m_w.form->windowHandle();
    const QPoint link = label(*m_w.form, "lblWebsite")->mapTo(m_w.form.get(), QPoint(10, 6));
    if (how == "handler") {
        m_w.form->lblWebsite_Click();
    } else if (how == "double") {
        QTest::mouseDClick(window, Qt::LeftButton, {}, link);
    } else if (how == "left" || how == "right") {
        QTest::mouseClick(window, how == "left" ? Qt::LeftButton : Qt::RightButton, {}, link);
    } else {
        QTest::mousePress(window, Qt::LeftButton, {}, link);
        QTest::mouseMove(window, QPoint(3, 332));
        QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(3, 332));
    }

    QCOMPARE(m_w.opened.size(), opens ? 1 : 0);
    if (opens) {
        QCOMPARE(m_w.opened[0].target, QString("http://www.quenmark.example/"));
        QCOMPARE(m_w.opened[0].folder, QCoreApplication::applicationDirPath());
    }
    QVERIFY(m_w.form->isVisible());
    QVERIFY(!m_w.form->isUnloaded());
    m_w.form.reset();
    m_w.store.reset();
    QCOMPARE(storeSnapshot(), before);
}

QTEST_MAIN(TestStartupClosing)
#include "tst_startup_closing.moc"
