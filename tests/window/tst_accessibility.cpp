// What a screen reader meets: names, roles, descriptions and states. Its toggle
// action, and the window worked from the keyboard alone, are among the ways
// tst_startup_closing's click sequences click.

#include "frmOptions.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QToolTip>

class TestAccessibility : public QObject
{
    Q_OBJECT

    static auto *accessible(QWidget *w) { return QAccessible::queryAccessibleInterface(w); }
    FormUnderTest m_w;

private slots:
    void init()
    {
        m_w.reset();
        QVERIFY(m_w.store->seed("[Velmora]\nLeft=2\n")); // one grayed box
        QVERIFY(m_w.start());
    }

    void optionBoxes()
    {
        for (int i = 0; i < OptionCount; ++i) {
            OptionCheckBox *box = Check1(*m_w.form, i);
            QAccessibleInterface *a = accessible(box);
            QVERIFY(a);
            QCOMPARE(a->role(), QAccessible::CheckBox);
            QCOMPARE(a->text(QAccessible::Name), QString::fromLatin1(OptionSet::info(i).caption));
            const QString description = QString::fromLatin1(OptionSet::info(i).description);
            QVERIFY(!description.isEmpty());
            QCOMPARE(a->text(QAccessible::Description), description);
            // The tooltip reads as the description, wrapped rather than one line wider
            // than small screens.
            QToolTip::showText(QPoint(0, 0), box->toolTip());
            QWidget *tip = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                tip = w->inherits("QTipLabel") && w->isVisible() ? w : tip;
            QVERIFY(tip);
            QCOMPARE(accessible(tip)->text(QAccessible::Name), description);
            QVERIFY(tip->width() < 500);
            QToolTip::hideText();
        }
    }

    void checkStates()
    {
        auto state = [&](int i) { return accessible(Check1(*m_w.form, i))->state(); };
        QVERIFY(state(0).checked);
        QVERIFY(!state(0).checkStateMixed);
        QVERIFY(state(1).checkStateMixed); // grayed from the store
        QVERIFY(!state(3).checked);
        QVERIFY(state(0).checkable);
    }

    void buttonsLabelsAndLink()
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
        QVERIFY(link->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
    }

    void tabsByCaption()
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
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
