#include "files/FileNames.h"

#include <algorithm>

namespace kelotari {

namespace {

constexpr char16_t kKeptBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

// Length of the well-formed UTF-8 sequence at p (1..4), or 0 when it is not one.
int utf8Sequence(const unsigned char* p, qsizetype left) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int n = 0;
    char32_t min = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 2, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, cp = c & 0x07;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

QString hexByte(unsigned value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString decodeFileName(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    // Runs of well-formed UTF-8 are decoded whole (a folder lists thousands of names, nearly
    // all plain); each byte between them is kept on its own.
    QString out;
    out.reserve(size);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < size;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const int n = utf8Sequence(p + i, size - i);
        if (n > 0) {
            i += n;
            continue;
        }
        out += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
        out += QChar(char16_t(kKeptBase + p[i]));
        runStart = ++i;
    }
    if (runStart == 0)
        return QString::fromUtf8(bytes);
    out += QString::fromUtf8(bytes.constData() + runStart, size - runStart);
    return out;
}

QByteArray encodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            out += QStringView(name).mid(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name.at(i).unicode();
        // A kept byte is a lone low surrogate (a real character never is one).
        const bool paired = i > 0 && QChar::isHighSurrogate(name.at(i - 1).unicode());
        if (u >= kKeptBase + 0x80 && u <= kKeptBase + 0xFF && !paired) {
            flush(i);
            out += char(u - kKeptBase);
            runStart = i + 1;
        }
    }
    flush(name.size());
    return out;
}

QString displayFileName(const QString& name) {
    // Most names have nothing to mark: they are shown as they are.
    const bool plain = std::none_of(name.cbegin(), name.cend(), [](QChar c) {
        return c.unicode() == kReplacement ||
               (c.unicode() >= kKeptBase + 0x80 && c.unicode() <= kKeptBase + 0xFF);
    });
    if (plain)
        return name;
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name.at(i).unicode();
        const bool paired = i > 0 && QChar::isHighSurrogate(name.at(i - 1).unicode());
        if (u >= kKeptBase + 0x80 && u <= kKeptBase + 0xFF && !paired) {
            out += QChar(kReplacement) + hexByte(u - kKeptBase);
        } else if (u == kReplacement) {
            for (const char b : QByteArray("\xEF\xBF\xBD"))
                out += QChar(kReplacement) + hexByte(static_cast<unsigned char>(b));
        } else {
            out += QChar(u);
        }
    }
    return out;
}

} // namespace kelotari
