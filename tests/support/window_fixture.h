#pragma once

// The options window under test: its controls found by the object names they
// carry ("Check1(4)", "lblTitle"), and a window over a store of the test's own
// whose messages and hand-offs to the shell are recorded instead of shown (and,
// unless asked, instead of run).

#include "frmOptions.h"
#include "option_check_box.h"
#include "page_frame.h"
#include "settings_store.h"
#include "tab_strip.h"
#include "test_store.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

template <class T = QWidget> T *control(const frmOptions &form, const QString &name)
{
    QObject *found = name == QLatin1String("frmOptions") ? const_cast<frmOptions *>(&form)
                                                         : form.findChild<QObject *>(name);
    T *typed = qobject_cast<T *>(found);
    if (!typed)
        qFatal("the window has no control %s of the type asked for", qPrintable(name));
    return typed;
}

inline OptionCheckBox *Check1(const frmOptions &form, int index)
{
    return control<OptionCheckBox>(form, QStringLiteral("Check1(%1)").arg(index));
}
inline QPushButton *Check22(const frmOptions &form, int index)
{
    return control<QPushButton>(form, QStringLiteral("Check22(%1)").arg(index));
}
inline QWidget *picOptions(const frmOptions &form, int index)
{
    return control(form, QStringLiteral("picOptions(%1)").arg(index));
}
inline PageFrame *fraSample1(const frmOptions &form, int index)
{
    return control<PageFrame>(form, QStringLiteral("fraSample1(%1)").arg(index));
}
inline TabStrip *tbsOptions(const frmOptions &form)
{
    return control<TabStrip>(form, QStringLiteral("tbsOptions"));
}
inline QLabel *label(const frmOptions &form, const char *name)
{
    return control<QLabel>(form, QString::fromLatin1(name));
}

// A window over a store of its own, with recorders in place of the message box and
// the shell.
class FormUnderTest
{
public:
    struct Opened {
        WId owner;
        QString target, folder;
        QByteArray store; // the store as it stood then
    };

    QStringList messages;
    QList<bool> shownAtMessage; // whether the window was still up for each message
    QList<Opened> opened;
    ShellOutcome shellAnswer{.started = true};
    bool realShell = false; // hand-offs go on to the real shell too
    QString programFolder;  // where the cursor file is looked for, when set

    // The outside world the window sees: messages and shell hand-offs recorded.
    class RecordingWorld : public OutsideWorld
    {
    public:
        explicit RecordingWorld(FormUnderTest &fixture) : m_fixture(fixture) {}
        void showMessage(QWidget *window, const QString &text) override
        {
            m_fixture.messages << text;
            m_fixture.shownAtMessage << window->isVisible();
        }
        ShellOutcome openWithShell(WId owner, const QString &target, const QString &folder,
                                   const LateFailure &) override
        {
            const FormUnderTest &f = m_fixture;
            m_fixture.opened << Opened{owner, target, folder, f.store->snapshot()};
            return f.realShell ? OutsideWorld::openWithShell(owner, target, folder, {})
                               : f.shellAnswer;
        }
        QString programFolder() const override
        {
            const QString &folder = m_fixture.programFolder;
            return folder.isEmpty() ? OutsideWorld::programFolder() : folder;
        }

    private:
        FormUnderTest &m_fixture;
    };
    RecordingWorld world{*this};
    // After the world, so that the window goes first, then the settings, then their store.
    std::unique_ptr<TestStore> store;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<frmOptions> form;

    FormUnderTest() { reset(); }

    void make()
    {
        settings = std::make_unique<SettingsStore>(store->root());
        form = std::make_unique<frmOptions>(*settings, world);
    }
    // Start-up, of a window made first if there is none; false, with the reason
    // logged, on a store error.
    bool start()
    {
        if (!form)
            make();
        const auto error = form->StartUp();
        if (error)
            qWarning("start-up failed: %s", qPrintable(error->message()));
        return !error;
    }
    bool showAndActivate()
    {
        form->show();
        form->activateWindow();
        return QTest::qWaitForWindowActive(form.get());
    }
    bool startShown() { return start() && showAndActivate(); }
    // The window and then the settings go, so that whatever they would write is written.
    void drop()
    {
        form.reset();
        settings.reset();
    }
    // The store's contents once the window is gone.
    QByteArray storeAfterClosing()
    {
        drop();
        return store->snapshot();
    }
    // A new window over a new, empty store.
    void reset()
    {
        drop();
        messages.clear();
        shownAtMessage.clear();
        opened.clear();
        shellAnswer = ShellOutcome{.started = true};
        realShell = false;
        programFolder.clear();
        store = std::make_unique<TestStore>();
        QVERIFY(store->dir.isValid());
    }
};
