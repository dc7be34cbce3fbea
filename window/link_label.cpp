#include "link_label.h"

#include "command_button.h"

#include <QAccessibleWidget>
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

namespace
{

class AccessibleLink : public QAccessibleWidget
{
public:
    explicit AccessibleLink(LinkLabel *label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        const QString text = static_cast<LinkLabel *>(widget())->text();
        if (t == QAccessible::Name || t == QAccessible::Value)
            return text;
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            emit static_cast<LinkLabel *>(widget())->activated();
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
};

class AccessibleCommandButton : public QAccessibleWidget
{
public:
    explicit AccessibleCommandButton(CommandButton *button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<CommandButton *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            static_cast<CommandButton *>(widget())->click();
    }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String("LinkLabel"))
        return new AccessibleLink(static_cast<LinkLabel *>(object));
    if (className == QLatin1String("frmOptions")) // a plain widget would be a "filler"
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Dialog);
    if (className == QLatin1String("CommandButton"))
        return new AccessibleCommandButton(static_cast<CommandButton *>(object));
    return nullptr;
}

} // namespace

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}
