#include "accessibility.h"

#include "command_button.h"
#include "link_label.h"

#include <QAccessibleWidget>

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
