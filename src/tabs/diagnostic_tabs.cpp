#include "diagnostic_tabs.h"

#include "diagnostics_texts.h"
#include "traffic_tab.h"
#include "trend_tab.h"
#include "widget.h"

#include <QComboBox>
#include <QModbusReply>
#include <QTabWidget>

namespace tabs {

void addDiagnosticTabs(Widget *window, QTabWidget *pages, QComboBox *language)
{
    auto *trend = new TrendTab(pages);
    auto *traffic = new TrafficTab(pages);
    const int trendPage = pages->addTab(trend, QString());
    const int trafficPage = pages->addTab(traffic, QString());

    QObject::connect(window, &Widget::liveValuesReceived, trend, &TrendTab::addLiveValues);
    QObject::connect(window, &Widget::linkStatusShown, trend, &TrendTab::showLinkStatus);
    QObject::connect(window, &Widget::requestIssued, trend, &TrendTab::observeRequest);
    QObject::connect(window, &Widget::requestIssued, traffic, &TrafficTab::observeRequest);
    QObject::connect(window, &Widget::linkOpened, traffic, &TrafficTab::resetCounters);

    auto retitle = [=](int index) {
        if (lang::diagText(lang::DiagText::TrendTab, index).isEmpty())
            return;
        pages->setTabText(trendPage, lang::diagText(lang::DiagText::TrendTab, index));
        pages->setTabText(trafficPage, lang::diagText(lang::DiagText::TrafficTab, index));
        trend->setLanguage(index);
        traffic->setLanguage(index);
    };
    QObject::connect(language, QOverload<int>::of(&QComboBox::currentIndexChanged), trend, retitle);
    retitle(language->currentIndex());
}

} // namespace tabs
