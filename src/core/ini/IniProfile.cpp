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

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
}

// A name's hash beside the number of the item (section or key) that bears it. A table of them,
// ordered by the hash's upper half, finds a name by binary search; items of equal upper halves
// stay in the order they were found, so the first item of a name is met first. Made in one
// sequential pass and sorted by a radix sort, it costs far less than a hash table filled name by
// name, whose every insertion is a cache miss in a file of a million lines.
struct HashedName {
    quint64 hash;
    int item;
};

quint32 upperHalf(quint64 hash) {
    return quint32(hash >> 32);
}

// Orders [first, first + n) by the upper half of the hash, keeping the order of equal halves.
void sortByHash(HashedName* first, size_t n) {
    if (n < 64) {
        std::stable_sort(first, first + n, [](const HashedName& a, const HashedName& b) {
            return upperHalf(a.hash) < upperHalf(b.hash);
        });
        return;
    }
    std::vector<HashedName> buffer(n);
    HashedName* from = first;
    HashedName* to = buffer.data();
    for (int shift = 32; shift < 64; shift += 8) {
        size_t start[257] = {};
        for (size_t i = 0; i < n; ++i)
            ++start[((from[i].hash >> shift) & 0xff) + 1];
        for (int d = 0; d < 256; ++d)
            start[d + 1] += start[d];
        for (size_t i = 0; i < n; ++i)
            to[start[(from[i].hash >> shift) & 0xff]++] = from[i];
        std::swap(from, to);
    }
    // An even number of passes: the sorted entries are back in place.
}

// The first item in [first, first + n) stored under `hash` that `same` accepts, or -1.
template <typename Same>
int findByHash(const HashedName* first, size_t n, quint64 hash, Same same) {
    const HashedName* end = first + n;
    const quint32 upper = upperHalf(hash);
    const HashedName* at = std::lower_bound(
        first, end, upper, [](const HashedName& e, quint32 u) { return upperHalf(e.hash) < u; });
    for (; at != end && upperHalf(at->hash) == upper; ++at)
        if (at->hash == hash && same(at->item))
            return at->item;
    return -1;
}

// The length of the run of ASCII bytes at the start of [p, p + n), looked at eight at a time.
size_t asciiRun(const char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80)
        ++i;
    return i;
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
    // Most files are ASCII all through: only what follows the first other byte needs the
    // full check (a run of ASCII ends on a character boundary).
    const size_t ascii = asciiRun(m_bytes.constData(), size_t(m_bytes.size()));
    m_utf8 = m_start > 0 || ascii == size_t(m_bytes.size()) ||
             isValidUtf8(QByteArray::fromRawData(m_bytes.constData() + ascii,
                                                 m_bytes.size() - qsizetype(ascii)));
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

// Every section line and, once a section is looked in, its keys, each table ordered by name
// hash. The first section of a name counts (later ones of that name, and their keys, do not),
// and in it the first key of each name; a new key of the section goes after its last
// non-blank line.
struct IniProfile::Index {
    struct Section {
        int nameBegin;
        int nameEnd;
        int lineBegin;     // the section's own line
        int bodyBegin;     // the line after it
        int insertAt = -1; // known once its keys are
        int keysBegin = 0; // its keys' range in keyNames, known once its keys are
        int keysEnd = 0;
        bool keysKnown = false;
    };
    struct Key {
        int nameBegin;
        int nameEnd;
        Line line;
        int valueStart;
    };
    std::vector<Section> sections; // in file order
    std::vector<HashedName> sectionNames;
    std::vector<Key> keys;
    std::vector<HashedName> keyNames; // each section's keys one range, ordered by hash
    int fileEnd = 0;

    // Where section s's body ends: at the next section line, or at the end of the file.
    int bodyEnd(int s) const {
        return size_t(s) + 1 < sections.size() ? sections[size_t(s) + 1].lineBegin : fileEnd;
    }
};

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

const IniProfile::Index& IniProfile::index() const {
    if (m_index)
        return *m_index;
    auto ix = std::make_shared<Index>();
    ix->fileEnd = int(m_bytes.size());
    const char* p = m_bytes.constData();
    // Only section lines are looked at here; a section's keys are indexed on the first look-up
    // in it, so the keys of sections the program never asks about cost a line scan, no more.
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
        int nb = first + 1, ne = int(close - p);
        while (nb < ne && isBlank(p[nb]))
            ++nb;
        while (ne > nb && isBlank(p[ne - 1]))
            --ne;
        ix->sectionNames.push_back(HashedName{nameHash(nb, ne), int(ix->sections.size())});
        ix->sections.push_back(Index::Section{nb, ne, l.begin, l.next});
    }
    sortByHash(ix->sectionNames.data(), ix->sectionNames.size());
    m_index = std::move(ix);
    return *m_index;
}

// The keys of section s, indexed on the first look-up in it: every key line in file order,
// ordered by name hash, and where a new key would go (after the section's last non-blank line).
void IniProfile::indexKeys(int s) const {
    Index& ix = *m_index;
    Index::Section& sec = ix.sections[size_t(s)];
    if (sec.keysKnown)
        return;
    sec.keysKnown = true;
    sec.insertAt = sec.bodyBegin;
    sec.keysBegin = int(ix.keyNames.size());
    const char* p = m_bytes.constData();
    const int bodyEnd = ix.bodyEnd(s);
    for (int pos = sec.bodyBegin; pos < bodyEnd;) {
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
        ix.keyNames.push_back(HashedName{nameHash(kb, ke), int(ix.keys.size())});
        ix.keys.push_back(Index::Key{kb, ke, l, int(eq - p) + 1});
    }
    sec.keysEnd = int(ix.keyNames.size());
    sortByHash(ix.keyNames.data() + sec.keysBegin, size_t(sec.keysEnd - sec.keysBegin));
}

IniProfile::Match IniProfile::find(const QString& section, const QString& key) const {
    Match m;
    const Index& ix = index();
    auto named = [this](int begin, int end, const QString& name) {
        return decode(QByteArray::fromRawData(m_bytes.constData() + begin, end - begin))
                   .compare(name, Qt::CaseInsensitive) == 0;
    };
    const int s = findByHash(ix.sectionNames.data(), ix.sectionNames.size(),
                             hashFolded(section.toCaseFolded()), [&](int i) {
                                 const Index::Section& c = ix.sections[size_t(i)];
                                 return named(c.nameBegin, c.nameEnd, section);
                             });
    if (s < 0)
        return m;
    indexKeys(s);
    const Index::Section& sec = ix.sections[size_t(s)];
    m.insertAt = sec.insertAt;
    const int k =
        findByHash(ix.keyNames.data() + sec.keysBegin, size_t(sec.keysEnd - sec.keysBegin),
                   hashFolded(key.toCaseFolded()), [&](int i) {
                       const Index::Key& c = ix.keys[size_t(i)];
                       return named(c.nameBegin, c.nameEnd, key);
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
