#include "tabs/traffic_tab.h"
#include "widgets/modal_guard.h"

#include "core/whole_file.h"
#include "link/link.h"

#include "diagnostics/diagnostics_texts.h"
#include "tabs/traffic_model.h"

#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QModbusReply>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextStream>
#include <QVBoxLayout>
#include <memory>

namespace {

// Counted results, in the order the counters are shown.
const diag::Result kCounted[] = {diag::Result::Ok, diag::Result::Exception, diag::Result::Timeout,
                                 diag::Result::Crc, diag::Result::Aborted, diag::Result::Refused,
                                 diag::Result::Other};

QByteArray responsePdu(const QModbusResponse &response)
{
    // No answer: a default response (isValid() is false for exception answers).
    if (response.functionCode() == QModbusPdu::Invalid)
        return QByteArray();
    const int code = int(response.functionCode()) | (response.isException() ? 0x80 : 0);
    return QByteArray(1, char(code)) + response.data();
}

} // namespace

TrafficTab::TrafficTab(rtu::Link &link, QWidget *parent)
    : QWidget(parent), m_model(new TrafficModel(this)), m_table(new QTableView(this)),
      m_countersTitle(new QLabel(this)), m_showFrames(new QCheckBox(this)),
      m_reset(new QPushButton(this)), m_export(new QPushButton(this)), m_exportState(new QLabel(this))
{
    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    const int widths[] = {95, 65, 65, 55, 260, 110};
    for (int c = 0; c < TrafficModel::Frames; ++c)
        m_table->setColumnWidth(c, widths[c]);
    m_table->setColumnHidden(TrafficModel::Frames, true);
    m_table->verticalHeader()->setDefaultSectionSize(20);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // Uniform rows keep the vertical header cheap with thousands of them.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->setWordWrap(false);
    // Keeps the newest row in view while the operator has not scrolled away.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (isVisible()
            && m_table->verticalScrollBar()->value() >= m_table->verticalScrollBar()->maximum() - 1)
            m_table->scrollToBottom();
    });

    auto *counters = new QHBoxLayout;
    counters->addWidget(m_countersTitle);
    for (diag::Result result : kCounted) {
        auto *label = new QLabel(this);
        m_counterLabels[size_t(result)] = label;
        counters->addWidget(label);
    }
    counters->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_showFrames);
    buttons->addWidget(m_reset);
    buttons->addWidget(m_export);
    buttons->addWidget(m_exportState);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(counters);
    layout->addLayout(buttons);
    layout->addWidget(m_table, 1);

    connect(m_showFrames, &QCheckBox::toggled, this,
            [this](bool on) { m_table->setColumnHidden(TrafficModel::Frames, !on); });
    connect(m_reset, &QPushButton::clicked, this, &TrafficTab::resetCounters);
    connect(m_export, &QPushButton::clicked, this, &TrafficTab::chooseExportFile);
    connect(&link, &rtu::Link::requestIssued, this, &TrafficTab::observeRequest);
    connect(&link, &rtu::Link::opened, this, &TrafficTab::resetCounters);
    setLanguage(0);
}

void TrafficTab::observeRequest(const rtu::RequestDescription &request, QModbusReply *reply)
{
    diag::TrafficRecord record;
    record.msecs = QDateTime::currentMSecsSinceEpoch();
    record.request = request;
    const quint64 sequence = m_model->append(record);
    if (!reply) {
        m_model->find(sequence)->result = diag::Result::Refused;
        m_model->recordChanged(sequence);
        count(diag::Result::Refused);
        return;
    }
    if (reply->isFinished()) {
        finish(sequence, reply, 0, false);
        return;
    }
    const quint64 crcMark = diag::CrcWatch::discards();
    QElapsedTimer clock;
    clock.start();
    // The window deletes the reply later; everything needed is read here. Only
    // the first end counts: a late frame can finish a given-up reply again.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(reply, &QModbusReply::finished, this, [=] {
        disconnect(*once);
        finish(sequence, reply, int(clock.elapsed()), diag::CrcWatch::discards() > crcMark);
    });
}

