// Every tab at the window's default size and at 1280 x 800, in each
// language: its main table shows five rows or more, no chart is clipped and
// no field is narrower than its text needs or cut off by its page.

#include "widget_probe.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QChartView>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QRegularExpression>
#include <QtTest>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
using ChartView = QtCharts::QChartView;
#else
using ChartView = QChartView;
#endif

class TestFit : public QObject
{
    Q_OBJECT
private slots:
    void everyTabFits_data();
    void everyTabFits();
};

namespace {

// Inside a scroll area: `page` may show it only after scrolling.
bool scrolled(QWidget *w, QWidget *page)
{
    for (QWidget *p = w->parentWidget(); p && p != page; p = p->parentWidget())
        if (qobject_cast<QAbstractScrollArea *>(p->parentWidget()) && !qobject_cast<QAbstractItemView *>(p->parentWidget()))
            return true;
    return false;
}

// A view's own editors and viewport children follow the view, not the page.
bool inItemView(QWidget *w, QWidget *page)
{
    for (QWidget *p = w->parentWidget(); p && p != page; p = p->parentWidget())
        if (qobject_cast<QAbstractItemView *>(p))
            return true;
    return false;
}

QString name(QWidget *w)
{
    const auto *button = qobject_cast<QAbstractButton *>(w);
    return w->objectName().isEmpty() ? QStringLiteral("%1 \"%2\"").arg(w->metaObject()->className(), button ? button->text() : QString())
                                     : w->objectName();
}

bool isField(QWidget *w)
{
    return qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w)
           || qobject_cast<QAbstractSpinBox *>(w);
}

// Whole inside every parent up to `page`, a scroll area's viewport included.
bool unclipped(QWidget *w, QWidget *page)
{
    QRect at = w->rect();
    for (QWidget *c = w; c != page; c = c->parentWidget()) {
        at.translate(c->pos());
        if (!c->parentWidget()->rect().contains(at))
            return false;
    }
    return true;
}

// What does not fit on `page`, one line each.
QStringList misfits(QWidget *page)
{
    QStringList out;
    const QRect area = page->rect();
    for (QWidget *w : page->findChildren<QWidget *>()) {
        if (!w->isVisible() || inItemView(w, page) || qobject_cast<QLineEdit *>(w->parentWidget()))
            continue;
        // Scrolled fields may lie beyond the page, never under their text.
        const bool inSight = !scrolled(w, page);
        const QRect at(w->mapTo(page, QPoint(0, 0)), w->size());
        const bool chart = qobject_cast<ChartView *>(w);
        if (inSight && (isField(w) || chart) && !area.contains(at))
            out << QStringLiteral("%1 cut off by the page").arg(name(w));
        // Narrower than its text needs, or lower than a line of it.
        if (isField(w) && (w->width() < w->minimumSizeHint().width() - 1 || w->height() < w->fontMetrics().height()))
            out << QStringLiteral("%1 %2x%3 under its %4x%5")
                       .arg(name(w)).arg(w->width()).arg(w->height())
                       .arg(w->minimumSizeHint().width()).arg(w->minimumSizeHint().height());
        if (chart && w->height() < 150)
            out << QStringLiteral("%1 chart only %2 high").arg(w->objectName()).arg(w->height());
    }
    // A run's Start and Abort are in sight without scrolling.
    static const QRegularExpression runButton(QStringLiteral("_(start|abort)$"));
    for (QAbstractButton *b : page->findChildren<QAbstractButton *>(runButton))
        if (!b->isVisible() || !unclipped(b, page))
            out << QStringLiteral("%1 out of sight").arg(b->objectName());
    // The main table: the largest one shown.
    QAbstractItemView *main = nullptr;
    for (auto *v : page->findChildren<QAbstractItemView *>())
        if (v->isVisible() && !scrolled(v, page) && !inItemView(v, page) && qobject_cast<QTableView *>(v)
            && (!main || v->height() * v->width() > main->height() * main->width()))
            main = v;
    if (auto *table = qobject_cast<QTableView *>(main)) {
        const int row = table->verticalHeader()->defaultSectionSize();
        const int rows = table->viewport()->height() / qMax(1, row);
        if (rows < 5)
            out << QStringLiteral("%1 shows %2 rows").arg(table->objectName()).arg(rows);
    }
    return out;
}

} // namespace

void TestFit::everyTabFits_data()
{
    QTest::addColumn<int>("page");
    Widget w;
    QTabWidget *tabs = WidgetProbe(w).ui()->tabWidget_main;
    for (int page = 0; page < tabs->count(); ++page)
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(page).arg(tabs->widget(page)->metaObject()->className()))) << page;
}

void TestFit::everyTabFits()
{
    QFETCH(int, page);
    Widget w;
    WidgetProbe probe(w);
    w.show();
    QTabWidget *tabs = probe.ui()->tabWidget_main;
    tabs->setCurrentIndex(page);
    int tried = 0;
    QStringList broke;
    for (const QSize size : {QSize(900, 687), QSize(1280, 800)}) {
        w.resize(size);
        for (int language : {0, 1, 2}) {
            probe.ui()->comboBox_sel_language->setCurrentIndex(language);
            for (int settle = 0; settle < 3; ++settle)   // new texts, then the layouts, then a scroll area's widget
                QCoreApplication::processEvents();
            ++tried;
            for (const QString &f : misfits(tabs->currentWidget()))
                broke << QStringLiteral("%1x%2 [%3] %4: %5").arg(size.width()).arg(size.height()).arg(language)
                             .arg(tabs->tabText(page), f);
        }
    }
    broke.removeDuplicates();
    qInfo("fit of %s: %d size x language cases, %lld misfits", qPrintable(tabs->widget(page)->metaObject()->className()), tried,
          qlonglong(broke.size()));
    for (const QString &b : broke)
        qWarning("%s", qPrintable(b));
    QCOMPARE(broke.size(), 0);
}

QTEST_MAIN(TestFit)
#include "test_fit.moc"
