// The options window as built: its design values, stacking and focus order,
// the tab strip's contract, and option boxes driven by real clicks.

#include "frmOptions.h"
#include "test_store.h"
#include "twips.h"
#include "window_fixture.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QWheelEvent>
#include <QWindow>

namespace
{

bool hasPixel(const QImage &image, const QRect &within, const QColor &colour)
{
    const QRect area = within & image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (QColor(image.pixel(x, y)) == colour)
                return true;
    return false;
}

// Sets the application palette, as a new system scheme does, until the guard goes.
auto systemScheme(const std::function<void(QPalette &)> &change)
{
    const QPalette original = QApplication::palette();
    QPalette scheme = original;
    change(scheme);
    QApplication::setPalette(scheme);
    return qScopeGuard([original] { QApplication::setPalette(original); });
}

// A control as designed: its place in twips (left, top, width, height; width 0:
// sized to its text), its caption and its font (0 points: no text of its own).
struct Design {
    const char *name, *container;
    QRect twips;
    const char *caption;
    double points;
    bool bold, underline;
};

} // namespace

Q_DECLARE_METATYPE(Design)

class TestOptionsWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowSettings();
    void layout_data();
    void layout();
    void stackingOrder();
    void tabKeyWalksTheFocus();
    void enterAndEscapeDoNothing_data();
    void enterAndEscapeDoNothing();
    void clicksOnRealBoxes_data();
    void clicksOnRealBoxes();
    void wholeBoxTakesTheClick();
    void grayedBox();
    void tabStripContract();
    void buttonsArePlainToggles();
    void hideBuiltInTabsHidesTheRectangleBehindIt_data() { checkSquaresAreWhole_data(); }
    void hideBuiltInTabsHidesTheRectangleBehindIt();
    void aboutPageTitleAndGroove();
    void captionsFitTheirControls();
    void checkSquaresAreWhole_data();
    void checkSquaresAreWhole();
    void textFollowsTheSchemeWhileReadable_data();
    void textFollowsTheSchemeWhileReadable();
    void captionsInButtonText();
    void wheelKeepsThePage();

private:
    QWidget *control(const QString &name) const;

    std::unique_ptr<TestStore> m_dir;
    FormUnderTest m_w;
};

void TestOptionsWindow::init()
{
    m_dir = std::make_unique<TestStore>();
    m_w.make(m_dir->root());
}

void TestOptionsWindow::cleanup()
{
    QVERIFY2(m_w.messages.isEmpty(), qPrintable(m_w.messages.join('\n')));
    m_w.reset();
    m_dir.reset();
}

QWidget *TestOptionsWindow::control(const QString &name) const
{
    return ::control(*m_w.form, name);
}

