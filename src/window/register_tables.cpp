// Raw dumps of the holding and input blocks, unsigned, unscaled.

#include "window/widget.h"

#include "core/registers.h"
#include "texts/language_table.h"
#include "texts/notice_texts.h"
#include "ui_widget.h"

#include <QTableWidget>

void Widget::on_pushButton_reg_read_clicked()
{
    readTable(QModbusDataUnit::HoldingRegisters);
}

void Widget::on_pushButton_reg_read_2_clicked()
{
    readTable(QModbusDataUnit::InputRegisters);
}

// Sends the read only; its reply fills the table. A short block still shows,
// as what arrived: a dump shows what came.
void Widget::readTable(QModbusDataUnit::RegisterType type)
{
    rtu::OperationGuard guard(*link);
    if (!guard || !requireLink())
        return;
    if (!link->preWait())
        return;
    const bool holding = type == QModbusDataUnit::HoldingRegisters;
    QTableWidget *table = holding ? ui->tableWidget_reg : ui->tableWidget_reg_2;
    link->sendRead(type, 0, holding ? reg::kHoldingCount : reg::kInputCount,
                   [this, table](const QModbusDataUnit &unit, const rtu::Verdict &verdict) {
                       if (verdict.ok || verdict.shortReply)
                           fillTable(table, unit);
                   });
}

void Widget::fillTable(QTableWidget *table, const QModbusDataUnit &unit)
{
    table->clear();
    const QStringList headers = lang::tableHeaders(languageIndex());
    if (!headers.isEmpty())
        table->setHorizontalHeaderLabels(headers);
    const QVector<quint16> values = unit.values();
    const int rows = qMin(values.size(), table->rowCount());
    for (int i = 0; i < rows; ++i) {
        setTableCell(table, i, 0, quint16(i));
        setTableCell(table, i, 1, values.at(i));
    }
}

void Widget::setTableCell(QTableWidget *table, int row, int column, quint16 value)
{
    table->setItem(row, column, new QTableWidgetItem(QString::number(value)));
    table->item(row, column)->setData(Qt::TextAlignmentRole, Qt::AlignCenter);
}
