// The window's life from start-up to closing, each case from its own store
// folder: loading, stored values that stop start-up, the custom pointer file,
// Ok, Cancel and the close box, the Ctrl+Tab shortcut, the pointer reactions
// and the web link. The shell is a recorder: what was handed to it, from where,
// and what the store held at that moment.

#include "option_states.h"
#include "store_examples.h"
#include "window_fixture.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#ifdef Q_OS_WIN
#include "../windows/test_registry.h"
// Cases of the settings file's own format and locking; the registry store's
// counterparts are in tests/windows.
#define SKIP_ON_WINDOWS() QSKIP("a case of the settings file")
#else
#include <sys/stat.h>
#define SKIP_ON_WINDOWS()
#endif

using Kind = StoreError::Kind;

namespace
{

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

// The twelve stored values of a state written as in option_states.h ("0 1 2 4 11").
QStringList valuesOf(const QString &ticked)
{
    QStringList values;
    for (OptionValue v : stateOf(ticked))
        values << QString::number(v);
    return values;
}

QString shownByBoxes(const frmOptions &form)
{
    OptionSet::State shown{};
    for (int i = 0; i < OptionCount; ++i)
        shown[i] = Check1(form, i)->Value();
    return describe(shown);
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
    if (!QImageWriter(&buffer, "ico").write(image))
        return {};
    QByteArray bytes = buffer.data();
    bytes[2] = 2;
    bytes[10] = char(hotX);
    bytes[11] = 0;
    bytes[12] = char(hotY);
    bytes[13] = 0;
    return bytes;
}

// Records which widget each pointer move is delivered to first, including the
// moves Qt drops for widgets that do not track the pointer.
struct MoveRecorder : QObject {
    QList<QObject *> receivers;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove && watched->isWidgetType())
            receivers << watched;
        return false;
    }
};

// A spot in the window, the widget a pointer move there reaches first, and what
// the move does: the pointer it sets (99 custom, 0 default) and whether the link
// is underlined afterwards; -1 leaves either as it was.
struct Spot {
    const char *name, *under;
    int tab;
    QPoint at; // in the window
    int pointer, underline;
};
// A move onto a spot, from a pointer and an underline of the link set beforehand.
struct PointerMove {
    Spot spot;
    int pointerBefore;
    bool underlineBefore;
};

// The store of a case: on Windows a registry key of its own, elsewhere the
// settings file in a folder of its own.
#ifdef Q_OS_WIN
struct CaseStore {
    QTemporaryDir dir;
    TestKey key{QString::fromLatin1(QTest::currentTestFunction())};
    QString root() const { return key.root(); }
    QString location() const { return root() + "\\Quenmark"; }
    bool seed(const QByteArray &fileText) const { return key.seedFromFileText(fileText); }
    bool seedPairs(const QStringList &pairs) const // key=value in section Velmora
    {
        for (const QString &pair : pairs)
            if (!key.setText(pair.section('=', 0, 0), pair.section('=', 1)))
                return false;
        return true;
    }
    QByteArray snapshot() const { return key.dump(); }
    QStringList values() const { return key.values(); }
    QString text(const QString &group, const QString &name) const { return key.text(group, name); }
    QString identity() const { return QString::fromUtf8(key.dump()); } // changes with a save
};
#else
struct CaseStore {
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString location() const { return dir.filePath("Quenmark.conf"); }
    bool seed(const QByteArray &fileText) const { return writeFile(location(), fileText); }
    bool seedPairs(const QStringList &pairs) const { return ::seedPairs(location(), pairs); }
    QByteArray snapshot() const { return readAll(location()); }
    QStringList values() const { return storedValues(location()); }
    QString text(const QString &group, const QString &name) const
    {
        return QSettings(location(), QSettings::NativeFormat).value(group + "/" + name).toString();
    }
    QString identity() const { return fileIdentity(location()); } // changes with a save
};
#endif

} // namespace

Q_DECLARE_METATYPE(PointerMove)

