#include "meter/ProbeQuery.h"

namespace kelotari {

ProbeEnd probeInformation(MeterLink& link, const QString& portName,
                          const std::function<void(const QByteArray& line)>& showLine) {
    using Kind = ReadResult::Kind;
    try {
        link.setPort(portName);
        link.open();
        link.purge();
        link.pause(kProbePauseMs);
        link.send(QByteArrayLiteral("S"));
        const ReadResult serial = link.readResult(kProbeTimeoutTicks);
        if (serial.kind == Kind::Timeout)
            return ProbeEnd::SilentMeter; // the closing step of the dialog closes the port
        if (serial.kind == Kind::Cancelled) {
            link.close();
            return ProbeEnd::Cancelled;
        }
        showLine(QByteArrayLiteral("S/N: ") + serial.shownBytes());

        link.send(QByteArrayLiteral("T"));
        ProbeEnd end = ProbeEnd::Complete;
        for (;;) {
            const ReadResult r = link.readResult(kProbeTimeoutTicks);
            if (r.kind == Kind::DataEnd)
                break;
            if (r.kind == Kind::Timeout || r.kind == Kind::Cancelled) {
                end = r.kind == Kind::Timeout ? ProbeEnd::TextTimedOut : ProbeEnd::Cancelled;
                break;
            }
            showLine(r.shownBytes());
        }
        link.close();
        return end;
    } catch (const Failure&) {
        closeQuietly(link);
        throw;
    }
}

} // namespace kelotari
