#pragma once

// The options window: a tab strip over two pages, the options page with the
// twelve option boxes and the About page, and the Ok and Cancel buttons.
//
// The controls and handlers keep the names the add-in's people use:
//   tbsOptions           the tab strip, tabs "Excel" (1) and "About" (2)
//   picOptions(0), (1)   the two pages; fraSample1(i) the frame on page i
//   Check1(i)            the box of option i (Option::Index: Check1(Option::Home))
//   Check22(1), (2)      Ok and Cancel: push buttons that spring back after a press
//   lblTitle, lblVersion, lblWebsiteLabel, lblWebsite   the About page's labels
//   Form_Load, Form_Initialize   the two start-up groups, run by StartUp()
//   <control>_Click, <control>_MouseMove, Form_KeyDown   the handlers

#include "control_array.h"
#include "hand_cursor.h"
#include "image_list.h"
#include "open_with_shell.h"
#include "option_set.h"
#include "outside_world.h"
#include "store_error.h"

#include <QCursor>
#include <QWidget>

#include <functional>
#include <optional>

class OptionCheckBox;
class PageFrame;
class QLabel;
class QPushButton;
class SettingsStore;
class TabStrip;

class frmOptions : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *Version = "7.0";
    static constexpr const char *Website = "http://www.quenmark.example/";
    static constexpr const char *CursorFile = "HAND-M.CUR";
    enum MousePointerKind { DefaultPointer = 0, CustomPointer = 99 };

    // `outside` is where messages, the shell and the program folder come from.
    explicit frmOptions(SettingsStore &store, OutsideWorld &outside = OutsideWorld::real(),
                        QWidget *parent = nullptr);
    ~frmOptions() override;

    // Both start-up groups; the window may be shown only when this returns no error.
    std::optional<StoreError> StartUp();
    void Form_Load();
    std::optional<StoreError> Form_Initialize();

    OptionSet &options() { return m_options; }
    const OptionSet &options() const { return m_options; }

    // The window's one pointer setting and its custom pointer.
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int pointer);
    const std::optional<QCursor> &MouseIcon() const { return m_mouseIcon.cursor(); }

    // Handlers, named after the control and the notification.
    void tbsOptions_Click();
    void Form_KeyDown(int keyCode, int shift);
    void Check22_Click(int index);
    void lblWebsite_Click();
    void Check1_MouseMove(int index);
    void Check22_MouseMove(int index);
    void tbsOptions_MouseMove();
    void lblWebsite_MouseMove();
    void Form_MouseMove();
    void fraSample1_MouseMove(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The controls, by their names and indices; each carries its name as object
    // name ("Check1(4)"), which is how tests find them.
    TabStrip *tbsOptions = nullptr;
    ImageList ImageList1;
    ControlArray<QWidget> picOptions;
    ControlArray<PageFrame> fraSample1;
    ControlArray<OptionCheckBox> Check1;
    ControlArray<QPushButton> Check22;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblWebsiteLabel = nullptr;
    QLabel *lblWebsite = nullptr;

    PageFrame *buildPage(int index, double pageLeft, double frameLeft);
    void buildOptionsPage();
    void buildAboutPage();
    void fitAboutLabelsToText();
    void buildButtons();
    void bindOptions();
    void unload();
    void setLinkUnderline(bool underlined);
    // Reads the custom pointer's image ahead of the first move over a control.
    void makePointerReady() const { m_mouseIcon.decodeNow(); }
    void followSystemTextColours();
    void pointerMovedOver(QWidget *widget);
    void handToShell(const QString &target, const QString &failure);

    SettingsStore &m_store;
    OutsideWorld &m_outside;
    OptionSet m_options;
    int m_mousePointer = DefaultPointer;
    HandCursor m_mouseIcon;
    bool m_unloaded = false;
    bool m_firstShown = false;
    bool m_aboutFitted = false;
};