class TestStartupClosing : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup()
    {
        m_w.reset();
        m_store.reset();
    }

    void firstStart();
    void loadingExamples_data() { addLoadingExamples(); }
    void loadingExamples();
    void badStoredValueStopsStartUp_data() { addBadStoredValues(); }
    void badStoredValueStopsStartUp();
    void messageBoxShowsStoredMarkupAsText();
    void cursorFile_data();
    void cursorFile();

    void okSavesThenStartsExcelOnce_data();
    void okSavesThenStartsExcelOnce();
    void whenTheShellFails_data();
    void whenTheShellFails();
    void closingWithoutSaving_data();
    void closingWithoutSaving();
    void failedSaveKeepsTheWindow_data();
    void failedSaveKeepsTheWindow();

    void tabKeys_data();
    void tabKeys();
    void pointerMoves_data();
    void pointerMoves();
    void websiteLink_data();
    void websiteLink();

private:
    // What the store holds once the window and the store are gone.
    QByteArray storeAfterClosing()
    {
        m_w.drop();
        return m_store->snapshot();
    }
    bool startForm()
    {
        m_w.make(m_store->root());
        return m_w.start();
    }
    bool startShown() { return startForm() && m_w.showAndActivate(); }
    void selectTab(int index) { tbsOptions(*m_w.form)->setSelectedItem(tabs().Item(short(index))); }
    const TabStripTabs &tabs() const { return tbsOptions(*m_w.form)->Tabs(); }
    // The selected tab and where the two pages stand: "<tab>: <x> on|off, <x> on|off".
    QString pages() const;
    static QString pagesShowing(int tab)
    {
        return tab == 1 ? "1: 14 on, -1333 off" : "2: -1333 off, 14 on"; // 210, -20000 twips
    }
    QWidget *control(const QString &name) const { return ::control(*m_w.form, name); }

    std::unique_ptr<CaseStore> m_store;
    FormUnderTest m_w;
};

void TestStartupClosing::init()
{
    m_store = std::make_unique<CaseStore>();
    QVERIFY(m_store->dir.isValid());
    m_w.reset();
    m_w.snapshot = [this] { return m_store->snapshot(); };
}

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

void TestStartupClosing::firstStart()
{
    QVERIFY(startForm());
    const frmOptions &form = *m_w.form;
    QCOMPARE(describe(form.options().values()), QString("0 1 2"));
    QCOMPARE(shownByBoxes(form), QString("0 1 2"));
    QCOMPARE(form.windowTitle(), QString("Velmora"));
    QCOMPARE(label(form, "lblTitle")->text(), QString("Velmora"));
    QCOMPARE(label(form, "lblVersion")->text(), QString("Version:   7.0"));
    QCOMPARE(pages(), pagesShowing(1));
    QVERIFY(!form.isVisible());                             // showing is the caller's decision
    QCOMPARE(m_store->snapshot(), QByteArray("<missing>")); // reading creates nothing

    // The strip's own background, right of the tabs, is painted white.
    const QImage strip = tbsOptions(form)->grab().toImage();
    const QRect lastTab = tbsOptions(form)->tabRect(tabs().Count() - 1);
    const QPoint free(lastTab.right() + 20, lastTab.top() + 3);
    QVERIFY(free.x() < strip.width());
    QCOMPARE(QColor(strip.pixel(free)), QColor(Qt::white));
}

void TestStartupClosing::loadingExamples()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);
    QVERIFY(m_store->seedPairs(stored));
    const QByteArray before = m_store->snapshot();

    QVERIFY(startForm());
    // 2 is the partially checked state.
    QCOMPARE(shownByBoxes(*m_w.form), describe(stateOf(expected)));
    QCOMPARE(pages(), pagesShowing(1));
    QCOMPARE(storeAfterClosing(), before);
}

void TestStartupClosing::badStoredValueStopsStartUp()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(Kind, kind);
#ifdef Q_OS_WIN
    // The registry holds the text itself, as the add-in reads it.
    QVERIFY(m_store->key.setText("Insert", "1") && m_store->key.setText(key, text));
#else
    QVERIFY(m_store->seed("; kept as it is\r\n[Velmora]\r\nInsert = 1\r\n" + line + "\r\n"));
