// The options page: the twelve option boxes on their frame, and their binding
// to the option model.

#include "frmOptions.h"

#include "form_layout.h"
#include "option_check_box.h"
#include "page_frame.h"

namespace
{

struct BoxPlace {
    double left, top, width;
};
// By option index; every box is 375 twips high.
constexpr BoxPlace kBoxPlaces[OptionCount] = {
    {240, 480, 5295},   {600, 840, 3975},  {600, 1200, 3375},  {960, 1920, 1095},
    {960, 2235, 1455},  {960, 2565, 1095}, {960, 2880, 1215},  {2640, 2565, 975},
    {2640, 2280, 1095}, {2640, 1920, 975}, {2640, 2880, 1215}, {600, 1560, 1815},
};

} // namespace

void frmOptions::buildOptionsPage()
{
    PageFrame *frame = buildPage(0, 21000, 0);
    frame->addRect({QRectF(600, 1680, 3375, 1695), QPalette::WindowText, 1});

    for (int i = 0; i < OptionCount; ++i) { // index order: "Hide built-in tabs" ends in front
        auto *box = new OptionCheckBox(i, QString::fromLatin1(OptionSet::info(i).caption), frame);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(i));
        place(box, kBoxPlaces[i].left, kBoxPlaces[i].top, kBoxPlaces[i].width, 375);
        box->setFont(arial(9, true));
        // The choices are not self-explaining: say what each one does.
        box->setToolTip(QString::fromLatin1(OptionSet::info(i).description));
        box->setAccessibleDescription(box->toolTip());
        paintWhite(box);
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
