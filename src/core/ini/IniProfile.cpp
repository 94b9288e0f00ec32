#include "ini/IniProfile.h"

#include "base/Failure.h"
#include "files/OpenForReading.h"
#include "files/SafeWrite.h"
#include "text/Codec.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace kelotari {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Names are compared without regard to case; the index finds them by a hash of the case-folded
// name: FNV-1a over its UTF-16 units, so a name in ASCII (nearly every name) is folded byte by
// byte without making a text of it, and gives the same hash as its folded text.
constexpr quint64 kHashSeed = 14695981039346656037ull;
constexpr quint64 kHashPrime = 1099511628211ull;

quint64 hashFolded(const QString& folded) {
    quint64 h = kHashSeed;
    for (const QChar c : folded) {
        h ^= c.unicode();
        h *= kHashPrime;
    }
    return h;
}

// Spreads a hash over the low bits that pick a slot.
quint64 mix(quint64 h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

bool isAscii(const char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    return true;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// Open addressing from a hash to an item number; equality of items is the caller's test.
class SlotTable {
public:
    // The item stored under `hash` that `same` accepts, or -1.
    template <typename Same> int find(quint64 hash, Same same) const {
        if (m_slots.empty())
            return -1;
        const size_t mask = m_slots.size() - 1;
        for (size_t i = mix(hash) & mask;; i = (i + 1) & mask) {
            const Slot& s = m_slots[i];
            if (s.item < 0)
                return -1;
            if (s.hash == hash && same(s.item))
                return s.item;
        }
    }
    // Stores `item` unless an item that `same` accepts is there already; returns the item kept.
    template <typename Same> int insert(quint64 hash, int item, Same same) {
        if ((m_used + 1) * 2 > m_slots.size())
            grow();
        const size_t mask = m_slots.size() - 1;
        for (size_t i = mix(hash) & mask;; i = (i + 1) & mask) {
            Slot& s = m_slots[i];
            if (s.item < 0) {
                s = Slot{hash, item};
                ++m_used;
                return item;
            }
            if (s.hash == hash && same(s.item))
                return s.item;
        }
    }

private:
    struct Slot {
        quint64 hash = 0;
        int item = -1;
    };
    void grow() {
        std::vector<Slot> old(std::max<size_t>(16, m_slots.size() * 2));
        old.swap(m_slots);
        const size_t mask = m_slots.size() - 1;
        for (const Slot& s : old) {
            if (s.item < 0)
                continue;
            size_t i = mix(s.hash) & mask;
            while (m_slots[i].item >= 0)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }
    std::vector<Slot> m_slots;
    size_t m_used = 0;

public:
    // Room for about n items without growing.
    void reserve(size_t n) {
        size_t size = 16;
        while (size < n * 2)
            size *= 2;
        if (size > m_slots.size() && m_used == 0)
            m_slots.assign(size, Slot{});
    }
};

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
    const char* p = m_bytes.constData();
    int e = pos;
    while (e < n && p[e] != '\n' && p[e] != '\r')
        ++e;
    int next = e;
    if (next < n && p[next] == '\r')
        ++next;
    if (next < n && p[next] == '\n')
        ++next;
    return Line{pos, e, next};
}

// The first section of each name (later ones of that name do not count), the first key of each
// name in it, and where a new key of the section would go (after its last non-blank line).
struct IniProfile::Index {
    struct Section {
        int nameBegin;
        int nameEnd;
        int bodyBegin;     // the line after the section's own
        int bodyEnd;       // the next section line, or the end of the file
        int insertAt = -1; // known once its keys are
        bool keysKnown = false;
    };
    struct Key {
        int section;
        int nameBegin;
        int nameEnd;
        Line line;
        int valueStart;
    };
    std::vector<Section> sections;
    std::vector<Key> keys;
    SlotTable sectionSlots;
    SlotTable keySlots;
};

namespace {

quint64 keyHash(int section, quint64 nameHash) {
    return nameHash ^ (quint64(unsigned(section) + 1) * 0x9e3779b97f4a7c15ull);
}

} // namespace

QString IniProfile::textAt(int begin, int end) const {
    return decode(QByteArray::fromRawData(m_bytes.constData() + begin, end - begin));
}

quint64 IniProfile::nameHash(int begin, int end) const {
    const char* p = m_bytes.constData();
    quint64 h = kHashSeed;
    for (int i = begin; i < end; ++i) {
        const char c = p[i];
        if (static_cast<unsigned char>(c) >= 0x80)
            return hashFolded(textAt(begin, end).toCaseFolded());
        h ^= static_cast<unsigned char>(asciiLower(c));
        h *= kHashPrime;
    }
    return h;
}

bool IniProfile::sameName(int b1, int e1, int b2, int e2) const {
    const char* p = m_bytes.constData();
    if (isAscii(p + b1, e1 - b1) && isAscii(p + b2, e2 - b2)) {
        if (e1 - b1 != e2 - b2)
            return false;
        for (int i = 0; i < e1 - b1; ++i)
            if (asciiLower(p[b1 + i]) != asciiLower(p[b2 + i]))
                return false;
        return true;
    }
    return textAt(b1, e1).compare(textAt(b2, e2), Qt::CaseInsensitive) == 0;
}

const IniProfile::Index& IniProfile::index() const {
    if (m_index)
        return *m_index;
    auto ix = std::make_shared<Index>();
    const char* p = m_bytes.constData();
    // Only section lines are looked at here; a section's keys are indexed on the first look-up
    // in it, so the keys of sections the program never asks about cost a line scan, no more.
    ix->sectionSlots.reserve(size_t(m_bytes.size() - m_start) / 16);
    int current = -1; // the section whose body runs up to the next section line
    for (int pos = m_start; pos < m_bytes.size();) {
        const Line l = lineAt(pos);
        pos = l.next;
        int first = l.begin;
        while (first < l.end && isBlank(p[first]))
            ++first;
        if (first == l.end || p[first] != '[')
            continue;
        int last = l.end;
        while (last > first && isBlank(p[last - 1]))
            --last;
        if (last - first < 2)
            continue;
        const char* close =
            static_cast<const char*>(std::memchr(p + first, ']', size_t(last - first)));
        if (!close)
            continue;
        if (current >= 0)
            ix->sections[size_t(current)].bodyEnd = l.begin;
        int nb = first + 1, ne = int(close - p);
        while (nb < ne && isBlank(p[nb]))
            ++nb;
        while (ne > nb && isBlank(p[ne - 1]))
            --ne;
        const int item = int(ix->sections.size());
        const int kept = ix->sectionSlots.insert(nameHash(nb, ne), item, [&](int other) {
            const Index::Section& o = ix->sections[size_t(other)];
            return sameName(o.nameBegin, o.nameEnd, nb, ne);
        });
        if (kept == item) {
            ix->sections.push_back(Index::Section{nb, ne, l.next, int(m_bytes.size())});
            current = item;
        } else {
            current = -1; // a later namesake does not count
        }
    }
    m_index = std::move(ix);
    return *m_index;
}

// The keys of section s, indexed on the first look-up in it: the first key of each name, and
// where a new key would go (after the section's last non-blank line).
void IniProfile::indexKeys(int s) const {
    Index& ix = *m_index;
    Index::Section& sec = ix.sections[size_t(s)];
    if (sec.keysKnown)
        return;
    sec.keysKnown = true;
    sec.insertAt = sec.bodyBegin;
    const char* p = m_bytes.constData();
    for (int pos = sec.bodyBegin; pos < sec.bodyEnd;) {
        const Line l = lineAt(pos);
        pos = l.next;
        int first = l.begin;
        while (first < l.end && isBlank(p[first]))
            ++first;
        if (first == l.end)
            continue; // blank
        sec.insertAt = l.next;
        const char* eq =
            static_cast<const char*>(std::memchr(p + l.begin, '=', size_t(l.end - l.begin)));
        if (!eq)
            continue;
        int kb = l.begin, ke = int(eq - p);
        while (kb < ke && isBlank(p[kb]))
            ++kb;
        while (ke > kb && isBlank(p[ke - 1]))
            --ke;
        const int item = int(ix.keys.size());
        const int kept = ix.keySlots.insert(keyHash(s, nameHash(kb, ke)), item, [&](int other) {
            const Index::Key& o = ix.keys[size_t(other)];
            return o.section == s && sameName(o.nameBegin, o.nameEnd, kb, ke);
        });
        if (kept == item)
            ix.keys.push_back(Index::Key{s, kb, ke, l, int(eq - p) + 1});
    }
}

IniProfile::Match IniProfile::find(const QString& section, const QString& key) const {
    Match m;
    const Index& ix = index();
    auto named = [this](int begin, int end, const QString& name) {
        return decode(QByteArray::fromRawData(m_bytes.constData() + begin, end - begin))
                   .compare(name, Qt::CaseInsensitive) == 0;
    };
    const int s = ix.sectionSlots.find(hashFolded(section.toCaseFolded()), [&](int i) {
        const Index::Section& c = ix.sections[size_t(i)];
        return named(c.nameBegin, c.nameEnd, section);
    });
    if (s < 0)
        return m;
    indexKeys(s);
    m.insertAt = ix.sections[size_t(s)].insertAt;
    const int k = ix.keySlots.find(keyHash(s, hashFolded(key.toCaseFolded())), [&](int i) {
        const Index::Key& c = ix.keys[size_t(i)];
        return c.section == s && named(c.nameBegin, c.nameEnd, key);
    });
    if (k < 0)
        return m;
    const Index::Key& found = ix.keys[size_t(k)];
    m.keyFound = true;
    m.keyLine = found.line;
    m.valueStart = found.valueStart;
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
    const char* p = m_bytes.constData();
    int b = m.valueStart, e = m.keyLine.end;
    while (b < e && isBlank(p[b]))
        ++b;
    while (e > b && isBlank(p[e - 1]))
        --e;
    if (e - b >= 2 && (p[b] == '"' || p[b] == '\'') && p[e - 1] == p[b]) {
        ++b;
        --e;
    }
    // Only the start of a long value is decoded: a UTF-16 unit comes from at most three bytes,
    // so this many bytes hold the first kMaxValueLength characters whole.
    const int enough = m_utf8 ? kMaxValueLength * 3 + 4 : kMaxValueLength;
    QString s = decode(QByteArray::fromRawData(p + b, std::min(e - b, enough)));
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
    m_index.reset();
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
    m_index.reset(); // its places are those of the bytes before the change
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
