#include "frmOptions.h"

#include "accessibility.h"
#include "center_on_screen.h"
#include "command_button.h"
#include "file_exists.h"
#include "form_layout.h"
#include "native_window.h"
#include "open_with_shell.h"
#include "option_check_box.h"
#include "option_storage.h"
#include "page_frame.h"
#include "tab_strip.h"
#include "text_colours.h"
#include "twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWindow>

namespace
{

// A new system scheme is announced to the application object only: a window
// that is not shown gets no palette change of its own. A filter there sees
// every event of the program, so it is a separate small object rather than the
// window, whose filter must see each key press once.
class SchemeWatcher : public QObject
{
public:
    SchemeWatcher(QObject *parent, std::function<void()> changed)
        : QObject(parent), m_changed(std::move(changed))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange &&
            watched == QCoreApplication::instance())
            m_changed();
        return false;
    }

private:
    std::function<void()> m_changed;
};

// A fixed dialog. On Windows HideFromTaskbar gives the native window a dialog's
// frame; elsewhere the window manager learns it from the window type.
#ifdef Q_OS_WIN
constexpr Qt::WindowType FixedDialogType = Qt::Window;
#else
constexpr Qt::WindowType FixedDialogType = Qt::Dialog;
#endif

constexpr int KeyTab = 9;
constexpr int ShiftMask = 1, CtrlMask = 2, AltMask = 4;

} // namespace

