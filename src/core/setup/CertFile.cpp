#include "setup/CertFile.h"

#include "setup/CalNumbers.h"
#include "text/Codec.h"

#include <QFile>
#include <QFileInfo>

namespace kelotari {

namespace {

QByteArray oneLine(QByteArray bytes) {
    bytes.replace('\r', ' ');
    bytes.replace('\n', ' ');
    return bytes;
}

// Reads lines from a file with a cap on their length.
class LineSource {
public:
    explicit LineSource(QIODevice& file) : m_file(file) {}

    // False on a read error or an over-long line. At the end of the file a line reads empty.
    bool next(QByteArray* line) {
        line->clear();
        for (;;) {
            char c = 0;
            const qint64 got = m_file.read(&c, 1);
            if (got < 0)
                return false;
            if (got == 0) {
                if (m_pendingCr)
                    m_pendingCr = false;
                return true;
            }
            if (m_pendingCr) {
                m_pendingCr = false;
                if (c == '\n')
                    return true;
                // a CR not followed by LF is dropped
            }
            if (c == '\r') {
                m_pendingCr = true;
                continue;
            }
            if (c == '\n')
                return true;
            if (line->size() >= kMaxCertLine)
                return false;
            *line += c;
        }
    }

private:
    QIODevice& m_file;
    bool m_pendingCr = false;
};

} // namespace

const QString& CalTexts::stepText(int step) const {
    switch (step) {
    case 1:
        return StepText1;
    case 2:
        return StepText2;
    case 3:
        return StepText3;
    case 4:
        return StepText4;
    case 5:
        return StepText5;
    case 6:
        return StepText6;
    case 7:
        return StepText7;
    default: {
        static const QString none;
        return none;
    }
    }
}

char certDecimalPoint(const QLocale& regional) {
    return regionalNumberFormat(regional).decimalSeparator;
}

QByteArray certificateFileContent(const CalRecord& record, const QString& handlerName,
                                  const QLocale& regional) {
    const NumberFormat form = regionalNumberFormat(regional);
    QByteArray out;
    out += oneLine(record.CertNumber) + "\r\n";
    out += oneLine(toCp1252(handlerName)) + "\r\n";
    for (int k = 1; k <= 7; ++k)
        out += form.general(record.slot(k)).toLatin1() + "\r\n";
    return out;
}

WriteOutcome saveCertificate(const QString& fileName, const CalRecord& record,
                             const QString& handlerName, const QLocale& regional) {
    return writeFileSafely(fileName, certificateFileContent(record, handlerName, regional));
}

CertLoadResult loadCertificate(const QString& fileName, CalRecord& record, QString& handlerName,
                               const QLocale& regional) {
    CertLoadResult result;
    // Only a regular file: opening a FIFO or a device would wait for a writer.
    if (!QFileInfo(fileName).isFile())
        return result;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    return loadCertificate(file, record, handlerName, regional);
}

CertLoadResult loadCertificate(QIODevice& device, CalRecord& record, QString& handlerName,
                               const QLocale& regional) {
    CertLoadResult result;
    LineSource lines(device);
    const NumberFormat form = regionalNumberFormat(regional);
    QByteArray line;
    for (int n = 1; n <= 9; ++n) {
        result.failedLine = n;
        if (!lines.next(&line))
            return result;
        if (n == 1) {
            record.CertNumber = line;
        } else if (n == 2) {
            handlerName = fromCp1252(line);
            result.nameRead = true;
        } else {
            const std::optional<float> v = form.parse(line);
            if (!v)
                return result;
            record.slot(n - 2) = *v;
        }
    }
    result.ok = true;
    result.failedLine = 0;
    return result;
}

QString proposedCertFileName(const QString& dataPath, const QByteArray& certNumber,
                             const QString& extension) {
    QString name;
    for (const QChar c : fromCp1252(certNumber)) {
        if (name.size() >= 64)
            break;
        const bool keep = c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') ||
                          c == QLatin1Char('.') || c == QLatin1Char(' ');
        name += keep ? c : QLatin1Char('_');
    }
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("_");
    return dataPath + name + extension;
}

} // namespace kelotari