#endif
    const QByteArray before = m_store->snapshot();

    m_w.make(m_store->root());
    const auto error = m_w.form->StartUp();
    QVERIFY(error.has_value());
    QCOMPARE(error->kind, kind);
    QCOMPARE(error->key, key);
    QCOMPARE(error->text, text);
    QCOMPARE(error->location, m_store->location());
    const QString message = error->message();
    for (const QString &part : {error->kindText(), "\"" + key + "\"", m_store->location()})
        QVERIFY2(message.contains(part), qPrintable(message + " lacks " + part));
    QVERIFY(!m_w.form->isVisible());
    QVERIFY(m_w.messages.isEmpty()); // reporting is the caller's part
    QCOMPARE(storeAfterClosing(), before);
}

void TestStartupClosing::messageBoxShowsStoredMarkupAsText()
{
    // A stored "<h1>Settings OK</h1>" quoted in a message stays text as typed.
    Qt::TextFormat format = Qt::RichText;
    QTimer::singleShot(0, this, [&format] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        format = box ? box->textFormat() : format;
        QApplication::activeModalWidget()->close();
    });
    ShowPlainMessage(nullptr, QMessageBox::Critical, "Classic is \"<h1>Settings OK</h1>\"");
    QCOMPARE(format, Qt::PlainText);
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
    QTest::newRow("a real cursor, padded beyond a cursor's size")
        << real + QByteArray(HandCursor::MaxFileSize + 1 - real.size(), '\0') << false << false;
    QTest::newRow("a folder") << QByteArray() << true << false;
}

void TestStartupClosing::cursorFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, folder);
    QFETCH(bool, used);
    // A program folder of the case's own, where the window looks for the file.
    m_w.programFolder = m_store->dir.filePath("program");
    const QString cursor = m_w.programFolder + "/" + frmOptions::CursorFile;
    QVERIFY(QDir().mkpath(folder ? cursor : m_w.programFolder));
    QVERIFY(folder || writeFile(cursor, content));
    QVERIFY(startForm());
    QCOMPARE(readAll(cursor), folder ? QByteArray("<missing>") : content); // left alone
    QCOMPARE(m_w.form->MouseIcon().has_value(), used);
    if (used)
        QCOMPARE(m_w.form->MouseIcon()->hotSpot(), QPoint(5, 3));

    QVERIFY(m_w.showAndActivate());
    QCOMPARE(m_w.form->MousePointer(), 0);
    QCOMPARE(m_w.form->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseMove(m_w.form->windowHandle(), QPoint(268, 316)); // over Ok
    QCOMPARE(m_w.form->MousePointer(), 99);
    QCOMPARE(m_w.form->cursor().shape(), used ? Qt::BitmapCursor : Qt::PointingHandCursor);
    QTest::mouseMove(m_w.form->windowHandle(), QPoint(3, 332)); // the bare window
    QCOMPARE(m_w.form->MousePointer(), 0);
    QCOMPARE(m_w.form->cursor().shape(), Qt::ArrowCursor);
}

void TestStartupClosing::okSavesThenStartsExcelOnce_data()
{
    QTest::addColumn<QByteArray>("seed"); // file text; empty: no file
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QString>("saved");

    QTest::newRow("first start, Page Layout ticked")
        << QByteArray() << QList<int>{4} << "0 1 2 4 11";
    QTest::newRow("first start, Data ticked") << QByteArray() << QList<int>{7} << "0 1 2 7 11";
    QTest::newRow("classic menu cleared")
        << QByteArray("[Velmora]\nPage%20Layout=1\n") << QList<int>{0} << "none";
    QTest::newRow("grayed Left kept, other keys stay")
        << QByteArray("[Other]\nx=1\n[Velmora]\nExtra=kept\nLeft=2\nReview=1\n") << QList<int>{5, 5}
        << "0 1:2 2 8 11";
}

