#pragma once
// A device whose reads fail (errno EIO) once `good` bytes of its content have been read: a
// disk or a network share that goes away in the middle of a file.
#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kelotari {

class FailingDevice : public QIODevice {
public:
    // Not open yet: the test opens it, buffered or not.
    FailingDevice(QByteArray content, qint64 good) : m_content(std::move(content)), m_good(good) {}

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = std::min({max, m_good - m_pos, qint64(m_content.size()) - m_pos});
        if (n <= 0) {
            errno = EIO;
            return -1;
        }
        std::memcpy(data, m_content.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_content;
    qint64 m_good;
    qint64 m_pos = 0;
};

} // namespace kelotari
