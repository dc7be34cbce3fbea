#pragma once

// The web link: a label that screen readers announce as a link and whose
// press action follows it.

#include <QLabel>

class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    // The text is given once the label is a LinkLabel (see OptionCheckBox).
    LinkLabel(const QString &text, QWidget *parent) : QLabel(parent) { setText(text); }

signals:
    // A left click released over the label, or a screen reader's press.
    void activated();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;        // a left press is under way that may become a click
    bool m_secondOfDouble = false; // the next press completes a double click
};