void TestStartupClosing::okSavesThenStartsExcelOnce()
{
    QFETCH(QByteArray, seed);
    QFETCH(QList<int>, clicks);
    QFETCH(QString, saved);
    if (!seed.isEmpty())
        QVERIFY(m_store->seed(seed));

    QVERIFY(startShown());
    for (int index : clicks)
        Check1(*m_w.form, index)->click();
    const WId window = m_w.form->winId();
    QPushButton *ok = Check22(*m_w.form, 1);
    ok->click();

    QVERIFY(!m_w.form->isVisible());
    QCOMPARE(m_store->values(), valuesOf(saved));
    if (seed.contains("Extra")) {
        QCOMPARE(m_store->text("Velmora", "Extra"), QString("kept"));
        QCOMPARE(m_store->text("Other", "x"), QString("1"));
    }
    // Excel was handed to the shell once, by this window, to run in the program
    // folder, with the whole save already in place.
    QCOMPARE(m_w.opened.size(), 1);
    QCOMPARE(m_w.opened[0].target, QString("Excel"));
    QCOMPARE(m_w.opened[0].owner, window);
    QCOMPARE(m_w.opened[0].folder, QCoreApplication::applicationDirPath());
    QCOMPARE(m_w.opened[0].store, m_store->snapshot());

    // A second press neither saves nor starts Excel again.
#ifdef Q_OS_WIN
    // Wine keeps no time of a registry write: a value spelled otherwise shows
    // whether a second save wrote again.
    QVERIFY(m_store->key.setText("Data", " 1"));
#endif
    const QString afterFirst = m_store->identity();
    QVERIFY(afterFirst != "<missing>");
    ok->click();
    QCOMPARE(m_store->identity(), afterFirst);
    QVERIFY(!ok->isChecked());
    QCOMPARE(m_w.opened.size(), 1);
    QVERIFY(m_w.messages.isEmpty());
}

void TestStartupClosing::whenTheShellFails_data()
{
    QTest::addColumn<bool>("link"); // else Ok
    QTest::addColumn<QString>("found");
    QTest::addColumn<QStringList>("said");
    const QString where = "in:\n/opt/quenmark and PATH (/usr/bin:/bin)";
    QTest::newRow("Ok, no Excel") << false << ""
                                  << QStringList{"saved", "Excel could not be started", where};
    QTest::newRow("Ok, Excel cannot run")
        << false << "/usr/bin/Excel"
        << QStringList{"saved", "Excel could not be started", "/usr/bin/Excel", "exit status 4"};
    // A registered value may be thousands of characters long: cut as a stored value is.
    QTest::newRow("Ok, found by a path of 5,037 characters")
        << false << "C:\\" + QString(5034, u'x')
        << QStringList{"\"C:\\" + QString(57, u'x') +
                       "…\" (cut; 5037 characters in all) was "
                       "found, but it ended with exit status 4."};
    QTest::newRow("link, no opener")
        << true << "" << QStringList{"http://www.quenmark.example/", "xdg-open", where};
}

