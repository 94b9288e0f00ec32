#pragma once
// INI profile files (settings and language): case-insensitive section and key names, values
// trimmed with one pair of matching quotes removed, at most 2047 characters of a value read.
// Writing a key replaces or adds only that key's line and keeps every other byte of the file.
// A UTF-8 byte-order mark at the start is skipped on reading and kept on writing. A file in
// Windows-1252 that is given a text the code page cannot hold becomes UTF-8 as a whole.
#include <QByteArray>
#include <QString>

#include <memory>

namespace kelotari {

class IniProfile {
public:
    static constexpr int kMaxValueLength = 2047;

    IniProfile() = default;
    explicit IniProfile(QByteArray bytes);
    // A missing or unreadable file gives an empty profile. A name that is not a regular file
    // (folder, FIFO, socket, device, or a link to one) counts as missing and is never opened
    // blocking.
    static IniProfile fromFile(const QString& fileName);
    // The file's profile for changing and writing back: empty when the file is missing or not
    // a regular file. Throws Failure("Unable to write to <fileName>") when it is a regular file
    // that cannot be read (rewriting it would lose its other lines).
    static IniProfile forRewrite(const QString& fileName);

    // The stored value, or def when the section or key is missing. A present empty key is "".
    QString readString(const QString& section, const QString& key, const QString& def) const;
    bool contains(const QString& section, const QString& key) const;

    // Sets section/key to value in memory, creating the section or key when missing.
    void writeString(const QString& section, const QString& key, const QString& value);

    // The whole file as it is written (byte-order mark included when it had one).
    const QByteArray& bytes() const { return m_bytes; }
    // Writes bytes() to the file through the safe writer; throws Failure("Unable to write to
    // <fileName>") when that fails, leaving the file as it was.
    void writeTo(const QString& fileName) const;
    // UTF-8 when the file's bytes are valid UTF-8 (or the file is new), else Windows-1252.
    bool isUtf8() const { return m_utf8; }

private:
    struct Index;
    struct Line {
        int begin; // first byte of the line
        int end;   // one past the last byte before the line end
        int next;  // first byte of the following line
    };
    struct Match {
        int insertAt = -1; // where a new key of the section goes; -1: no such section
        bool keyFound = false;
        Line keyLine{};
        int valueStart = 0; // first byte after the key's equals sign
    };
    Match find(const QString& section, const QString& key) const;
    const Index& index() const;
    void indexKeys(int section) const;
    QString textAt(int begin, int end) const;
    quint64 nameHash(int begin, int end) const;
    QString decode(const QByteArray& bytes) const;
    QByteArray encode(const QString& text) const;
    Line lineAt(int pos) const;
    void promoteToUtf8If(const QString& text);

    QByteArray m_bytes;
    int m_start = 0; // first byte after a byte-order mark
    bool m_utf8 = true;
    // Where each section and key is, made by one pass over the bytes on the first look-up and
    // dropped when the bytes change. Shared by copies, which hold the same bytes.
    mutable std::shared_ptr<Index> m_index;
};

// Writes one key to the file on disk (read, change, write back whole through the safe writer).
// Throws Failure("Unable to write to <fileName>") when the file cannot be written.
void writeProfileString(const QString& fileName, const QString& section, const QString& key,
                        const QString& value);

} // namespace kelotari
