#pragma once
// The main window's commands as core code over the window's state.
#include "app/MainState.h"
#include "meter/Download.h"

#include <QString>

namespace kelotari {

// The end of a download: puts its outcome into the window's state and returns the message to
// show (empty: none). PacketCount becomes the packets that arrived whole; Unsaved becomes true
// after a complete download, and after any other end that wrote rows, so what arrived can be
// saved. A port failure shows the time-out message with the port's text (and advice) below it.
QString finishDownload(const DownloadResult& result, MainState& state, const QString& timeoutMsg);

} // namespace kelotari
