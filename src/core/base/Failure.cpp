#include "base/Failure.h"

namespace kelotari {

QString lastResortText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

} // namespace kelotari