void TestOptionsWindow::windowSettings()
{
    QCOMPARE(m_w.form->size(), QSize(410, 335)); // 6150 x 5025 twips
    QCOMPARE(m_w.form->minimumSize(), m_w.form->maximumSize());
    const Qt::WindowFlags flags = m_w.form->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(m_w.form->windowTitle(), QString("frmOptions")); // until start-up
    QCOMPARE(m_w.form->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(m_w.form->windowHandle()); // exists before the first show, for the key filter
    // -reverse and right-to-left locales mirror layouts; this one stays as designed, its
    // captions' text too.
    const QImage designed = m_w.form->grab().toImage();
    m_w.reset();
    qApp->setLayoutDirection(Qt::RightToLeft);
    const auto restore = qScopeGuard([] { qApp->setLayoutDirection(Qt::LeftToRight); });
    m_w.make(m_dir->root());
    QWidgetList widgets = m_w.form->findChildren<QWidget *>();
    for (QWidget *widget : widgets << m_w.form.get())
        QVERIFY2(widget->layoutDirection() == Qt::LeftToRight, qPrintable(widget->objectName()));
    QCOMPARE(m_w.form->grab().toImage(), designed);
}

void TestOptionsWindow::layout_data()
{
    QTest::addColumn<Design>("design");
    auto row = [](const char *name, const char *container, QRect twips, const char *caption,
                  double points, bool bold, bool underline = false) {
        QTest::newRow(name) << Design{name, container, twips, caption, points, bold, underline};
    };
    row("tbsOptions", "frmOptions", {105, 120, 5895, 4245}, "", 9, true);
    row("picOptions(0)", "frmOptions", {21000, 525, 5685, 3690}, "", 0, false);
    row("picOptions(1)", "frmOptions", {210, 525, 5685, 3690}, "", 0, false);
    row("fraSample1(0)", "picOptions(0)", {0, 0, 5535, 3585}, "", 0, false);
    row("fraSample1(1)", "picOptions(1)", {120, 0, 5535, 3585}, "", 0, false);
    const char *box = "fraSample1(0)";
    row("Check1(0)", box, {240, 480, 5295, 375},
        "Show Classic Menu and Toolbars in Microsoft Excel 2007", 9, true);
    row("Check1(1)", box, {600, 840, 3975, 375}, "Show menus tabs on the left of home tab", 9,
        true);
    row("Check1(2)", box, {600, 1200, 3375, 375}, "Show all items in main menu", 9, true);
    row("Check1(11)", box, {600, 1560, 1815, 375}, "Hide built-in tabs", 9, true);
    row("Check1(3)", box, {960, 1920, 1095, 375}, "Home", 9, true);
    row("Check1(4)", box, {960, 2235, 1455, 375}, "Page Layout", 9, true);
    row("Check1(5)", box, {960, 2565, 1095, 375}, "Insert", 9, true);
    row("Check1(6)", box, {960, 2880, 1215, 375}, "Formulas", 9, true);
    row("Check1(9)", box, {2640, 1920, 975, 375}, " View", 9, true);
    row("Check1(8)", box, {2640, 2280, 1095, 375}, "Review", 9, true);
    row("Check1(7)", box, {2640, 2565, 975, 375}, "Data", 9, true);
    row("Check1(10)", box, {2640, 2880, 1215, 375}, "Developer", 9, true);
    const char *about = "fraSample1(1)";
    row("lblTitle", about, {0, 480, 5415, 615}, "lblTitle", 12, true);
    row("lblVersion", about, {0, 1320, 5445, 225}, "lblVersion", 9.75, true);
    row("lblWebsiteLabel", about, {405, 2745, 0, 0}, "Website: ", 9.75, true);
    row("lblWebsite", about, {1950, 2760, 0, 0}, "http://www.quenmark.example/", 9.75, false, true);
    row("Check22(1)", "frmOptions", {3420, 4560, 1215, 375}, "Ok", 11.25, true);
    row("Check22(2)", "frmOptions", {4680, 4560, 1215, 375}, "Cancel", 11.25, true);
}

void TestOptionsWindow::layout()
{
    QFETCH(Design, design);
    QWidget *w = control(design.name);
    QCOMPARE(w->parentWidget(), control(design.container));
    const QRect &twips = design.twips;
    const QString caption = design.caption;
    const QRect px = twipsRect(twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(w->pos(), px.topLeft());
    if (twips.width() > 0) {
        QCOMPARE(w->size(), px.size());
    } else { // sized to fit its text once its page shows
        tbsOptions(*m_w.form)->setSelectedItem(tbsOptions(*m_w.form)->Tabs().Item(2));
        QCOMPARE(w->size(), w->sizeHint());
        QVERIFY(w->width() >= w->fontMetrics().horizontalAdvance(caption));
    }

    if (auto *label = qobject_cast<QLabel *>(w))
        QCOMPARE(label->text(), caption);
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        QCOMPARE(button->text(), caption);
    if (design.points > 0) {
        QCOMPARE(w->font().family(), QString("Arial"));
        QCOMPARE(w->font().pointSizeF(), design.points);
        QCOMPARE(w->font().bold(), design.bold);
        QCOMPARE(w->font().underline(), design.underline);
        if (w != tbsOptions(*m_w.form)) { // opaque white behind every text
            QVERIFY(w->autoFillBackground());
            QCOMPARE(w->palette().color(w->backgroundRole()), QColor(Qt::white));
        }
    }
}

void TestOptionsWindow::stackingOrder()
{
    // Children are listed back to front. Among the boxes, index order ("Hide built-in tabs" in
    // front); in the window the tab strip at the back, the options page, Ok, Cancel, About page.
    const frmOptions &form = *m_w.form;
    QList<OptionCheckBox *> boxes;
    for (int i = 0; i < OptionCount; ++i)
        boxes << Check1(form, i);
    QCOMPARE(fraSample1(form, 0)->findChildren<OptionCheckBox *>(Qt::FindDirectChildrenOnly),
             boxes);
    const QList<QWidget *> top{tbsOptions(form), picOptions(form, 0), Check22(form, 1),
                               Check22(form, 2), picOptions(form, 1)};
    QCOMPARE(form.findChildren<QWidget *>(Qt::FindDirectChildrenOnly), top);
}

void TestOptionsWindow::tabKeyWalksTheFocus()
{
    QVERIFY(m_w.startShown());
    const frmOptions &form = *m_w.form;
    TabStrip *strip = tbsOptions(form);
    // The focus mark shows from the first moment, and wherever the focus went, by any means.
    QCOMPARE(QApplication::focusWidget(), strip);
    const QImage marked = strip->grab().toImage();
    Check1(form, 3)->setFocus(Qt::MouseFocusReason);
    QVERIFY(strip->grab().toImage() != marked);
    strip->setFocus(Qt::MouseFocusReason);
    QCOMPARE(strip->grab().toImage(), marked);
    // From the tab strip round to it again; on the About page nothing of the options
    // page can take the focus.
    QList<QWidget *> walks[2] = {{Check22(form, 1), Check22(form, 2)},
                                 {Check22(form, 1), Check22(form, 2), strip}};
    for (int i = 0; i < OptionCount; ++i)
        walks[0] << Check1(form, i);
    walks[0] << strip;
    for (short tab : {1, 2}) {
        strip->setSelectedItem(strip->Tabs().Item(tab));
        for (QWidget *next : walks[tab - 1]) {
            QTest::keyClick(form.windowHandle(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }
}

void TestOptionsWindow::enterAndEscapeDoNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focus");
    for (const char *focus : {"Check22(1)", "Check22(2)", "Check1(4)", "tbsOptions"}) {
        QTest::addRow("Enter on %s", focus) << int(Qt::Key_Return) << QString(focus);
        QTest::addRow("keypad Enter on %s", focus) << int(Qt::Key_Enter) << QString(focus);
        QTest::addRow("Esc on %s", focus) << int(Qt::Key_Escape) << QString(focus);
    }
}

void TestOptionsWindow::enterAndEscapeDoNothing()
{
    QFETCH(int, key);
    QFETCH(QString, focus);
    QVERIFY(m_w.startShown());
    control(focus)->setFocus();
    const auto before = m_w.form->options().values();

    QTest::keyClick(m_w.form->windowHandle(), Qt::Key(key));
    QVERIFY(m_w.form->isVisible());
    QCOMPARE(m_w.form->options().values(), before);
    QVERIFY(!QFile::exists(m_w.store->location("Quenmark")));
}

void TestOptionsWindow::clicksOnRealBoxes_data()
{
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QList<int>>("ticked");
    // From the first start (0, 1 and 2 ticked).
    QTest::newRow("Page Layout") << QList<int>{4} << QList<int>{0, 1, 2, 4, 11};
    QTest::newRow("Page Layout, then Home") << QList<int>{4, 3} << QList<int>{0, 2, 3, 4, 11};
    QTest::newRow("clear the classic menu") << QList<int>{0} << QList<int>{};
    QTest::newRow("hide built-in tabs")
        << QList<int>{11} << QList<int>{0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    QTest::newRow("hide and unhide") << QList<int>{11, 11} << QList<int>{0, 2};
    QTest::newRow("Left after Home") << QList<int>{3, 1} << QList<int>{0, 1, 2};
}

void TestOptionsWindow::clicksOnRealBoxes()
{
    QFETCH(QList<int>, clicks);
    QFETCH(QList<int>, ticked);
    QVERIFY(m_w.startShown());

    for (int index : clicks) {
        OptionCheckBox *box = Check1(*m_w.form, index);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    for (int i = 0; i < OptionCount; ++i) {
        const OptionValue expected = ticked.contains(i) ? 1 : 0;
        QCOMPARE(m_w.form->options().value(i), expected);
        QCOMPARE(Check1(*m_w.form, i)->Value(), expected); // the box shows what the rules read
    }
}

void TestOptionsWindow::wholeBoxTakesTheClick()
{
    QVERIFY(m_w.startShown());
    QList<int> clicked;
    for (int index = 0; index < OptionCount; ++index)
        connect(Check1(*m_w.form, index), &QAbstractButton::clicked, this,
                [&clicked, i = index] { clicked << i; });

    // Corners and the far end of every box; where boxes overlap, the one in front (the
    // later created, the higher index) takes the click.
    for (int i = 0; i < OptionCount; ++i) {
        const QRect r = Check1(*m_w.form, i)->geometry();
        for (const QPoint at : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight(),
                                QPoint(r.right(), r.center().y())}) {
            int front = -1;
            for (int k = 0; k < OptionCount; ++k)
                if (Check1(*m_w.form, k)->geometry().contains(at))
                    front = k;
            clicked.clear();
            QTest::mouseClick(m_w.form->windowHandle(), Qt::LeftButton, {},
                              fraSample1(*m_w.form, 0)->mapTo(m_w.form.get(), at));
            QVERIFY2(clicked == QList<int>{front},
                     qPrintable(QStringLiteral("box %1 at %2,%3").arg(i).arg(at.x()).arg(at.y())));
        }
    }
}

void TestOptionsWindow::grayedBox()
{
    QVERIFY(m_dir->seed("Left", "2"));
    QVERIFY(m_w.start());
    OptionCheckBox *left = Check1(*m_w.form, 1);
    QCOMPARE(left->checkState(), Qt::PartiallyChecked);

    // A click on a grayed box clears it; later clicks toggle, never back to grayed.
    const Qt::CheckState after[] = {Qt::Unchecked, Qt::Checked, Qt::Unchecked, Qt::Checked};
    for (Qt::CheckState state : after) {
        left->click();
        QCOMPARE(left->checkState(), state);
        QCOMPARE(m_w.form->options().value(1), OptionValue(state == Qt::Checked ? 1 : 0));
    }
    // A change made on the box from code runs the rules too: ticking Home clears Left.
    Check1(*m_w.form, 3)->setCheckState(Qt::Checked);
    QCOMPARE(m_w.form->options().value(3), OptionValue(1));
    QCOMPARE(left->checkState(), Qt::Unchecked);
}

void TestOptionsWindow::tabStripContract()
{
    TabStrip *strip = tbsOptions(*m_w.form);
    QCOMPARE(strip->Tabs().Count(), short(2));
    const char *captions[] = {"Excel", "About"}, *keys[] = {"Group1", "Group2"},
               *tips[] = {"Set Options for Velmora", "About"};
    for (short i = 1; i <= 2; ++i) {
        TabStripTab *tab = strip->Tabs().Item(i);
        QVERIFY(tab);
        QCOMPARE(tab->Index(), i);
        QCOMPARE(strip->tabText(i - 1), QString(captions[i - 1]));
        QCOMPARE(strip->tabData(i - 1).toString(), QString(keys[i - 1]));
        QCOMPARE(strip->tabToolTip(i - 1), QString(tips[i - 1]));
    }
    QVERIFY(!strip->Tabs().Item(0));
    QVERIFY(!strip->Tabs().Item(3));
    QCOMPARE(strip->SelectedItem()->Index(), short(1));

    QSignalSpy clicks(strip, &TabStrip::Click);
    strip->setSelectedItem(strip->Tabs().Item(1)); // already selected
    QCOMPARE(clicks.count(), 0);
    strip->setSelectedItem(strip->Tabs().Item(2));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(strip->SelectedItem()->Index(), short(2));
    strip->setSelectedItem(nullptr);
    QCOMPARE(clicks.count(), 1);
    // A user's click on the other tab raises it too, and the page follows.
    QVERIFY(m_w.showAndActivate());
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->tabRect(0).center());
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(strip->SelectedItem()->Index(), short(1));
    QCOMPARE(picOptions(*m_w.form, 0)->x(), 14);
    QVERIFY(picOptions(*m_w.form, 0)->isEnabled());
    QCOMPARE(picOptions(*m_w.form, 1)->x(), twipsToWholePixels(-20000));
    QVERIFY(!picOptions(*m_w.form, 1)->isEnabled());
    QVERIFY(picOptions(*m_w.form, 1)->isVisible()); // moved away, never hidden

    QCOMPARE(strip->iconSize(), QSize(17, 17));
}

void TestOptionsWindow::buttonsArePlainToggles()
{
    for (int index : {1, 2}) {
        QPushButton *button = Check22(*m_w.form, index);
        QVERIFY(button->isCheckable());
        QVERIFY(!button->isChecked());
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
        const QImage icon = button->icon().pixmap(32, 32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                QCOMPARE(qAlpha(icon.pixel(x, y)), 0);
    }
}

void TestOptionsWindow::hideBuiltInTabsHidesTheRectangleBehindIt()
{
    QFETCH(qreal, scale); // the layout scales as one piece, this corner included
    PageFrame *frame = fraSample1(*m_w.form, 0);
    QPixmap pixmap(frame->size() * scale);
    pixmap.setDevicePixelRatio(scale);
    frame->render(&pixmap);
    const QImage image = pixmap.toImage();
    const QRect shape = twipsRect(600, 1680, 3375, 1695);
    const QRect box = Check1(*m_w.form, 11)->geometry();

    auto isInk = [&](qreal x, qreal y) {
        return qGray(image.pixel(int(x * scale), int(y * scale))) < 128;
    };
    // The top edge shows only to the right of the box, the left edge only below it:
    // no pixel of it beside the box either.
    QVERIFY(!isInk(box.left() + 10, shape.top()));
    QVERIFY(isInk(box.right() + 5, shape.top()));
    for (qreal y = box.top(); y < box.bottom() + 1; y += 1 / scale)
        for (qreal x = shape.left() - 2; x < shape.left() + 1; x += 1 / scale)
            QVERIFY2(!isInk(x, y), qPrintable(QString("at %1, %2").arg(x).arg(y)));
    QVERIFY(isInk(shape.left(), box.bottom() + 10));
    // The other edges are complete.
    QVERIFY(isInk(shape.right(), shape.center().y()));
    QVERIFY(isInk(shape.center().x(), shape.bottom()));
}

void TestOptionsWindow::aboutPageTitleAndGroove()
{
    QVERIFY(m_w.start());
    PageFrame *frame = fraSample1(*m_w.form, 1);
    const QImage image = frame->grab().toImage();
    QVERIFY(hasPixel(image, label(*m_w.form, "lblTitle")->geometry(), QColor(0, 128, 0)));
    // The groove at 2160 twips: a dark grey pixel row over a light grey one, across the page.
    const int y = twipsToWholePixels(2160);
    for (int x : {0, frame->width() / 2, twipsToWholePixels(5480) - 1}) {
        QCOMPARE(QColor(image.pixel(x, y - 1)), QColor(Qt::white));
        QCOMPARE(QColor(image.pixel(x, y)), QColor(128, 128, 128));
        QCOMPARE(QColor(image.pixel(x, y + 1)), QColor(192, 192, 192));
        QCOMPARE(QColor(image.pixel(x, y + 2)), QColor(Qt::white));
    }
}

void TestOptionsWindow::captionsFitTheirControls()
{
    // Run again by ctest at several scale factors: the window scales as one piece.
    QVERIFY(m_w.start());
    for (int i = 0; i < OptionCount; ++i) {
        OptionCheckBox *box = Check1(*m_w.form, i);
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        const QSize text = box->fontMetrics().size(Qt::TextShowMnemonic, box->text());
        QVERIFY2(text.width() <= room.width(), qPrintable(box->text()));
        QVERIFY2(text.height() <= room.height(), qPrintable(box->text()));
    }
    tbsOptions(*m_w.form)->setSelectedItem(tbsOptions(*m_w.form)->Tabs().Item(2));
    for (QLabel *label : {label(*m_w.form, "lblVersion"), label(*m_w.form, "lblWebsiteLabel"),
                          label(*m_w.form, "lblWebsite")})
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
    for (int index : {1, 2}) {
        QPushButton *button = Check22(*m_w.form, index);
        const int text = button->fontMetrics().horizontalAdvance(button->text());
        const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        QVERIFY2(text + button->iconSize().width() + 4 + 2 * frame <= button->width(),
                 qPrintable(button->text()));
    }
    // A long title wraps inside the label's width and still fits its two lines.
    QLabel *title = label(*m_w.form, "lblTitle");
    title->setText("Velmora: the classic menu and toolbars for Microsoft Excel 2007");
    QCOMPARE(title->width(), twipsToWholePixels(5415));
    const int needed = title->heightForWidth(title->width());
    QVERIFY(needed > title->fontMetrics().lineSpacing()); // wraps
    QVERIFY(needed <= title->height());
}

void TestOptionsWindow::checkSquaresAreWhole_data()
{
    QTest::addColumn<qreal>("scale");
    for (qreal scale : {1.0, 1.25, 1.5, 2.0})
        QTest::addRow("scale %g", scale) << scale;
}

void TestOptionsWindow::checkSquaresAreWhole()
{
    // Boxes overlap (Review lies over Data's top 6 px), yet every square shows its
    // whole outline: each edge's outermost pixel is dark from end to end.
    QFETCH(qreal, scale);
    QVERIFY(m_w.start());
    QPixmap pixmap(m_w.form->size() * scale);
    pixmap.setDevicePixelRatio(scale);
    m_w.form->render(&pixmap);
    const QImage image = pixmap.toImage();
    for (int i = 0; i < OptionCount; ++i) {
        OptionCheckBox *box = Check1(*m_w.form, i);
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect r = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        const QPointF first = box->mapTo(m_w.form.get(), r.topLeft()) + QPointF(0.5, 0.5);
        const qreal last = r.width() - 1; // the square's side, from pixel centre to centre
        for (qreal t = 2; t <= last - 2; t += 0.5)
            for (QPointF edge :
                 {QPointF(t, 0), QPointF(0, t), QPointF(t, last), QPointF(last, t)}) {
                const QPointF at = (first + edge) * scale;
                QVERIFY2(qGray(image.pixel(int(at.x()), int(at.y()))) < 225,
                         qPrintable(box->text()));
            }
    }
}

void TestOptionsWindow::textFollowsTheSchemeWhileReadable_data()
{
    QTest::addColumn<QColor>("systemText");
    QTest::addColumn<QColor>("shown");
    QTest::newRow("dark scheme: light text gives way")
        << QColor(240, 240, 240) << QColor(Qt::black);
    QTest::newRow("high contrast: navy text is kept") << QColor(0, 0, 128) << QColor(0, 0, 128);
    QTest::newRow("mid grey is too faint") << QColor(150, 150, 150) << QColor(Qt::black);
    QTest::newRow("grey of 4.4:1 is too faint") << QColor(120, 120, 120) << QColor(Qt::black);
}

void TestOptionsWindow::textFollowsTheSchemeWhileReadable()
{
    QFETCH(QColor, systemText);
    QFETCH(QColor, shown);
    QVERIFY(m_w.start());
    const auto restore = systemScheme([&](QPalette &scheme) {
        for (auto role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
            scheme.setColor(role, systemText);
        for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
            scheme.setColor(role, QColor(45, 45, 45));
    });

    for (int i = 0; i < OptionCount; ++i)
        QCOMPARE(Check1(*m_w.form, i)->palette().color(QPalette::ButtonText), shown);
    QCOMPARE(Check22(*m_w.form, 1)->palette().color(QPalette::ButtonText), shown);
    QCOMPARE(label(*m_w.form, "lblVersion")->palette().color(QPalette::ButtonText), shown);
    QCOMPARE(fraSample1(*m_w.form, 0)->palette().color(QPalette::WindowText), shown);
    // The pages stay white.
    QCOMPARE(picOptions(*m_w.form, 0)->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(Check1(*m_w.form, 0)->palette().color(Check1(*m_w.form, 0)->backgroundRole()),
             QColor(Qt::white));

    // None of the scheme's dark surfaces shows, also when the scheme is there from the
    // start, and while another window is active (the scheme's inactive colours): not in
    // the pane around the pages, not inside an unticked box; a tick is dark.
    frmOptions started(*m_w.store);
    QVERIFY(!started.StartUp());
    QWidget other;
    for (bool elsewhere : {false, true}) {
        if (elsewhere) {
            for (QWidget *window : {(QWidget *)m_w.form.get(), (QWidget *)&started, &other})
                window->show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        }
        for (frmOptions *form : {m_w.form.get(), &started}) {
            const QImage look = form->grab().toImage();
            const QWidget *page = picOptions(*form, 0), *box = Check1(*form, 3);
            for (QPoint at : {QPoint(page->x() - 3, page->geometry().center().y()),
                              box->mapTo(form, QPoint(6, box->height() / 2))})
                QVERIFY2(qGray(look.pixel(at * look.devicePixelRatio())) > 200,
                         elsewhere ? "another window active" : "");
        }
    }
    const QImage ticked = Check1(*m_w.form, 0)->grab().toImage();
    bool dark = false; // somewhere in the box's first 15 pixels, its tick
    for (int y = 0; y < ticked.height(); ++y)
        for (int x = 0; x < 15 * ticked.devicePixelRatio(); ++x)
            dark = dark || qGray(ticked.pixel(x, y)) < 100;
    QVERIFY(dark);

    // The tab captions lie on white too, also when the scheme is there from the start.
    TabStrip *strip = tbsOptions(started);
    const QImage image = strip->grab().toImage();
    for (int tab = 0; tab < 2; ++tab) {
        const QRect caption = strip->tabRect(tab).adjusted(strip->iconSize().width() + 6, 0, 0, 0);
        QVERIFY2(hasPixel(image, caption, shown), qPrintable(strip->tabText(tab)));
    }

    const QString dir = qEnvironmentVariable("VELMORA_SCREENSHOT_DIR");
    if (!dir.isEmpty() &&
        QTest::currentDataTag() == QLatin1String("dark scheme: light text gives way"))
        m_w.form->grab().save(dir + "/options-page-dark.png");
}

void TestOptionsWindow::captionsInButtonText()
{
    QVERIFY(m_w.start());
    const QColor buttonText(128, 0, 0), windowText(0, 0, 128); // both readable on white
    const auto restore = systemScheme([&](QPalette &scheme) {
        scheme.setColor(QPalette::ButtonText, buttonText);
        scheme.setColor(QPalette::WindowText, windowText);
    });

    for (int i = 0; i < OptionCount; ++i) {
        const QImage image = Check1(*m_w.form, i)->grab().toImage();
        QVERIFY2(hasPixel(image, image.rect(), buttonText),
                 qPrintable(Check1(*m_w.form, i)->text()));
        QVERIFY2(!hasPixel(image, image.rect(), windowText),
                 qPrintable(Check1(*m_w.form, i)->text()));
    }
    // The rectangle around the tab boxes is a line, in the window-text colour: its left
    // edge lies 600 twips (40 px) in, between 1680 and 3375 twips down.
    const QImage page = picOptions(*m_w.form, 0)->grab().toImage();
    const qreal ratio = page.devicePixelRatio();
    QVERIFY(hasPixel(page, QRect(QPoint(38, 130) * ratio, QPoint(42, 200) * ratio), windowText));
}

void TestOptionsWindow::wheelKeepsThePage()
{
    QVERIFY(m_w.start());
    TabStrip *strip = tbsOptions(*m_w.form);
    // Over a tab and over the strip's margin below the pages, both ways.
    for (const QPoint at :
         {strip->tabRect(0).center(), QPoint(strip->width() / 2, strip->height() - 3)}) {
        for (int delta : {-120, 120}) {
            QWheelEvent wheel(at, strip->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, {},
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(strip, &wheel);
            QCOMPARE(strip->SelectedItem()->Index(), short(1));
            QCOMPARE(picOptions(*m_w.form, 0)->x(), 14);
        }
    }
}

QTEST_MAIN(TestOptionsWindow)
#include "tst_options_window.moc"
