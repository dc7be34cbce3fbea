// The window's life from start-up to closing, each case from a store of its
// own: any stored values, clicks, keys and ending held against the rules' model;
// stored values that stop start-up, the custom pointer file, Ok, Cancel and the
// close box, the pointer reactions and the web link. The shell is a recorder:
// what was handed to it, from where, and what the store held at that moment.

#include "option_states.h"
#include "rule_model.h"
#include "store_examples.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

using Kind = StoreError::Kind;

namespace
{

// The twelve stored values of a state written as in option_states.h ("0 1 2 4 11").
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
// Keys pressed on the window (key 0: the wheel turned on the tab strip, -1: a click on
// the other tab).
struct Key {
    const char *name;
    int key, modifiers;
    bool switches = false; // to the other page
};
constexpr int Ctrl = Qt::ControlModifier, Shift = Qt::ShiftModifier, Alt = Qt::AltModifier;
const Key keys[] = {{"Ctrl+Tab", Qt::Key_Tab, Ctrl, true},
                    {"Tab", Qt::Key_Tab, 0},
                    {"Shift+Tab", Qt::Key_Backtab, Shift},
                    {"Ctrl+Shift+Tab", Qt::Key_Backtab, Ctrl | Shift},
                    {"Ctrl+Shift+Tab as Tab", Qt::Key_Tab, Ctrl | Shift},
                    {"Ctrl+Alt+Tab", Qt::Key_Tab, Ctrl | Alt},
                    {"Alt+Tab", Qt::Key_Tab, Alt},
                    {"Enter", Qt::Key_Return, 0},
                    {"keypad Enter", Qt::Key_Enter, 0},
                    {"Esc", Qt::Key_Escape, 0},
                    {"the wheel", 0, 0},
                    {"a click on the other tab", -1, 0, true}};

} // namespace

Q_DECLARE_METATYPE(Spot)

class TestStartupClosing : public QObject
{
    Q_OBJECT

    FormUnderTest m_w;

    void selectTab(int index) { tbsOptions(*m_w.form)->setSelectedItem(tabs().Item(short(index))); }
    const TabStripTabs &tabs() const { return tbsOptions(*m_w.form)->Tabs(); }
    // The selected tab and where the two pages stand: "<tab>: <x> on|off, <x> on|off".
    QString pages() const
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
    static QString pagesShowing(int tab)
    {
        return tab == 1 ? "1: 14 on, -1333 off" : "2: -1333 off, 14 on"; // 210, -20000 twips
    }
    QWidget *control(const QString &name) const { return ::control(*m_w.form, name); }
    // Ok (1) or Cancel (2) pressed with the pointer, or with Space where it has the focus.
    void press(int button, bool withSpace)
    {
        if (!withSpace)
            return Check22(*m_w.form, button)->click();
        Check22(*m_w.form, button)->setFocus();
        QTest::keyClick(m_w.form->windowHandle(), Qt::Key_Space);
    }

private slots:
    void init() { m_w.reset(); }

    void firstStart()
    {
        QVERIFY(m_w.start());
        const frmOptions &form = *m_w.form;
        QCOMPARE(describe(form.options().values()), QString("0 1 2"));
        QCOMPARE(describe(shownByBoxes(form)), QString("0 1 2"));
        QCOMPARE(form.windowTitle(), QString("Velmora"));
        QCOMPARE(label(form, "lblTitle")->text(), QString("Velmora"));
        QCOMPARE(label(form, "lblVersion")->text(), QString("Version:   7.0"));
        QCOMPARE(pages(), pagesShowing(1));
        QVERIFY(!form.isVisible()); // showing is the caller's decision
        QCOMPARE(m_w.store->snapshot(), QByteArray("<missing>")); // reading creates nothing

        // The strip's own background, right of the tabs, is painted white.
        const QImage strip = tbsOptions(form)->grab().toImage();
        const QRect lastTab = tbsOptions(form)->tabRect(tabs().Count() - 1);
        const QPoint free(lastTab.right() + 20, lastTab.top() + 3);
        QVERIFY(free.x() < strip.width());
        QCOMPARE(QColor(strip.pixel(free)), QColor(Qt::white));
    }