void TestStartupClosing::whenTheShellFails()
{
    QFETCH(bool, link);
    QFETCH(QString, found);
    QFETCH(QStringList, said);
    QVERIFY(startShown());
    Check1(*m_w.form, 4)->click(); // Page Layout
    m_w.shellAnswer = ShellOutcome{false, link ? "xdg-open" : "Excel",
                                   "/opt/quenmark and PATH (/usr/bin:/bin)", found};
    m_w.shellAnswer.reason = found.isEmpty() ? "" : "it ended with exit status 4";
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
    QCOMPARE(m_w.form->isVisible(), link);
    QCOMPARE(m_store->values(), link ? QStringList(12, "-") : valuesOf("0 1 2 4 11"));
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
    QVERIFY(m_store->seed("; by hand\r\n[Velmora]\r\nClassic = 1\r\nLeft=0\r\nHome=1\r\n"
                          "[Other]\r\nx=y\r\n"));
    const QByteArray before = m_store->snapshot();

    QVERIFY(startShown());
    for (int index : {4, 11, 3, 1, 0, 0, 10, 2, 11, 9, 5, 6, 7, 8, 3})
        Check1(*m_w.form, index)->click();
    selectTab(2);
    selectTab(1);

    if (closeBox)
        QVERIFY(m_w.form->close());
    else
        Check22(*m_w.form, 2)->click();
    QVERIFY(!m_w.form->isVisible());
    if (okAfterwards)
        Check22(*m_w.form, 1)->click();

    QCOMPARE(storeAfterClosing(), before);
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
    const QString root = m_store->dir.filePath("config");
    const QString location = root + "/Quenmark.conf";
    const QString blocker = location + ".lock";
    QVERIFY(QDir().mkpath(blocker));
    m_w.snapshot = [location] { return readAll(location); };

    m_w.make(root);
    QVERIFY(m_w.startShown());
    Check1(*m_w.form, 3)->click();  // Home
    Check1(*m_w.form, 10)->click(); // Developer
    const QString chosen = "0 2 3 10 11";
    QCOMPARE(describe(m_w.form->options().values()), chosen);

    Check22(*m_w.form, 1)->click();
    QCOMPARE(m_w.messages.size(), 1);
    QVERIFY2(m_w.messages[0].contains(location), qPrintable(m_w.messages[0]));
    QVERIFY2(m_w.messages[0].contains(blocker), qPrintable(m_w.messages[0]));
    QVERIFY(m_w.form->isVisible());
    QVERIFY(!Check22(*m_w.form, 1)->isChecked());
    QCOMPARE(describe(m_w.form->options().values()), chosen);
    QCOMPARE(shownByBoxes(*m_w.form), chosen);
    QVERIFY(!QFile::exists(location));
    QVERIFY(m_w.opened.isEmpty());

    // The location is mended: Ok again saves the same choices and starts Excel;
    // Cancel still writes nothing, the failed save left nothing behind to flush.
    QVERIFY(QDir().rmdir(blocker));
    Check22(*m_w.form, okAgain ? 1 : 2)->click();
    QCOMPARE(m_w.messages.size(), 1);
    QVERIFY(!m_w.form->isVisible());
    QCOMPARE(m_w.opened.size(), okAgain ? 1 : 0);
    if (okAgain) {
        QCOMPARE(storedValues(location), valuesOf(chosen));
        QCOMPARE(m_w.opened[0].store, readAll(location));
    } else {
        m_w.drop();
        QVERIFY(!QFile::exists(location));
    }
}

void TestStartupClosing::tabKeys_data()
{
    QTest::addColumn<int>("startTab");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    const int ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    using Focus = std::pair<int, const char *>; // the tab shown, the control with the focus

    // Ctrl+Tab goes to the other tab wherever the focus is.
    for (const auto &[tab, focus] :
         {Focus{1, "tbsOptions"}, Focus{1, "Check1(4)"}, Focus{1, "Check1(0)"},
          Focus{1, "Check22(1)"}, Focus{2, "tbsOptions"}, Focus{2, "Check22(2)"}})
        QTest::addRow("Ctrl+Tab on %s, tab %d", focus, tab)
            << tab << focus << int(Qt::Key_Tab) << ctrl;
    // Every other combination with Tab keeps the tab.
    const struct {
        const char *name;
        int key, modifiers;
    } keys[] = {{"Tab", Qt::Key_Tab, 0},
                {"Shift+Tab", Qt::Key_Backtab, shift},
                {"Ctrl+Shift+Tab", Qt::Key_Backtab, ctrl | shift},
                {"Ctrl+Shift+Tab as Tab", Qt::Key_Tab, ctrl | shift},
                {"Ctrl+Alt+Tab", Qt::Key_Tab, ctrl | alt},
                {"Alt+Tab", Qt::Key_Tab, alt}};
    for (const auto &k : keys)
        for (const auto &[tab, focus] :
             {Focus{1, "tbsOptions"}, Focus{1, "Check1(4)"}, Focus{2, "Check22(1)"}})
            QTest::addRow("%s on %s, tab %d", k.name, focus, tab)
                << tab << focus << k.key << k.modifiers;
}

void TestStartupClosing::tabKeys()
{
    QFETCH(int, startTab);
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QVERIFY(startShown());
    selectTab(startTab);
    control(focus)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), control(focus));

    // Ctrl+Tab is pressed four times, tab after tab; any other key once.
    const bool ctrlTab = key == Qt::Key_Tab && modifiers == Qt::ControlModifier;
    int selected = startTab;
    for (int press = 0; press < (ctrlTab ? 4 : 1); ++press) {
        QTest::keyClick(m_w.form->windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        if (ctrlTab)
            selected = selected == 2 ? 1 : 2;
        QCOMPARE(pages(), pagesShowing(selected));
    }
    QVERIFY(m_w.form->isVisible());
}

