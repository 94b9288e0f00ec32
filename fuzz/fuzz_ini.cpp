// INI reader and writer on arbitrary bytes: reads are bounded, a write keeps the other lines.
#include "ini/IniProfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    kelotari::IniProfile p(bytes);
    const QString v =
        p.readString(QStringLiteral("App"), QStringLiteral("Port"), QStringLiteral("COM1"));
    if (v.size() > kelotari::IniProfile::kMaxValueLength)
        __builtin_trap();
    (void)p.readString(QStringLiteral("Dialogs"), QStringLiteral("RS"), QString());
    p.writeString(QStringLiteral("App"), QStringLiteral("Port"), QStringLiteral("/dev/ttyUSB0"));
    if (p.readString(QStringLiteral("app"), QStringLiteral("PORT"), QString()) !=
        QStringLiteral("/dev/ttyUSB0"))
        __builtin_trap();
    return 0;
}
