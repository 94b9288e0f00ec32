#include "QueueCondition.h"

namespace kelotari {

namespace {

// A reason keyword without its severity suffix.
QString reasonKeyword(const QString& reason) {
    for (const char* suffix : {"-report", "-warning", "-error"})
        if (reason.endsWith(QLatin1String(suffix)))
            return reason.chopped(int(qstrlen(suffix)));
    return reason;
}

} // namespace

QueueCondition queueConditionOf(int printerState, const QStringList& reasons) {
    if (printerState == kPrinterStateStopped)
        return QueueCondition::Stopped;
    for (const QString& reason : reasons) {
        const QString keyword = reasonKeyword(reason.trimmed());
        if (keyword == QLatin1String("offline") || keyword == QLatin1String("timed-out") ||
            keyword == QLatin1String("connecting-to-device") ||
            keyword == QLatin1String("shutdown"))
            return QueueCondition::NotAnswering;
    }
    if (printerState <= 0)
        return QueueCondition::Unknown;
    return QueueCondition::Ready;
}

} // namespace kelotari
