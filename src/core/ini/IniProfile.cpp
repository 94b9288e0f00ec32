#include "ini/IniProfile.h"

#include "base/Failure.h"
#include "files/OpenForReading.h"
#include "files/SafeWrite.h"
#include "text/Codec.h"

#include <QFile>

#include <cerrno>

namespace kelotari {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const QByteArray& b) {
    int s = 0, e = b.size();
    while (s < e && isBlank(b[s]))
        ++s;
    while (e > s && isBlank(b[e - 1]))
        --e;
    return b.mid(s, e - s);
}

// "[name]" on a line gives name; anything else gives a null array.
QByteArray sectionName(const QByteArray& line) {
    const QByteArray t = trimmed(line);
    if (t.size() < 2 || t[0] != '[')
        return QByteArray();
    const int close = t.indexOf(']');
    if (close < 0)
        return QByteArray();
    QByteArray name = trimmed(t.mid(1, close - 1));
    if (name.isNull())
        name = QByteArray("");
    return name;
}

const char kBom[] = "\xEF\xBB\xBF";

enum class ReadResult { Absent, Unreadable, Read };

// The whole file when it is a regular file. Anything else counts as absent and is not waited
// on: a FIFO's open would wait for a writer, a device may act on being opened.
ReadResult readRegularFile(const QString& fileName, QByteArray& bytes) {
    if (fileName.isEmpty())
        return ReadResult::Absent;
    QFile f;
    switch (openRegularFileForReading(f, fileName)) {
    case 0:
        break;
    case ENOENT:
    case ENOTDIR:
    case ENXIO: // a FIFO, socket or device
    case EISDIR:
        return ReadResult::Absent;
    default:
        return ReadResult::Unreadable;
    }
    bytes = f.readAll();
    return f.error() == QFileDevice::NoError ? ReadResult::Read : ReadResult::Unreadable;
}

} // namespace

IniProfile::IniProfile(QByteArray bytes) : m_bytes(std::move(bytes)) {
    // A byte-order mark is not part of the first line; it stays in the bytes written back.
    if (m_bytes.startsWith(kBom))
        m_start = 3;
    m_utf8 = m_start > 0 || isValidUtf8(m_bytes);
}

IniProfile IniProfile::fromFile(const QString& fileName) {
    QByteArray bytes;
    if (readRegularFile(fileName, bytes) != ReadResult::Read)
        return IniProfile();
    return IniProfile(std::move(bytes));
}

QString IniProfile::decode(const QByteArray& bytes) const {
    return m_utf8 ? QString::fromUtf8(bytes) : fromCp1252(bytes);
}

QByteArray IniProfile::encode(const QString& text) const {
    return m_utf8 ? text.toUtf8() : toCp1252(text);
}

IniProfile::Line IniProfile::lineAt(int pos) const {
    const int n = m_bytes.size();
    int e = pos;
    while (e < n && m_bytes[e] != '\n' && m_bytes[e] != '\r')
        ++e;
    int next = e;
    if (next < n && m_bytes[next] == '\r')
        ++next;
    if (next < n && m_bytes[next] == '\n')
        ++next;
    return Line{pos, e, next};
}

// One pass over the file: the first section of that name, the first key of that name in it,
// and where a new key of the section would go (after its last non-blank line).
IniProfile::Match IniProfile::find(const QString& section, const QString& key) const {
    Match m;
    bool inSection = false;
    for (int pos = m_start; pos < m_bytes.size();) {
        const Line l = lineAt(pos);
        pos = l.next;
        // Blank lines, and lines outside the section that cannot open one, are passed over
        // without copying them (a large file stays quick to read).
        int first = l.begin;
        while (first < l.end && isBlank(m_bytes[first]))
            ++first;
        if (first == l.end || (!inSection && m_bytes[first] != '['))
            continue;
        const QByteArray text = m_bytes.mid(l.begin, l.end - l.begin);
        const QByteArray name = sectionName(text);
        if (!name.isNull()) {
            if (inSection)
                break; // the first section of that name is the one that counts
            inSection = decode(name).compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                m.insertAt = l.next;
            continue;
        }
        if (!inSection || trimmed(text).isEmpty())
            continue;
        m.insertAt = l.next;
        const int eq = text.indexOf('=');
        if (eq < 0 || decode(trimmed(text.left(eq))).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        m.keyFound = true;
        m.keyLine = l;
        m.valueStart = l.begin + eq + 1;
        return m;
    }
    return m;
}

bool IniProfile::contains(const QString& section, const QString& key) const {
    return find(section, key).keyFound;
}

QString IniProfile::readString(const QString& section, const QString& key,
                               const QString& def) const {
    const Match m = find(section, key);
    if (!m.keyFound)
        return def;
    QByteArray v = trimmed(m_bytes.mid(m.valueStart, m.keyLine.end - m.valueStart));
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.mid(1, v.size() - 2);
    QString s = decode(v);
    if (s.size() > kMaxValueLength)
        s.truncate(kMaxValueLength);
    return s;
}

void IniProfile::promoteToUtf8If(const QString& text) {
    if (m_utf8 || fromCp1252(toCp1252(text)) == text)
        return;
    // The code page cannot hold it: the whole file becomes UTF-8 rather than losing characters.
    m_bytes = fromCp1252(m_bytes).toUtf8();
    m_utf8 = true;
}

void IniProfile::writeString(const QString& section, const QString& key, const QString& value) {
    promoteToUtf8If(section + key + value);
    const QByteArray eol = (m_bytes.contains("\r\n") || m_bytes.size() <= m_start) ? "\r\n" : "\n";
    const QByteArray newLine = encode(key) + '=' + encode(value);
    const Match m = find(section, key);
    if (m.keyFound) {
        m_bytes.replace(m.keyLine.begin, m.keyLine.end - m.keyLine.begin, newLine);
    } else if (m.insertAt >= 0) {
        // The line before the insertion point may lack a line end (last line of the file).
        const int at = m.insertAt;
        const bool ended = at > 0 && (m_bytes[at - 1] == '\n' || m_bytes[at - 1] == '\r');
        m_bytes.insert(at, ended ? newLine + eol : eol + newLine);
    } else {
        if (m_bytes.size() > m_start && !m_bytes.endsWith('\n') && !m_bytes.endsWith('\r'))
            m_bytes += eol;
        m_bytes += '[' + encode(section) + ']' + eol + newLine + eol;
    }
}

void writeProfileString(const QString& fileName, const QString& section, const QString& key,
                        const QString& value) {
    IniProfile p = IniProfile::forRewrite(fileName);
    p.writeString(section, key, value);
    p.writeTo(fileName);
}

IniProfile IniProfile::forRewrite(const QString& fileName) {
    QByteArray bytes;
    switch (readRegularFile(fileName, bytes)) {
    case ReadResult::Absent:
        return IniProfile();
    case ReadResult::Unreadable:
        // A file that is there but cannot be read is not replaced by one holding only our keys.
        throw Failure(QStringLiteral("Unable to write to %1").arg(fileName));
    case ReadResult::Read:
        break;
    }
    return IniProfile(std::move(bytes));
}

void IniProfile::writeTo(const QString& fileName) const {
    if (!writeFileSafely(fileName, m_bytes))
        throw Failure(QStringLiteral("Unable to write to %1").arg(fileName));
}

} // namespace kelotari
