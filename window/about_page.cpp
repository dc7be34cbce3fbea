// The About page: title, version, the maker's web address, and the groove
// between them.

#include "frmOptions.h"

#include "form_layout.h"
#include "link_label.h"
#include "page_frame.h"
#include "text_colours.h"

#include <QLabel>

void frmOptions::buildAboutPage()
{
    PageFrame *frame = buildPage(1, 210, 120);

    auto label = [frame](const char *name, const QString &text, const QFont &font,
                         bool link = false) {
        QLabel *l = link ? new LinkLabel(text, frame) : new QLabel(text, frame);
        l->setObjectName(QString::fromLatin1(name));
        l->setFont(font);
        paintWhite(l);
        l->setFocusPolicy(Qt::NoFocus);
        return l;
    };

    // Back to front, the two lines of the groove painted on the frame behind them.
    lblWebsite = label("lblWebsite", QString::fromLatin1(Website), arial(9.75, false, true), true);
    connect(static_cast<LinkLabel *>(lblWebsite), &LinkLabel::activated, this,
            &frmOptions::lblWebsite_Click);
    setRoleColour(lblWebsite, QPalette::WindowText, QColor(0, 0, 255));
    place(lblWebsite, 1950, 2760, 0, 0); // sized to its text when the page first shows
    lblWebsite->setMouseTracking(true);
    lblWebsite->installEventFilter(this);

    lblTitle = label("lblTitle", QStringLiteral("lblTitle"), arial(12, true));
    place(lblTitle, 0, 480, 5415, 615);
    setRoleColour(lblTitle, QPalette::WindowText, QColor(0, 128, 0));
    lblTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblTitle->setWordWrap(true);

    frame->addLine({QLineF(0, 2160, 5480, 2160), QColor(192, 192, 192), 2});

    lblVersion = label("lblVersion", QStringLiteral("lblVersion"), arial(9.75, true));
    place(lblVersion, 0, 1320, 5445, 225);
    lblVersion->setForegroundRole(QPalette::ButtonText);
    lblVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    lblWebsiteLabel = label("lblWebsiteLabel", QStringLiteral("Website: "), arial(9.75, true));
    setRoleColour(lblWebsiteLabel, QPalette::WindowText, QColor(0, 0, 0));
    place(lblWebsiteLabel, 405, 2745, 0, 0); // the same

    frame->addLine({QLineF(0, 2160, 5480, 2160), QColor(128, 128, 128), 1});
}

void frmOptions::fitAboutLabelsToText()
{
    // When the page first shows rather than when it is built: measuring the web
    // address loads its face, the window's only regular one, for a tenth of start-up.
    // Given a size (none) when built, so that Qt does not fit them as the window shows.
    if (m_aboutFitted)
        return;
    m_aboutFitted = true;
    lblWebsite->adjustSize();
    lblWebsiteLabel->adjustSize();
}
