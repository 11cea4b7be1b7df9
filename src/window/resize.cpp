// The form places the window's containers by absolute rectangles drawn for a
// 900 x 660 window; the window rescales them itself. Each tab page holds one
// container, which a layout of the page keeps exactly as large as the page,
// so the bottom row of a page (progress bar, language box) is always inside it.
// The calibration page's groups hold more fields than a small window has lines
// for: they scroll rather than squeezing them under a line of text, and the
// page's bottom row stays in sight.

#include "window/widget.h"

#include "ui_widget.h"

#include <QScrollArea>
#include <QVBoxLayout>
#include <utility>

void Widget::scaleWindowContainers()
{
    rule_top_logo.apply(ui->gridLayoutWidget, this, 900, 660);
    rule_top_serial.apply(ui->gridLayoutWidget_2, this, 900, 660);
    rule_live_strip.apply(ui->verticalLayoutWidget_2, this, 900, 660);
    rule_tabs.apply(ui->verticalLayoutWidget_3, this, 900, 660);
    rule_status.apply(ui->gridLayoutWidget_3, this, 900, 660);
}

void Widget::fitPageContainers()
{
    const std::pair<QWidget *, QWidget *> pages[] = {
        {ui->tab, ui->verticalLayoutWidget},
        {ui->tab_2, ui->horizontalLayoutWidget},
        {ui->tab_4, ui->horizontalLayoutWidget_2},
    };
    for (const auto &[page, container] : pages) {
        auto *fit = new QVBoxLayout(page);
        fit->setContentsMargins(0, 0, 0, 0);
        fit->addWidget(container);
    }
    scrollCalibrationGroups();
}

// The calibration groups, between the page's top frame and its bottom row.
void Widget::scrollCalibrationGroups()
{
    QVBoxLayout *page = ui->verticalLayout_19;
    const int at = page->indexOf(ui->horizontalLayout_14);
    page->takeAt(at);   // a child layout is its own item: taken, not deleted
    ui->horizontalLayout_14->setParent(nullptr);
    auto *groups = new QWidget;
    groups->setLayout(ui->horizontalLayout_14);
    auto *scroll = new QScrollArea(ui->verticalLayoutWidget);
    scroll->setObjectName(QStringLiteral("scrollArea_calibration_groups"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(groups);
    page->insertWidget(at, scroll, 1);
}

void Widget::resizeEvent(QResizeEvent *)
{
    scaleWindowContainers();
}

// The pages follow their own layouts; nothing to do when another one shows.
void Widget::on_tabWidget_main_currentChanged(int)
{
}
