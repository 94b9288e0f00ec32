#pragma once
// The last-resort guard around a window's handler: a failure nobody handled ends the handler
// and goes to the last-resort error box; the program carries on.
#include "base/Dialogs.h"
#include "base/Failure.h"

#include <exception>

namespace kelotari {

// Runs f; true when it returned, false when a failure reached the box instead.
template <class F> bool runGuarded(Dialogs& dialogs, F&& f) {
    try {
        f();
        return true;
    } catch (const Failure& e) {
        dialogs.lastResortError(lastResortText(e.message()));
    } catch (const std::exception& e) {
        dialogs.lastResortError(lastResortText(QString::fromLocal8Bit(e.what())));
    }
    return false;
}

} // namespace kelotari
