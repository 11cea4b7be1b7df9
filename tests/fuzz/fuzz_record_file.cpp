// The calibration record reader: any bytes either are refused or load into a
// record that saves and loads again unchanged, whose verdict and figures can
// be worked out and whose file name stays inside the records folder.

#include "fuzz_check.h"
#include "record/record_store.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const std::optional<record::Record> r = record::fromFileBytes(bytes);
    if (!r)
        return 0;

    const QJsonObject saved = record::toJson(*r);
    const std::optional<record::Record> again = record::fromFileBytes(QJsonDocument(saved).toJson());
    FUZZ_REQUIRE(again);
    FUZZ_REQUIRE(record::toJson(*again) == saved);
    FUZZ_REQUIRE(again->points.size() == r->points.size());

    const record::Verdict verdict = record::verdict(*r);
    for (const record::Point &p : r->points) {
        const record::PointFigures f = record::figures(p, r->header);
        // Only a recorded point can pass, and a recorded failure fails the record.
        FUZZ_REQUIRE(!f.passed || p.status == record::Point::Status::Recorded);
        if (p.status == record::Point::Status::Recorded && !f.passed)
            FUZZ_REQUIRE(verdict == record::Verdict::Fail);
    }
    if (verdict == record::Verdict::Pass)
        FUZZ_REQUIRE(!r->points.isEmpty());

    const QString name = record::fileName(*r);
    FUZZ_REQUIRE(!name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.')));
    return 0;
}
