#pragma once

// The web link: a label that screen readers announce as a link and whose
// press action follows it.

#include <QLabel>

class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    // A left click released over the label, or a screen reader's press.
    void activated();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// Makes screen readers see every LinkLabel as a link and every CommandButton
// as a push button. Idempotent.
void InstallAccessibility();