    // Any store of 0, 1 and 2 values among lines of others, then any clicks (by the
    // pointer, the keyboard, a screen reader or code) between keys and the wheel on any
    // control, then Ok, Cancel or the close box: the boxes show what the model makes of
    // each step, only Ctrl+Tab changes the page, Ok saves the model's values and keeps
    // the rest, and nothing else writes.
    void clickSequencesEndAsTheModelSays()
    {
        const quint32 seed = propertySeed();
        QRandomGenerator random(seed);
        for (int run = 0; run < 30; ++run) {
            m_w.reset();
            // Every seventh run starts with no store at all, which closing must not create.
            const bool empty = run % 7 == 3, others = !empty && random.bounded(2);
            std::array<int, 11> stored;
            QByteArray file = others ? "; by hand\r\n[Other]\r\nx=1\r\n" : "";
            file += "[Velmora]\r\nExtra = kept\r\nView=1\r\n"; // " View" is ours, not "View"
            for (int k = 0; k < OptionCount; ++k) {
                const int v = empty ? -1 : random.bounded(-1, 3); // -1: not stored
                if (k < 11)
                    stored[k] = v;
                if (v >= 0)
                    file += QByteArray(kOptionTable[k].key).replace(" ", "%20") +
                            (random.bounded(2) ? " = " : "=") + QByteArray::number(v) + "\r\n";
            }
            QVERIFY(empty || m_w.store->seed(file));
            const QByteArray before = m_w.store->snapshot();
            RuleModel model;
            model.load(stored);
            QString trail = QStringLiteral("seed %1, run %2, stored:\n%3\nsteps:")
                                .arg(seed)
                                .arg(run)
                                .arg(empty ? "none" : QString::fromUtf8(file).remove('\r'));
            // Empty when the boxes and the options show what the model holds.
            const auto differs = [&] {
                const auto expected = model.as<OptionSet::State>();
                const auto shown = shownByBoxes(*m_w.form);
                return shown == expected && m_w.form->options().values() == expected
                           ? QString()
                           : trail + "\nshown " + describe(shown) + ", the model " +
                                 describe(expected);
            };
            QVERIFY(m_w.startShown());
            QVERIFY2(differs().isEmpty(), qPrintable(differs()));

            int tab = 1;
            for (int step = random.bounded(24); step > 0; --step) {
                const int how = random.bounded(6), k = random.bounded(OptionCount);
                OptionCheckBox *box = Check1(*m_w.form, k);
                if (how >= 4 || tab == 2) { // boxes of a page out of view take nothing
                    // A key on a control of the page, the wheel or a click on the tab strip:
                    // only Ctrl+Tab and the click show the other page, nothing else changes.
                    const Key &key = keys[random.bounded(int(std::size(keys)))];
                    const QString focus = QStringList{"tbsOptions", "Check22(1)", "Check22(2)",
                                                      box->objectName()}[random.bounded(5 - tab)];
                    trail += QStringLiteral(" [%1 on %2]").arg(key.name, focus);
                    control(focus)->setFocus();
                    if (key.key < 0) {
                        TabStrip *strip = tbsOptions(*m_w.form);
                        QTest::mouseClick(strip, Qt::LeftButton, {},
                                          strip->tabRect(2 - tab).center());
                    } else if (key.key) {
                        QTest::keyClick(m_w.form->windowHandle(), Qt::Key(key.key),
                                        Qt::KeyboardModifiers(key.modifiers));
                    } else {
                        TabStrip *strip = tbsOptions(*m_w.form);
                        const QPoint at = random.bounded(2) ? strip->tabRect(0).center()
                                                            : QPoint(200, strip->height() - 3);
                        QWheelEvent wheel(at, strip->mapToGlobal(at), {},
                                          {0, random.bounded(2) ? 120 : -120}, Qt::NoButton, {},
                                          Qt::NoScrollPhase, false);
                        QApplication::sendEvent(strip, &wheel);
                    }
                    tab = key.switches ? 3 - tab : tab;
                    QVERIFY2(pages() == pagesShowing(tab) && m_w.form->isVisible(),
                             qPrintable(trail));
                } else {
                    trail += QStringLiteral(" %1%2").arg(QChar("pkrc"[how])).arg(k);
                    if (how == 0) {
                        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
                    } else if (how == 1) {
                        box->setFocus();
                        QTest::keyClick(m_w.form->windowHandle(), Qt::Key_Space);
                    } else if (how == 2) {
                        QAccessible::queryAccessibleInterface(box)->actionInterface()->doAction(
                            QAccessibleActionInterface::toggleAction());
                    } else {
                        box->setCheckState(box->checkState() == Qt::Unchecked ? Qt::Checked
                                                                              : Qt::Unchecked);
                    }
                    model.click(k);
                }
                QVERIFY2(differs().isEmpty(), qPrintable(differs()));
            }

            const int end = run % 6; // Ok, Cancel, either with Space; the close box; a late Ok
            trail += QStringLiteral(" end %1").arg(end);
            if (end == 4)
                QVERIFY(m_w.form->close());
            else
                press(end < 2 ? 1 : 2, end % 2);
            if (end == 5)
                press(1, false);
            QVERIFY2(!m_w.form->isVisible(), qPrintable(trail));
            QVERIFY2(m_w.messages.isEmpty(), qPrintable(trail + m_w.messages.join('\n')));
            if (end < 2) {
                QVERIFY2(m_w.store->values() == valuesOf(model.as<OptionSet::State>()),
                         qPrintable(trail));
                QVERIFY2(empty || m_w.store->text("Velmora", "Extra") == "kept", qPrintable(trail));
                QVERIFY2(!others || m_w.store->text("Other", "x") == "1", qPrintable(trail));
                QVERIFY2(m_w.opened.size() == 1 && m_w.opened[0].store == m_w.store->snapshot(),
                         qPrintable(trail));
            } else {
                QVERIFY2(m_w.storeAfterClosing() == before && m_w.opened.isEmpty(),
                         qPrintable(trail));
            }
        }
    }

