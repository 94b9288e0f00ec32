// Certificate loader and the calibration number forms on arbitrary bytes: never a crash or a
// hang; what loads saves and loads back to the same values under the same settings.
#include "setup/CalNumbers.h"
#include "setup/CertFile.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

bool sameValues(const kelotari::CalRecord& a, const kelotari::CalRecord& b) {
    for (int k = 1; k <= 7; ++k)
        if (std::memcmp(&a.CalResult[size_t(k)], &b.CalResult[size_t(k)], sizeof(float)) != 0 &&
            !(a.slot(k) == 0 && b.slot(k) == 0)) // -0 is written "0"
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const QLocale& regional : {QLocale::c(), QLocale(QLocale::Finnish, QLocale::Finland)}) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        kelotari::CalRecord record;
        QString name;
        const kelotari::CertLoadResult r =
            kelotari::loadCertificate(buffer, record, name, regional);
        if (r.ok != (r.failedLine == 0) || r.failedLine < 0 || r.failedLine > 9)
            __builtin_trap();
        if (!r.ok)
            continue;
        QBuffer again;
        again.setData(kelotari::certificateFileContent(record, name, regional));
        again.open(QIODevice::ReadOnly);
        kelotari::CalRecord back;
        QString backName;
        if (!kelotari::loadCertificate(again, back, backName, regional).ok ||
            !sameValues(record, back))
            __builtin_trap();
    }
    // A line taken as a reading: its file form reads back as the same float, and the screen
    // form is at most "-d.ddE+dd" long.
    if (const std::optional<float> v = kelotari::parseDecimal(bytes.left(64))) {
        if (kelotari::parseDecimal(kelotari::generalForm(*v).toLatin1()) != *v)
            __builtin_trap();
        if (kelotari::twoDecimalForm(*v).size() > 9)
            __builtin_trap();
    }
    return 0;
}
