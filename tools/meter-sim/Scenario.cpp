#include "Scenario.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <utility>

namespace metersim {

namespace {

constexpr char kPacketEnd = '\xAF';
constexpr char kDataEnd = '\x1A';

bool parseCount(const QByteArray& word, qint64* out) {
    bool ok = false;
    const qint64 v = word.toLongLong(&ok);
    if (!ok || v < 0)
        return false;
    *out = v;
    return true;
}

// One answer line with the line-level faults.
void appendLine(QByteArray& out, const QByteArray& line, const Faults& f) {
    if (f.lfNoise)
        out += '\n';
    if (f.nul && !line.isEmpty())
        out += line.left(1) + '\0' + line.mid(1);
    else
        out += line;
    out += f.lfNoise ? "\r\n" : "\r";
}

void appendMarker(QByteArray& out, char marker, const Faults& f) {
    if (f.lfNoise)
        out += "\n\n";
    out += marker;
    if (f.loneCr)
        out += '\r';
}

QByteArray garbageBytes(qint64 n) {
    QByteArray g;
    g.reserve(n);
    auto* rng = QRandomGenerator::global();
    while (g.size() < n) {
        const char c = static_cast<char>(rng->bounded(1, 256));
        if (c != '\r' && c != '\n' && c != kPacketEnd && c != kDataEnd)
            g += c;
    }
    return g;
}

} // namespace

bool applyLine(const QByteArray& raw, Scenario* s, QString* error) {
    QByteArray line = raw;
    if (line.endsWith('\r'))
        line.chop(1);
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#'))
        return true;
    const int sp = trimmed.indexOf(' ');
    const QByteArray word = sp < 0 ? trimmed : trimmed.left(sp);
    const QByteArray rest = sp < 0 ? QByteArray() : trimmed.mid(sp + 1).trimmed();
    const QList<QByteArray> words = rest.simplified().split(' ');

    auto fail = [&](const QString& what) {
        *error = what;
        return false;
    };

    if (word == "serial") {
        s->serial = rest;
    } else if (word == "text") {
        if (!std::exchange(s->textGiven, true))
            s->text.clear();
        s->text << rest;
    } else if (word == "offsets") {
        if (words.size() != 8)
            return fail(QStringLiteral("offsets needs eight values"));
        if (!std::exchange(s->offsetsGiven, true))
            s->offsets.clear();
        std::array<QByteArray, 8> values;
        for (int i = 0; i < 8; ++i)
            values[static_cast<size_t>(i)] = words[i];
        s->offsets << values;
    } else if (word == "reading") {
        if (rest.isEmpty())
            return fail(QStringLiteral("reading needs a value"));
        if (!std::exchange(s->readingsGiven, true))
            s->readings.clear();
        s->readings << rest;
    } else if (word == "packet") {
        const QList<QByteArray> fields = rest.split('|');
        if (fields.size() != 9)
            return fail(QStringLiteral("packet needs nine fields separated by |"));
        Packet p;
        for (int i = 0; i < 9; ++i)
            p.fields[static_cast<size_t>(i)] = fields[i].trimmed();
        s->packets << p;
    } else if (word == "readings") {
        if (s->packets.isEmpty())
            return fail(QStringLiteral("readings before any packet"));
        Packet& p = s->packets.last();
        for (const QByteArray& r : words)
            if (!r.isEmpty())
                p.readings << r;
        if (p.readings.size() > 30)
            return fail(QStringLiteral("a packet holds at most 30 readings "
                                       "(fault extra-reading sends a 31st)"));
    } else if (word == "generate") {
        qint64 count = 0, n = 0;
        if (words.size() != 2 || !parseCount(words[0], &count) || !parseCount(words[1], &n) ||
            n > 30 || count > 10000)
            return fail(QStringLiteral("generate needs a packet count and 0..30 readings"));
        generatePackets(s, static_cast<int>(count), static_cast<int>(n));
    } else if (word == "fault") {
        const QByteArray name = words.value(0);
        const QByteArray arg = words.value(1);
        Faults& f = s->faults;
        qint64 n = 0;
        if (name == "silent")
            f.silent = true;
        else if (name == "lone-cr")
            f.loneCr = true;
        else if (name == "lf-noise")
            f.lfNoise = true;
        else if (name == "nul")
            f.nul = true;
        else if (name == "extra-reading")
            f.extraReading = true;
        else if ((name == "stall" || name == "hangup" || name == "garbage") && parseCount(arg, &n))
            (name == "stall" ? f.stallAfter : name == "hangup" ? f.hangupAfter : f.garbage) = n;
        else
            return fail(QStringLiteral("unknown fault \"%1\"").arg(QString::fromLatin1(rest)));
    } else {
        return fail(QStringLiteral("unknown keyword \"%1\"").arg(QString::fromLatin1(word)));
    }
    return true;
}

bool loadScenario(const QString& fileName, Scenario* out, QString* error) {
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(fileName, f.errorString());
        return false;
    }
    int lineNo = 0;
    while (!f.atEnd()) {
        ++lineNo;
        QByteArray line = f.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        QString what;
        if (!applyLine(line, out, &what)) {
            *error = QStringLiteral("%1:%2: %3").arg(fileName).arg(lineNo).arg(what);
            return false;
        }
    }
    return true;
}

