#include "procedures/config_apply.h"

#include "core/config_rules.h"
#include "core/registers.h"
#include "core/write_verdict.h"
#include "procedures/transaction.h"

#include <QStringList>

namespace config {

namespace {

// Summary texts by outcome; %1 is the detail the outcome carries.
const char *const kNothingToWrite[3] = {
    "已校验：没有字段不同，未写入也未存储任何寄存器，所有字段读回与文件一致",
    "已校驗：沒有欄位不同，未寫入也未儲存任何暫存器，所有欄位讀回與檔案一致",
    "verified: no field differed, nothing was written or stored, every field reads back as in the file"};
const char *const kSummaries[][3] = {
    {"已校验：写入并存储 %1 个寄存器，所有字段读回与文件一致",
     "已校驗：寫入並儲存 %1 個暫存器，所有欄位讀回與檔案一致",
     "verified: %1 register(s) written and stored, every field reads back as in the file"},
    {"未写入：无法读取设备配置（%1）", "未寫入：無法讀取設備配置（%1）",
     "nothing written: the configuration could not be read (%1)"},
    {"未校验：设备拒绝了 %1", "未校驗：設備拒絕了 %1", "not verified: the transmitter refused %1"},
    {"未校验：写入无应答（%1）", "未校驗：寫入無應答（%1）", "not verified: a write got no answer (%1)"},
    {"未校验：存储命令失败（%1）", "未校驗：儲存命令失敗（%1）",
     "not verified: the store command failed (%1)"},
    {"未校验：读回失败（%1）", "未校驗：讀回失敗（%1）", "not verified: the read-back failed (%1)"},
    {"未校验：读回字段不一致：%1", "未校驗：讀回欄位不一致：%1",
     "not verified: these fields read back different: %1"},
};

// What the transmitter holds after a failed apply, by RestoreOutcome.
const char *const kRestoreTexts[][3] = {
    {"", "", ""},
    {"；已写回开始时读取的值并读回一致，未存储任何内容",
     "；已寫回開始時讀取的值並讀回一致，未儲存任何內容",
     "; the values read at the start were written back and read back: nothing was stored"},
    {"；以下寄存器未能恢复，设备现为读回值：%1", "；以下暫存器未能恢復，設備現為讀回值：%1",
     "; these registers could not be restored and hold what was read back: %1"},
    {"；已写回开始时的值，但无法确认存储映像", "；已寫回開始時的值，但無法確認儲存映像",
     "; the values read at the start are back in RAM, but the stored image could not be confirmed"},
    {"；已写回开始时读取的值，重新存储并读回一致", "；已寫回開始時讀取的值，重新儲存並讀回一致",
     "; the values read at the start were written back, stored again and read back"},
};

// The device as read, with the fields in scope taken from the file.
Configuration scopedTarget(const Configuration &device, const Configuration &file, const ApplyOptions &options)
{
    Configuration c = device;
    for (const FieldDef &f : fields()) {
        if (!inScope(f, options))
            continue;
        for (int i = 0; i < wordCount(f.kind); ++i)
            c.words.insert(f.address + i, file.words.value(f.address + i));
    }
    return c;
}

// Writes one run. A run refused as a whole goes register by register, so that
// a refused register is named and the run is judged by those single writes.
core::BusError writeRun(proc::Transaction &change, const WriteRun &run, ApplyReport &report)
{
    const core::BusError error = change.write(run.start, run.words);
    if (error.ok()) {
        report.registersWritten += run.words.size();
        return error;
    }
    if (error.kind != core::BusErrorKind::Exception || run.words.size() == 1) {
        if (error.kind == core::BusErrorKind::Exception)
            report.refused << run.start;
        return error;
    }
    core::BusError firstRefusal;
    for (int i = 0; i < run.words.size(); ++i) {
        const core::BusError single = change.write(run.start + i, {run.words.at(i)});
        if (single.kind == core::BusErrorKind::Exception) {
            report.refused << run.start + i;
            if (firstRefusal.ok())
                firstRefusal = single;
        } else if (!single.ok()) {
            return single;
        } else {
            ++report.registersWritten;
        }
    }
    return firstRefusal;
}

// The transaction's restore, told in the report's own terms.
void restore(proc::Transaction &change, ApplyReport &report)
{
    const proc::Aftermath after = change.restore();
    report.stored = change.outcome();
    report.aftermath = after;
    if (!after.needed)
        return;
    if (const auto now = fromHolding(after.block))
        report.readBack = now;
    report.unrestored = after.unrestored;
    if (!report.unrestored.isEmpty())
        report.restore = RestoreOutcome::Incomplete;
    else if (after.stored == proc::StoredImage::Unknown)
        report.restore = RestoreOutcome::StoredImageUnknown;
    else if (after.stored == proc::StoredImage::Restored)
        report.restore = RestoreOutcome::StoredAgain;
    else
        report.restore = RestoreOutcome::Restored;
}

QString namesOf(const QVector<int> &addresses)
{
    QStringList names;
    for (int address : addresses)
        names << registerName(address);
    return names.join(QStringLiteral(", "));
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

bool inScope(const FieldDef &f, const ApplyOptions &options)
{
    if (!options.only.isEmpty())
        return options.only.contains(f.address);
    return options.includeCalibration || !isCalibration(f);
}

ApplyReport applyConfiguration(core::RegisterBus &bus, const Configuration &target, const ApplyOptions &options,
                               const QVector<quint16> *holding)
{
    ApplyReport report;
    proc::Transaction change(bus, 0, options.procedure);
    core::BlockReply first;
    if (holding) {
        change.beginWith(*holding);
        first.words = change.before();
    } else {
        first = change.begin();
    }
    const auto before = first.ok() ? fromHolding(first.words) : std::nullopt;
    if (!before) {
        report.error = first.ok() ? core::BusError{core::BusErrorKind::Link, QStringLiteral("short reply"), 0}
                                  : first.error;
        return report;
    }
    const QVector<WriteRun> runs = differingRuns(*before, scopedTarget(*before, target, options));
    const auto fail = [&](ApplyOutcome outcome, const core::BusError &error) {
        report.outcome = outcome;
        report.error = error;
        restore(change, report);
        return report;
    };
    for (const WriteRun &run : runs) {
        const core::BusError error = writeRun(change, run, report);
        if (!error.ok())
            return fail(report.refused.isEmpty() ? ApplyOutcome::WriteFailed : ApplyOutcome::WriteRefused, error);
    }
    // Every word written must read back, and every field in scope must now be the file's.
    const verify::ReadBack check = change.readBack();
    const auto after = check.error.ok() ? fromHolding(check.block) : std::nullopt;
    if (!after)
        return fail(ApplyOutcome::ReadBackFailed,
                    check.error.ok() ? core::BusError{core::BusErrorKind::Link, QStringLiteral("short reply"), 0}
                                     : check.error);
    report.readBack = after;
    report.checked = after;
    for (const FieldComparison &row : compare(*after, target)) {
        if (inScope(*row.field, options))
            report.checks << row;
    }
    if (differingCount(report.checks) || !check.differing.isEmpty())
        return fail(ApplyOutcome::Mismatch, {});
    if (!runs.isEmpty() || options.storeUnchanged) {
        const core::BusError error = change.store();
        if (!error.ok())
            return fail(ApplyOutcome::StoreFailed, error);
        report.storeSent = true;
    }
    report.stored = change.outcome();
    report.outcome = ApplyOutcome::Verified;
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
    QString summary;
    switch (report.outcome) {
    case ApplyOutcome::Verified:
        // Nothing differed and nothing was stored: say so, never "written and stored".
        summary = report.storeSent ? text.arg(report.registersWritten) : QString::fromUtf8(kNothingToWrite[l]);
        break;
    case ApplyOutcome::WriteRefused:
        summary = text.arg(namesOf(report.refused));
        break;
    case ApplyOutcome::Mismatch: {
        QStringList names;
        for (const FieldComparison &row : report.checks) {
            if (row.differs)
                names << QLatin1String(row.field->key);
        }
        summary = text.arg(names.join(QStringLiteral(", ")));
        break;
    }
    default:
        summary = text.arg(report.error.text);
        break;
    }
    const QString restored = QString::fromUtf8(kRestoreTexts[int(report.restore)][l]);
    return summary + (report.restore == RestoreOutcome::Incomplete ? restored.arg(namesOf(report.unrestored))
                                                                   : restored);
}

} // namespace config