    void badStoredValueStopsStartUp_data() { addBadStoredValues(); }
    void badStoredValueStopsStartUp()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(Kind, kind);
#ifdef Q_OS_WIN
        // The registry holds the text itself, as the add-in reads it.
        QVERIFY(m_w.store->key.setText("Insert", "1") && m_w.store->key.setText(key, text));
#else
        QVERIFY(m_w.store->seed("; kept as it is\r\n[Velmora]\r\nInsert = 1\r\n" + line + "\r\n"));
#endif
        const QByteArray before = m_w.store->snapshot();

        m_w.make();
        const auto error = m_w.form->StartUp();
        QVERIFY(error.has_value());
        QCOMPARE(error->kind, kind);
        QCOMPARE(error->key, key);
        QCOMPARE(error->text, text);
        QCOMPARE(error->location, m_w.store->location());
        const QString message = error->message();
        for (const QString &part : {error->kindText(), "\"" + key + "\"", m_w.store->location()})
            QVERIFY2(message.contains(part), qPrintable(message + " lacks " + part));
        QVERIFY(!m_w.form->isVisible());
        QVERIFY(m_w.messages.isEmpty()); // reporting is the caller's part
        QCOMPARE(m_w.storeAfterClosing(), before);
    }

    void messageBoxShowsStoredMarkupAsText()
    {
        // A stored "<h1>Settings OK</h1>" quoted in a message reads as typed, also to a
        // screen reader, which gets a rich text's words without its tags.
        const QString text = "Classic is \"<h1>Settings OK</h1>\"";
        QString shown = "no message box";
        QTimer look; // gone with this function, should no box ever show
        look.setSingleShot(true);
        connect(&look, &QTimer::timeout, this, [&shown] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                auto *label = box->findChild<QLabel *>("qt_msgbox_label");
                shown = label
                            ? QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name)
                            : "no label";
                box->done(0);
            }
        });
        look.start(0);
        ShowPlainMessage(nullptr, QMessageBox::Critical, text);
        QCOMPARE(shown, text);
    }

    void cursorFile_data()
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
    void cursorFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, folder);
        QFETCH(bool, used);
        // A program folder of the case's own, where the window looks for the file.
        m_w.programFolder = m_w.store->dir.filePath("program");
        const QString cursor = m_w.programFolder + "/" + frmOptions::CursorFile;
        QVERIFY(QDir().mkpath(folder ? cursor : m_w.programFolder));
        QVERIFY(folder || writeFile(cursor, content));
        QVERIFY(m_w.start());
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

    void okSavesThenStartsExcelOnce()
    {
        QVERIFY(m_w.startShown());
        Check1(*m_w.form, 4)->click(); // Page Layout
        const WId window = m_w.form->winId();
        QPushButton *ok = Check22(*m_w.form, 1);
        ok->click();

        QVERIFY(!m_w.form->isVisible());
        QCOMPARE(m_w.store->values(), valuesOf(stateOf("0 1 2 4 11")));
        // Excel was handed to the shell once, by this window, to run in the program
        // folder, with the whole save already in place.
        QCOMPARE(m_w.opened.size(), 1);
        QCOMPARE(m_w.opened[0].target, QString("Excel"));
        QCOMPARE(m_w.opened[0].owner, window);
        QCOMPARE(m_w.opened[0].folder, QCoreApplication::applicationDirPath());
        QCOMPARE(m_w.opened[0].store, m_w.store->snapshot());

        // A second press neither saves nor starts Excel again.
#ifdef Q_OS_WIN
        // A value spelled otherwise shows whether a second save wrote again.
        QVERIFY(m_w.store->key.setText("Data", " 1"));
#endif
        const QString afterFirst = m_w.store->identity();
        QVERIFY(afterFirst != "<missing>");
        ok->click();
        QCOMPARE(m_w.store->identity(), afterFirst);
        QVERIFY(!ok->isChecked());
        QCOMPARE(m_w.opened.size(), 1);
        QVERIFY(m_w.messages.isEmpty());
    }

    void whenTheShellFails_data()
    {
        QTest::addColumn<bool>("link"); // else Ok
        QTest::addColumn<QString>("found");
        QTest::addColumn<QStringList>("said");
        const QString where = "in:\n/opt/quenmark and PATH (/usr/bin:/bin)";
        QTest::newRow("Ok, no Excel")
            << false << "" << QStringList{"saved", "Excel could not be started", where};
        QTest::newRow("Ok, Excel cannot run") << false << "/usr/bin/Excel"
                                              << QStringList{"saved", "Excel could not be started",
                                                             "/usr/bin/Excel", "exit status 4"};
        // A registered value may be thousands of characters long: cut as a stored value is.
        QTest::newRow("Ok, found by a path of 5,037 characters")
            << false << "C:\\" + QString(5034, u'x')
            << QStringList{"\"C:\\" + QString(57, u'x') +
                           "…\" (cut; 5037 characters in all) was "
                           "found, but it ended with exit status 4."};
        QTest::newRow("link, no opener")
            << true << "" << QStringList{"http://www.quenmark.example/", "xdg-open", where};
    }
    void whenTheShellFails()
    {
        QFETCH(bool, link);
        QFETCH(QString, found);
        QFETCH(QStringList, said);
        QVERIFY(m_w.startShown());
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
            QVERIFY2(m_w.messages[0].contains(part),
                     qPrintable(m_w.messages[0] + " lacks " + part));
        QCOMPARE(m_w.form->isVisible(), link);
        QCOMPARE(m_w.store->values(),
                 link ? QStringList(12, "-") : valuesOf(stateOf("0 1 2 4 11")));
    }

    void failedSaveKeepsTheWindow_data()
    {
        QTest::addColumn<bool>("okAgain"); // else Cancel, once the location is mended
        QTest::newRow("mended, Ok again") << true;
        QTest::newRow("mended, then Cancel") << false;
    }
    void failedSaveKeepsTheWindow()
    {
#ifdef Q_OS_WIN
        QSKIP("a case of the settings file's locking");
#else
        QFETCH(bool, okAgain);
        // A lock that is a folder is never released, not even for root.
        m_w.store->subfolder = "config";
        const QString location = m_w.store->location();
        const QString blocker = location + ".lock";
        QVERIFY(QDir().mkpath(blocker));

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
        QCOMPARE(describe(shownByBoxes(*m_w.form)), chosen);
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
            QCOMPARE(m_w.store->values(), valuesOf(stateOf(chosen)));
            QCOMPARE(m_w.opened[0].store, m_w.store->snapshot());
        }
        QCOMPARE(m_w.storeAfterClosing(), okAgain ? m_w.opened[0].store : "<missing>");