void TestStartupClosing::pointerMoves_data()
{
    QTest::addColumn<PointerMove>("move");
    // Positions from the layout in twips: a page's frame starts at (14, 35) on
    // the options page and at (22, 35) on the About page.
    const int keep = -1;
    const Spot spots[] = {
        {"option box", "Check1(4)", 1, {14 + 64 + 40, 35 + 149 + 12}, 99, keep},
        {"master box", "Check1(11)", 1, {14 + 40 + 20, 35 + 104 + 12}, 99, keep},
        {"Ok", "Check22(1)", 1, {268, 316}, 99, keep},
        {"Cancel, About page", "Check22(2)", 2, {352, 316}, 99, keep},
        {"tab strip, tab row", "tbsOptions", 1, {30, 20}, 99, 0},
        {"tab strip, below the pages", "tbsOptions", 2, {200, 286}, 99, 0},
        {"link", "lblWebsite", 2, {22 + 130 + 10, 35 + 184 + 6}, 99, 1},
        {"bare window, bottom left", "frmOptions", 1, {3, 332}, 0, 0},
        {"bare window between the buttons", "frmOptions", 2, {100, 316}, 0, 0},
        {"options frame, empty", "fraSample1(0)", 1, {14 + 300, 35 + 15}, 0, 0},
        {"options frame, on Shape1", "fraSample1(0)", 1, {14 + 264, 35 + 160}, 0, 0},
        {"About frame, empty", "fraSample1(1)", 2, {22 + 20, 35 + 20}, 0, 0},
        {"About frame, on Line1", "fraSample1(1)", 2, {22 + 100, 35 + 144}, 0, 0},
        // Labels without a handler change nothing.
        {"lblTitle", "lblTitle", 2, {22 + 180, 35 + 40}, keep, keep},
        {"lblVersion", "lblVersion", 2, {22 + 180, 35 + 95}, keep, keep},
        {"lblWebsiteLabel", "lblWebsiteLabel", 2, {22 + 27 + 10, 35 + 183 + 6}, keep, keep},
    };
    for (const Spot &s : spots)
        for (int pointer : {0, 99})
            for (bool underline : {false, true})
                QTest::addRow("%s, from %d %s", s.name, pointer, underline ? "underlined" : "plain")
                    << PointerMove{s, pointer, underline};
}

void TestStartupClosing::pointerMoves()
{
    QFETCH(PointerMove, move);
    const Spot &spot = move.spot;
    const int pointer = spot.pointer < 0 ? move.pointerBefore : spot.pointer;
    const bool underline = spot.underline < 0 ? move.underlineBefore : spot.underline == 1;

    QVERIFY(startShown());
    selectTab(spot.tab);
    // Qt drops a move to where the pointer already is, and the previous row
    // ended here: come from a pixel beside the spot, then set the state.
    QTest::mouseMove(m_w.form->windowHandle(), spot.at + QPoint(1, 0));
    m_w.form->setMousePointer(move.pointerBefore);
    QFont font = label(*m_w.form, "lblWebsite")->font();
    font.setUnderline(move.underlineBefore);
    label(*m_w.form, "lblWebsite")->setFont(font);

    MoveRecorder recorder;
    qApp->installEventFilter(&recorder);
    QTest::mouseMove(m_w.form->windowHandle(), spot.at);
    qApp->removeEventFilter(&recorder);

    // The move arrived, at the widget the spot belongs to.
    QVERIFY(!recorder.receivers.isEmpty());
    QCOMPARE(recorder.receivers.first(), control(spot.under));
    QCOMPARE(m_w.form->MousePointer(), pointer);
    QCOMPARE(label(*m_w.form, "lblWebsite")->font().underline(), underline);
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
    QVERIFY(m_store->seed("[Velmora]\r\nHome = 1\r\n"));
    const QByteArray before = m_store->snapshot();
    QVERIFY(startShown());
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
    QCOMPARE(storeAfterClosing(), before);
}

QTEST_MAIN(TestStartupClosing)
#include "tst_startup_closing.moc"