void TrafficTab::finish(quint64 sequence, QModbusReply *reply, int roundTripMs, bool crcDiscarded)
{
    const QModbusResponse response = reply->rawResult();
    const int exceptionCode = response.isException() ? int(response.exceptionCode()) : 0;
    const diag::Result result = diag::classify(reply->error(), exceptionCode, crcDiscarded);
    count(result);
    diag::TrafficRecord *record = m_model->find(sequence);
    if (!record)
        return;
    record->result = result;
    record->exceptionCode = exceptionCode;
    record->roundTripMs = roundTripMs;
    record->responsePdu = responsePdu(response);
    if (result == diag::Result::Other)
        record->errorText = reply->errorString();
    m_model->recordChanged(sequence);
}

// A label's new text lays the window out again: a hidden tab waits until shown.
void TrafficTab::count(diag::Result result)
{
    m_counters.add(result);
    if (isVisible())
        showCounters();
}

void TrafficTab::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showCounters();
    m_table->scrollToBottom();
}

void TrafficTab::resetCounters()
{
    m_counters.clear();
    showCounters();
}

void TrafficTab::showCounters()
{
    for (diag::Result result : kCounted) {
        m_counterLabels[size_t(result)]->setText(
            QStringLiteral("%1: %2").arg(lang::resultName(result, m_language))
                .arg(m_counters.count(result)));
    }
}

void TrafficTab::setLanguage(int language)
{
    if (lang::diagText(lang::DiagText::TrafficTab, language).isEmpty())
        return;
    m_language = language;
    setWindowTitle(lang::diagText(lang::DiagText::TrafficTab, language));
    m_model->setLanguage(language);
    m_countersTitle->setText(lang::diagText(lang::DiagText::SinceConnect, language) + QLatin1Char(':'));
    m_showFrames->setText(lang::diagText(lang::DiagText::ShowFrames, language));
    m_reset->setText(lang::diagText(lang::DiagText::ResetCounters, language));
    m_export->setText(lang::diagText(lang::DiagText::ExportText, language));
    showExportState();
    showCounters();
}

bool TrafficTab::exportText(const QString &path, QString *why)
{
    QByteArray text;
    QTextStream out(&text);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");   // Qt 6 streams write UTF-8 already
#endif
    showCounters();
    QStringList counts;
    for (diag::Result result : kCounted)
        counts << m_counterLabels[size_t(result)]->text();
    out << m_countersTitle->text() << ' ' << counts.join(QStringLiteral(", ")) << '\n';
    QStringList header;
    for (int c = 0; c < TrafficModel::ColumnCount; ++c)
        header << m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    out << header.join('\t') << '\n';
    for (int row = 0; row < m_model->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < TrafficModel::ColumnCount; ++c)
            cells << m_model->cellText(m_model->record(row), c);
        out << cells.join('\t') << '\n';
    }
    out.flush();
    QString error;
    if (files::writeWhole(files::FileKind::TrafficText, path, text, error))
        return true;
    if (why)
        *why = error;
    return false;
}

void TrafficTab::chooseExportFile()
{
    if (!modal_guard::mayOpen())
        return;
    const QString path = QFileDialog::getSaveFileName(
        this, lang::diagText(lang::DiagText::ExportText, m_language), QString(),
        QStringLiteral("Text (*.txt)"));
    if (path.isEmpty())
        return;
    m_exportFailure.clear();
    exportText(path, &m_exportFailure);
    showExportState();
}

void TrafficTab::showExportState()
{
    m_exportState->setText(m_exportFailure.isEmpty()
                               ? QString()
                               : lang::diagText(lang::DiagText::ExportFailed, m_language).arg(m_exportFailure));
}
