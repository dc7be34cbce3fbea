// What a screen reader meets: names, roles, descriptions and states, and the
// window worked from the keyboard alone.

#include "frmOptions.h"
#include "test_store.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QToolTip>
#include <QWindow>

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void optionBoxes();
    void checkStates();
    void buttonsLabelsAndLink();
    void tabsByCaption();
    void keyboardAlone();

private:
    static auto *accessible(QWidget *w) { return QAccessible::queryAccessibleInterface(w); }
    std::unique_ptr<TestStore> m_dir;
    FormUnderTest m_w;
};

void TestAccessibility::init()
{
    m_dir = std::make_unique<TestStore>();
    QVERIFY(m_dir->seed("Left", "2")); // one grayed box
    m_w.make(m_dir->root());
    QVERIFY(m_w.start());
}

void TestAccessibility::cleanup()
{
    m_w.reset();
    m_dir.reset();
}

void TestAccessibility::optionBoxes()
{
    for (int i = 0; i < OptionCount; ++i) {
        OptionCheckBox *box = Check1(*m_w.form, i);
        QAccessibleInterface *a = accessible(box);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::CheckBox);
        QCOMPARE(a->text(QAccessible::Name), QString::fromLatin1(OptionSet::info(i).caption));
        const QString description = a->text(QAccessible::Description);
        QCOMPARE(description, QString::fromLatin1(OptionSet::info(i).description));
        QVERIFY(!description.isEmpty());
        QCOMPARE(box->toolTip(), "<p>" + description.toHtmlEscaped() + "</p>");
    }
    // The longest tooltip is wrapped, not one line wider than small screens.
    QToolTip::showText(QPoint(0, 0), Check1(*m_w.form, Option::HideBuiltInTabs)->toolTip());
    QWidget *tip = QApplication::activePopupWidget();
    for (QWidget *w : QApplication::topLevelWidgets())
        tip = w->inherits("QTipLabel") ? w : tip;
    QVERIFY(tip && tip->width() < 500);
    QToolTip::hideText();
}

void TestAccessibility::checkStates()
{
    auto state = [&](int i) { return accessible(Check1(*m_w.form, i))->state(); };
    QVERIFY(state(0).checked);
    QVERIFY(!state(0).checkStateMixed);
    QVERIFY(state(1).checkStateMixed); // grayed from the store
    QVERIFY(!state(3).checked);
    QVERIFY(state(0).checkable);

    // The toggle action a screen reader offers goes through the rules like a click.
    QAccessibleInterface *home = accessible(Check1(*m_w.form, 3));
    home->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(state(3).checked);
    QVERIFY(!state(1).checked && !state(1).checkStateMixed); // Home excludes Left
}

void TestAccessibility::buttonsLabelsAndLink()
{
    const QList<QPair<QWidget *, QString>> named{
        {Check22(*m_w.form, 1), "Ok"},
        {Check22(*m_w.form, 2), "Cancel"},
        {label(*m_w.form, "lblTitle"), "Velmora"},
        {label(*m_w.form, "lblVersion"), "Version:   7.0"},
        {label(*m_w.form, "lblWebsiteLabel"), "Website: "}};
    for (const auto &[widget, name] : named)
        QCOMPARE(accessible(widget)->text(QAccessible::Name), name);
    QCOMPARE(accessible(Check22(*m_w.form, 1))->role(), QAccessible::Button);

    QAccessibleInterface *link = accessible(label(*m_w.form, "lblWebsite"));
    QCOMPARE(link->role(), QAccessible::Link);
    QCOMPARE(link->text(QAccessible::Name), QString(frmOptions::Website));
    QVERIFY(link->state().linked);
    QVERIFY(link->actionInterface());
    QVERIFY(
        link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
}

void TestAccessibility::tabsByCaption()
{
    QAccessibleInterface *strip = accessible(tbsOptions(*m_w.form));
    QVERIFY(strip);
    QStringList names;
    for (int i = 0; i < strip->childCount(); ++i) {
        QAccessibleInterface *child = strip->child(i);
        if (child->role() == QAccessible::PageTab)
            names << child->text(QAccessible::Name);
    }
    QCOMPARE(names, (QStringList{"Excel", "About"}));
}

void TestAccessibility::keyboardAlone()
{
    QVERIFY(m_w.showAndActivate());
    QWindow *window = m_w.form->windowHandle();
    tbsOptions(*m_w.form)->setFocus();

    // Tab to "Page Layout" (tab strip, Ok, Cancel, boxes 0 to 4) and tick it with Space.
    for (int i = 0; i < 7; ++i)
        QTest::keyClick(window, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Check1(*m_w.form, 4));
    QTest::keyClick(window, Qt::Key_Space);
    QCOMPARE(m_w.form->options().value(4), OptionValue(1));
    QCOMPARE(m_w.form->options().value(11), OptionValue(1));

    // Ctrl+Tab switches pages and back.
    QTest::keyClick(window, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tbsOptions(*m_w.form)->SelectedItem()->Index(), short(2));
    QTest::keyClick(window, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tbsOptions(*m_w.form)->SelectedItem()->Index(), short(1));

    // Space on Cancel closes without writing.
    Check22(*m_w.form, 2)->setFocus();
    QTest::keyClick(window, Qt::Key_Space);
    QVERIFY(!m_w.form->isVisible());
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
