#include "app/MainCommands.h"

namespace kelotari {

QString finishDownload(const DownloadResult& result, MainState& state, const QString& timeoutMsg) {
    state.PacketCount = result.packets;
    if (result.end == DownloadResult::End::Complete || result.rowsWritten)
        state.Unsaved = true;

    switch (result.end) {
    case DownloadResult::End::Complete:
    case DownloadResult::End::Cancelled:
        return {};
    case DownloadResult::End::TimedOut:
        return timeoutMsg;
    case DownloadResult::End::Failed:
        break;
    }
    QString text = timeoutMsg + QLatin1Char('\r') + result.failure;
    if (!result.advice.isEmpty())
        text += QLatin1Char('\r') + result.advice;
    return text;
}

} // namespace kelotari
