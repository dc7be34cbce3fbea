#pragma once

// The window's controls by the names tests use in their tables: "lblTitle",
// "Check1(4)", "fraSample1(0)" and so on.

#include "frmOptions.h"
#include "option_check_box.h"
#include "page_frame.h"
#include "tab_strip.h"

#include <QLabel>
#include <QPushButton>

inline QWidget *controlByName(frmOptions &form, const QString &name)
{
    if (name == QLatin1String("frmOptions"))
        return &form;
    const std::pair<const char *, QWidget *> single[] = {
        {"tbsOptions", form.tbsOptions},           {"lblTitle", form.lblTitle},
        {"lblVersion", form.lblVersion},           {"lblWebsite", form.lblWebsite},
        {"lblWebsiteLabel", form.lblWebsiteLabel},
    };
    for (const auto &[n, w] : single)
        if (name == QLatin1String(n))
            return w;
    const int open = name.indexOf(QLatin1Char('('));
    if (open < 0)
        return nullptr;
    const int index = name.mid(open + 1).chopped(1).toInt();
    const QString array = name.left(open);
    if (array == QLatin1String("picOptions"))
        return form.picOptions(index);
    if (array == QLatin1String("fraSample1"))
        return form.fraSample1(index);
    if (array == QLatin1String("Check1"))
        return form.Check1(index);
    if (array == QLatin1String("Check22"))
        return form.Check22(index);
    return nullptr;
}
