#include "config_apply.h"

#include "registers.h"

#include <QStringList>

namespace config {

namespace {

// Summary texts by outcome; %1 is the detail the outcome carries.
const char *const kSummaries[][3] = {
    {"已校验：写入并存储 %1 个寄存器，所有字段读回与文件一致",
     "已校驗：寫入並儲存 %1 個暫存器，所有欄位讀回與檔案一致",
     "verified: %1 register(s) written and stored, every field reads back as in the file"},
    {"未写入：无法读取设备配置（%1）", "未寫入：無法讀取設備配置（%1）",
     "nothing written: the configuration could not be read (%1)"},
    {"未校验：设备拒绝了 %1，未存储", "未校驗：設備拒絕了 %1，未儲存",
     "not verified: the transmitter refused %1; nothing was stored"},
    {"未校验：写入无应答（%1），未存储", "未校驗：寫入無應答（%1），未儲存",
     "not verified: a write got no answer (%1); nothing was stored"},
    {"未校验：存储命令失败（%1）", "未校驗：儲存命令失敗（%1）",
     "not verified: the store command failed (%1)"},
    {"未校验：读回失败（%1）", "未校驗：讀回失敗（%1）", "not verified: the read-back failed (%1)"},
    {"未校验：存储后字段不一致：%1", "未校驗：儲存後欄位不一致：%1",
     "not verified: after the store these fields differ: %1"},
};

// Writes one run; a refused run of several registers is written register by
// register so that the refused ones can be named.
core::BusError writeRun(core::RegisterBus &bus, const WriteRun &run, ApplyReport &report)
{
    core::BusError error = bus.writeRegisters(run.start, run.words);
    if (error.ok()) {
        report.registersWritten += run.words.size();
        return error;
    }
    if (error.kind != core::BusErrorKind::Exception || run.words.size() == 1) {
        if (error.kind == core::BusErrorKind::Exception)
            report.refused << run.start;
        return error;
    }
    for (int i = 0; i < run.words.size(); ++i) {
        const core::BusError single = bus.writeRegisters(run.start + i, {run.words.at(i)});
        if (single.kind == core::BusErrorKind::Exception)
            report.refused << run.start + i;
        else if (!single.ok())
            return single;
        else
            ++report.registersWritten;
    }
    return error;
}

} // namespace

DeviceRead readConfiguration(core::RegisterBus &bus)
{
    const core::BlockReply reply = bus.readBlock(core::Block::Holding);
    if (!reply.ok())
        return {std::nullopt, reply.error};
    auto c = fromHolding(reply.words);
    if (!c)
        return {std::nullopt, {core::BusErrorKind::Link, QStringLiteral("short reply"), 0}};
    return {c, {}};
}

ApplyReport applyConfiguration(core::RegisterBus &bus, const Configuration &target)
{
    ApplyReport report;
    const DeviceRead before = readConfiguration(bus);
    if (!before.config) {
        report.error = before.error;
        return report;
    }
    const QVector<WriteRun> runs = differingRuns(*before.config, target);
    for (const WriteRun &run : runs) {
        report.error = writeRun(bus, run, report);
        if (!report.error.ok()) {
            report.outcome = report.refused.isEmpty() ? ApplyOutcome::WriteFailed
                                                      : ApplyOutcome::WriteRefused;
            return report;
        }
    }
    if (!runs.isEmpty()) {
        report.error = bus.writeRegisters(reg::kStoreCommand, {reg::kStoreValue});
        if (!report.error.ok()) {
            report.outcome = ApplyOutcome::StoreFailed;
            return report;
        }
    }
    const DeviceRead after = readConfiguration(bus);
    if (!after.config) {
        report.error = after.error;
        report.outcome = ApplyOutcome::ReadBackFailed;
        return report;
    }
    report.readBack = after.config;
    report.checks = compare(*after.config, target);
    report.outcome = differingCount(report.checks) ? ApplyOutcome::Mismatch : ApplyOutcome::Verified;
    return report;
}

QString registerName(int address)
{
    const FieldDef *f = fieldAt(address);
    const QString name = QStringLiteral("holding %1").arg(address);
    return f ? name + QStringLiteral(" (%1)").arg(QLatin1String(f->key)) : name;
}

QString applySummary(const ApplyReport &report, int language)
{
    const int l = language >= 0 && language < 3 ? language : 2;
    const QString text = QString::fromUtf8(kSummaries[int(report.outcome)][l]);
    switch (report.outcome) {
    case ApplyOutcome::Verified:
        return text.arg(report.registersWritten);
    case ApplyOutcome::WriteRefused: {
        QStringList names;
        for (int address : report.refused)
            names << registerName(address);
        return text.arg(names.join(QStringLiteral(", ")));
    }
    case ApplyOutcome::Mismatch: {
        QStringList names;
        for (const FieldComparison &row : report.checks) {
            if (row.differs)
                names << QLatin1String(row.field->key);
        }
        return text.arg(names.join(QStringLiteral(", ")));
    }
    default:
        return text.arg(report.error.text);
    }
}

} // namespace config
