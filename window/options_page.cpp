// The options page: the twelve option boxes on their frame, and their binding
// to the option model.

#include "frmOptions.h"

#include "form_layout.h"
#include "option_check_box.h"
#include "page_frame.h"

namespace
{

struct BoxPlace {
    Option::Index option;
    double left, top, width; // every box is 375 twips high
};
// Created in option order: the order of the control array, and the order in
// which Tab moves through the boxes.
constexpr BoxPlace kBoxPlaces[OptionCount] = {
    {Option::Classic, 240, 480, 5295},     {Option::Left, 600, 840, 3975},
    {Option::All, 600, 1200, 3375},        {Option::Home, 960, 1920, 1095},
    {Option::PageLayout, 960, 2235, 1455}, {Option::Insert, 960, 2565, 1095},
    {Option::Formulas, 960, 2880, 1215},   {Option::Data, 2640, 2565, 975},
    {Option::Review, 2640, 2280, 1095},    {Option::View, 2640, 1920, 975},
    {Option::Developer, 2640, 2880, 1215}, {Option::HideBuiltInTabs, 600, 1560, 1815},
};
constexpr bool inOptionOrder()
{
    for (int i = 0; i < OptionCount; ++i)
        if (kBoxPlaces[i].option != i)
            return false;
    return true;
}
static_assert(inOptionOrder(), "the boxes are created in option order");

} // namespace

void frmOptions::buildOptionsPage()
{
    PageFrame *frame = buildPage(0, 21000, 0);
    frame->addRect({QRectF(600, 1680, 3375, 1695), QPalette::WindowText, 1});

    for (const BoxPlace &at : kBoxPlaces) {
        const int i = at.option;
        auto *box = new OptionCheckBox(i, QString::fromLatin1(OptionSet::info(i).caption), frame);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(i));
        place(box, at.left, at.top, at.width, 375);
        box->setFont(arial(9, true));
        // The choices are not self-explaining: say what each one does. As rich
        // text, a tooltip is wrapped to a readable width instead of one long line.
        const QString description = QString::fromLatin1(OptionSet::info(i).description);
        box->setToolTip(QStringLiteral("<p>%1</p>").arg(description.toHtmlEscaped()));
        box->setAccessibleDescription(description);
        // Filled with the window's white, which it inherits: no palette of its own.
        box->setBackgroundRole(QPalette::Window);
        box->setAutoFillBackground(true);
        box->setMouseTracking(true);
        box->installEventFilter(this);
        Check1.add(i, box);
    }
}

void frmOptions::bindOptions()
{
    // The model is the state; each box shows its option and turns its own
    // changes, from whatever source, into settings of that option.
    m_options.addListener([this](int index, OptionValue value) { Check1(index)->setValue(value); });
    for (const auto &[index, box] : Check1) {
        connect(box, &QCheckBox::stateChanged, this, [this, box = box] {
            if (box->Value() != m_options.value(box->index()))
                m_options.setValue(box->index(), box->Value());
        });
    }
}
