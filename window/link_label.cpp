#include "link_label.h"

#include <QMouseEvent>

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton && !m_secondOfDouble;
    m_secondOfDouble = false;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is no click: the first has opened the address.
    // Qt announces the double click before or after that press, depending on the version.
    if (m_pressed)
        m_pressed = false;
    else
        m_secondOfDouble = event->button() == Qt::LeftButton;
    QLabel::mouseDoubleClickEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_pressed = false;
    if (click)
        emit activated();
    QLabel::mouseReleaseEvent(event);
}