frmOptions::frmOptions(SettingsStore &store, OutsideWorld &outside, QWidget *parent)
    : QWidget(parent, FixedDialogType | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_store(store), m_outside(outside)
{
    setWindowTitle(QStringLiteral("frmOptions"));
    // The layout is fixed, box at the left of its caption: -reverse and right-to-left
    // locales leave it as designed.
    setLayoutDirection(Qt::LeftToRight);
    setFixedSize(twipsRect(0, 0, 6150, 5025).size());
    paintWhite(this);
    followSystemTextColours(); // before the controls, which inherit it
    setMouseTracking(true);
    InstallAccessibility();

    // Created back to front, so that the pages lie in front of the tab strip.
    tbsOptions = new TabStrip(this);
    tbsOptions->setObjectName(QStringLiteral("tbsOptions"));
    place(tbsOptions, 105, 120, 5895, 4245);
    tbsOptions->setFont(arial(9, true));
    tbsOptions->setImageList(&ImageList1);
    tbsOptions->Add(QStringLiteral("Group1"), QStringLiteral("Excel"),
                    QStringLiteral("Set Options for Velmora"));
    tbsOptions->Add(QStringLiteral("Group2"), QStringLiteral("About"), QStringLiteral("About"));
    connect(tbsOptions, &TabStrip::Click, this, &frmOptions::tbsOptions_Click);
    connect(tbsOptions, &TabStrip::MouseMove, this, &frmOptions::tbsOptions_MouseMove);

    buildOptionsPage();
    buildButtons();
    buildAboutPage();

    // Focus: tab strip, Ok, Cancel, then the option boxes by index.
    QWidget *previous = tbsOptions;
    for (QWidget *next : {static_cast<QWidget *>(Check22(1)), static_cast<QWidget *>(Check22(2))}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (int i = 0; i < OptionCount; ++i) {
        setTabOrder(previous, Check1(i));
        previous = Check1(i);
    }

    bindOptions();
    installEventFilter(this);
    QCoreApplication::instance()->installEventFilter(
        new SchemeWatcher(this, [this] { followSystemTextColours(); }));

    // The native window exists from here on, so that the keys and the taskbar
    // state are in place before the window is first shown.
    winId();
    windowHandle()->installEventFilter(this);
    HideFromTaskbar(*this);
    ShowNoIcon(*this);
    CentreOnceFramed(*this);
}

frmOptions::~frmOptions() = default;

PageFrame *frmOptions::buildPage(int index, double pageLeft, double frameLeft)
{
    auto *page = new QWidget(this);
    page->setObjectName(QStringLiteral("picOptions(%1)").arg(index));
    place(page, pageLeft, 525, 5685, 3690);
    paintWhite(page);
    picOptions.add(index, page);

    auto *frame = new PageFrame(page);
    frame->setObjectName(QStringLiteral("fraSample1(%1)").arg(index));
    place(frame, frameLeft, 0, 5535, 3585);
    frame->setMouseTracking(true);
    frame->installEventFilter(this);
    fraSample1.add(index, frame);
    return frame;
}

void frmOptions::buildButtons()
{
    QPixmap invisible(32, 32);
    invisible.fill(Qt::transparent);
    const struct {
        int index;
        const char *caption;
        double left;
    } buttons[] = {{1, "Ok", 3420}, {2, "Cancel", 4680}};
    for (const auto &b : buttons) {
        auto *button = new CommandButton(QString::fromLatin1(b.caption), this);
        button->setObjectName(QStringLiteral("Check22(%1)").arg(b.index));
        place(button, b.left, 4560, 1215, 375);
        button->setCheckable(true); // pressed while its value is 1
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFont(arial(11.25, true));
        button->setIcon(QIcon(invisible));
        paintWhite(button);
        button->setMouseTracking(true);
        button->installEventFilter(this);
        connect(button, &QPushButton::toggled, this, [this, i = b.index] { Check22_Click(i); });
        Check22.add(b.index, button);
    }
}

std::optional<StoreError> frmOptions::StartUp()
{
    Form_Load();
    return Form_Initialize();
}

void frmOptions::Form_Load()
{
    setWindowTitle(QString::fromLatin1(kSection));
    CenterOnScreen(*this);
    // No check for a separator already at the end of the folder: a doubled one
    // still names the same file on every platform.
    const QString cursor =
        m_outside.programFolder() + QDir::separator() + QString::fromLatin1(CursorFile);
    if (FileExists(cursor))
        m_mouseIcon.read(cursor); // a file that is no cursor is ignored
    tbsOptions->setBackgroundColor(Qt::white);
}

std::optional<StoreError> frmOptions::Form_Initialize()
{
    lblTitle->setText(QString::fromLatin1(kSection));
    lblVersion->setText(QStringLiteral("Version:   ") + QString::fromLatin1(Version));
    if (auto error = LoadMenuOptions(m_options, m_store))
        return error;
    tbsOptions_Click();
    return LoadTabOptions(m_options, m_store);
}

void frmOptions::tbsOptions_Click()
{
    const short count = tbsOptions->Tabs().Count();
    for (short i = 0; i < count; ++i) {
        const short selected = tbsOptions->SelectedItem()->Index();
        QWidget *page = picOptions(i);
        if (i == selected - 1) {
            if (i == 1)
                fitAboutLabelsToText();
            setLeft(page, 210);
            page->setEnabled(true);
        } else {
            // Out of sight and, disabled, out of reach. Moved rather than hidden, so the
            // page keeps its place in the widget tree and shows at once when selected.
            setLeft(page, -20000);
            page->setEnabled(false);
        }
    }
}

void frmOptions::Form_KeyDown(int keyCode, int shift)
{
    if (keyCode != KeyTab || shift != CtrlMask)
        return;
    const short selected = tbsOptions->SelectedItem()->Index();
    const short count = tbsOptions->Tabs().Count();
    tbsOptions->setSelectedItem(tbsOptions->Tabs().Item(selected == count ? 1 : selected + 1));
}

void frmOptions::Check22_Click(int index)
{
    QPushButton *button = Check22(index);
    if (!button->isChecked())
        return;
    button->setChecked(false); // idle again; the nested notification stops above
    // A press that arrives after Cancel or the close box (an event already queued
    // when the window closed) must not save: the user has chosen not to.
    if (m_unloaded)
        return;

    switch (index) {
    case 1:
        if (const auto error = SaveOptions(m_options, m_store)) {
            // Keep the window and the user's choices: Ok can be tried again.
            m_outside.showMessage(this, error->message());
            return;
        }
        // The save stands either way; the user learns why Excel did not come.
        handToShell(QStringLiteral("Excel"),
                    tr("Your choices were saved, but Excel could not be started."));
        unload();
        break;
    case 2:
        unload();
        break;
    default:
        break;
    }
}

void frmOptions::unload()
{
    m_unloaded = true;
    close();
}

void frmOptions::followSystemTextColours()
{
    followSchemeOnWhite(this, QGuiApplication::palette());
}

void frmOptions::changeEvent(QEvent *event)
{
    // The window offers no minimise and has no taskbar button to come back by. A
    // window manager that minimises it all the same (openbox does) would lose it,
    // so it comes straight back.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QMetaObject::invokeMethod(this, &QWidget::showNormal, Qt::QueuedConnection);
    QWidget::changeEvent(event);
}

void frmOptions::closeEvent(QCloseEvent *event)
{
    // The close box and Alt+F4 unload like Cancel: nothing is written.
    m_unloaded = true;
    event->accept();
}

void frmOptions::lblWebsite_Click()
{
    handToShell(QString::fromLatin1(Website),
                tr("The web address %1 could not be opened.").arg(QString::fromLatin1(Website)));
}

void frmOptions::handToShell(const QString &target, const QString &failure)
{
    // Nothing here waits for the program started; a failure that comes later is
    // told then, if the window is still there.
    const QPointer<frmOptions> self(this);
    const ShellOutcome outcome = m_outside.openWithShell(
        winId(), target, m_outside.programFolder(), [self, failure](const ShellOutcome &late) {
            if (self)
                self->tellShellFailure(late, failure);
        });
    if (!outcome.started)
        tellShellFailure(outcome, failure);
}

void frmOptions::tellShellFailure(const ShellOutcome &outcome, const QString &failure)
{
    QString text = failure + QLatin1Char('\n');
    if (outcome.found.isEmpty())
        text += tr("No \"%1\" was found in:\n%2").arg(outcome.program, outcome.lookedIn);
    else if (outcome.registered == ShellOutcome::Registered::Missing)
        text += tr("\"%1\" is registered as %2, but there is no such file. No other was found "
                   "in:\n%3")
                    .arg(outcome.program, outcome.found, outcome.lookedIn);
    else if (outcome.registered == ShellOutcome::Registered::Relative)
        text += tr("\"%1\" is registered as %2, which is no full path: it would name a file in "
                   "whatever folder Velmora was started from, so it was not used. No other was "
                   "found in:\n%3")
                    .arg(outcome.program, outcome.found, outcome.lookedIn);
    else if (!outcome.reason.isEmpty())
        text += tr("%1 was found, but %2.").arg(outcome.found, outcome.reason);
    else
        text += tr("%1 was found, but it could not be run.").arg(outcome.found);
    m_outside.showMessage(this, text);
}

void frmOptions::setMousePointer(int pointer)
{
    if (pointer == m_mousePointer)
        return;
    m_mousePointer = pointer;
    if (pointer == CustomPointer)
        setCursor(MouseIcon() ? *MouseIcon() : QCursor(Qt::PointingHandCursor));
    else
        unsetCursor();
}

void frmOptions::setLinkUnderline(bool underlined)
{
    QFont font = lblWebsite->font();
    if (font.underline() == underlined)
        return;
    font.setUnderline(underlined);
    lblWebsite->setFont(font);
}

void frmOptions::Check1_MouseMove(int)
{
    setMousePointer(CustomPointer);
}

void frmOptions::Check22_MouseMove(int)
{
    setMousePointer(CustomPointer);
}

void frmOptions::tbsOptions_MouseMove()
{
    setLinkUnderline(false);
    setMousePointer(CustomPointer);
}

void frmOptions::lblWebsite_MouseMove()
{
    setLinkUnderline(true);
    setMousePointer(CustomPointer);
}

void frmOptions::Form_MouseMove()
{
    setLinkUnderline(false);
    setMousePointer(DefaultPointer);
}

void frmOptions::fraSample1_MouseMove(int)
{
    setLinkUnderline(false);
    setMousePointer(DefaultPointer);
}

void frmOptions::pointerMovedOver(QWidget *widget)
{
    if (widget == this)
        return Form_MouseMove();
    if (widget == lblWebsite)
        return lblWebsite_MouseMove();
    if (auto *box = qobject_cast<OptionCheckBox *>(widget))
        return Check1_MouseMove(box->index());
    for (const auto &[index, frame] : fraSample1)
        if (widget == frame)
            return fraSample1_MouseMove(index);
    for (const auto &[index, button] : Check22)
        if (widget == button)
            return Check22_MouseMove(index);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::KeyPress) {
        // The native window sees each key press once, before the focused control.
        const auto *key = static_cast<QKeyEvent *>(event);
        const int code =
            key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ? KeyTab : key->key();
        const Qt::KeyboardModifiers mods = key->modifiers();
        const int shift = (mods & Qt::ShiftModifier ? ShiftMask : 0) |
                          (mods & Qt::ControlModifier ? CtrlMask : 0) |
                          (mods & Qt::AltModifier ? AltMask : 0);
        Form_KeyDown(code, shift);
        return false; // the key goes on to the focused control
    }

    if (watched == windowHandle() && event->type() == QEvent::Expose && !m_firstShown) {
        // Once the window is on the screen, the pointer is made ready for the link.
        m_firstShown = true;
        QMetaObject::invokeMethod(this, &frmOptions::makePointerReady, Qt::QueuedConnection);
    }

    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    if (event->type() == QEvent::MouseMove) {
        // A move that nobody takes travels up to the parents; only the element
        // under the pointer reacts, so lines and the shape count as their frame
        // and labels without a handler change nothing.
        const auto *move = static_cast<QMouseEvent *>(event);
        QWidget *under = childAt(mapFromGlobal(move->globalPosition().toPoint()));
        if ((under ? under : this) == widget)
            pointerMovedOver(widget);
    }
    return false;
}