#endif
    }

    void pointerMoves_data()
    {
        QTest::addColumn<Spot>("spot");
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
        for (const Spot &spot : spots)
            QTest::newRow(spot.name) << spot;
    }
    void pointerMoves()
    {
        QFETCH(Spot, spot);
        QVERIFY(m_w.startShown());
        selectTab(spot.tab);
        // From either pointer, with the link underlined or not.
        for (const auto &[pointerBefore, underlineBefore] :
             {std::pair{0, false}, {0, true}, {99, false}, {99, true}}) {
            // Qt drops a move to where the pointer already is: come from a pixel beside
            // the spot, then set the state.
            QTest::mouseMove(m_w.form->windowHandle(), spot.at + QPoint(1, 0));
            m_w.form->setMousePointer(pointerBefore);
            QFont font = label(*m_w.form, "lblWebsite")->font();
            font.setUnderline(underlineBefore);
            label(*m_w.form, "lblWebsite")->setFont(font);

            MoveRecorder recorder;
            qApp->installEventFilter(&recorder);
            QTest::mouseMove(m_w.form->windowHandle(), spot.at);
            qApp->removeEventFilter(&recorder);

            // The move arrived, at the widget the spot belongs to.
            QVERIFY(!recorder.receivers.isEmpty());
            QCOMPARE(recorder.receivers.first(), control(spot.under));
            const int pointer = spot.pointer < 0 ? pointerBefore : spot.pointer;
            QCOMPARE(m_w.form->MousePointer(), pointer);
            QCOMPARE(label(*m_w.form, "lblWebsite")->font().underline(),
                     spot.underline < 0 ? underlineBefore : spot.underline == 1);
            if (pointer == 99)
                QCOMPARE(m_w.form->cursor().shape(),
                         m_w.form->MouseIcon() ? Qt::BitmapCursor : Qt::PointingHandCursor);
        }
    }

    void websiteLink_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("opens");
        QTest::newRow("handler") << "handler" << true;
        QTest::newRow("left click") << "left" << true;
        QTest::newRow("double click, once") << "double" << true;
        QTest::newRow("right click") << "right" << false;
        QTest::newRow("left press, released beside it") << "away" << false;
    }
    void websiteLink()
    {
        QFETCH(QString, how);
        QFETCH(bool, opens);
        QVERIFY(m_w.store->seed("[Velmora]\r\nHome = 1\r\n"));
        const QByteArray before = m_w.store->snapshot();
        QVERIFY(m_w.startShown());
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
        QCOMPARE(m_w.storeAfterClosing(), before);
    }
};

QTEST_MAIN(TestStartupClosing)
#include "tst_startup_closing.moc"