void generatePackets(Scenario* s, int count, int readings) {
    static const char* const woods[] = {"Pine", "Spruce", "Birch", "Oak", "Aspen"};
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < count; ++i) {
        Packet p;
        double lo = 99, hi = 0, sum = 0;
        for (int k = 0; k < readings; ++k) {
            const double v = 8.0 + rng->bounded(180) / 10.0;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
            sum += v;
            p.readings << QByteArray::number(v, 'f', 1);
        }
        const double avg = readings ? sum / readings : 0;
        double var = 0;
        for (const QByteArray& r : p.readings)
            var += (r.toDouble() - avg) * (r.toDouble() - avg);
        const double sd = readings > 1 ? std::sqrt(var / (readings - 1)) : 0;
        const int no = static_cast<int>(s->packets.size()) + 1;
        p.fields = {QByteArray::number(readings ? lo : 0, 'f', 1),
                    QByteArray::number(readings ? hi : 0, 'f', 1),
                    QByteArray::number(no),
                    QByteArray("14.05.99"),
                    QStringLiteral("%1:%2")
                        .arg(8 + no / 60 % 10, 2, 10, QLatin1Char('0'))
                        .arg(no % 60, 2, 10, QLatin1Char('0'))
                        .toLatin1(),
                    QByteArray(woods[no % 5]),
                    QByteArray::number(15 + no % 10),
                    QByteArray::number(avg, 'f', 1),
                    QByteArray::number(sd, 'f', 1)};
        s->packets << p;
    }
}

QByteArray answerFor(char command, Scenario& s, int* kIndex) {
    const Faults& f = s.faults;
    QByteArray out;
    if (f.silent)
        return out;
    switch (command) {
    case 'D':
        if (f.loneCr)
            out += '\r';
        for (const Packet& p : s.packets) {
            for (const QByteArray& field : p.fields)
                appendLine(out, field, f);
            for (const QByteArray& r : p.readings)
                appendLine(out, r, f);
            if (f.extraReading && p.readings.size() == 30)
                appendLine(out, p.readings.last(), f);
            appendMarker(out, kPacketEnd, f);
        }
        appendMarker(out, kDataEnd, f);
        break;
    case 'S':
        appendLine(out, s.serial, f);
        break;
    case 'T':
        for (const QByteArray& line : s.text)
            appendLine(out, line, f);
        appendMarker(out, kDataEnd, f);
        break;
    case 'O': {
        const int i = std::min(s.offsetsAnswered, static_cast<int>(s.offsets.size()) - 1);
        ++s.offsetsAnswered;
        for (const QByteArray& o : s.offsets[i])
            appendLine(out, o, f);
        break;
    }
    case 'K':
        if (!s.readings.isEmpty()) {
            appendLine(out, s.readings[*kIndex % s.readings.size()], f);
            ++*kIndex;
        }
        break;
    default:
        return out; // "C" and anything else: no answer
    }
    if (f.garbage > 0)
        out.prepend(garbageBytes(f.garbage));
    return out;
}

} // namespace metersim
