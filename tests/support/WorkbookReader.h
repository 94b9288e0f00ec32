#pragma once
// Reads a workbook back with an independent reader (Python's openpyxl, through
// read_xlsx.py beside this header), so the export tests see what a spreadsheet program sees.
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelotari {

struct SheetCell {
    QString type; // openpyxl's data_type: "n" number, "s" text, "d" date, "f" formula
    bool isDate = false;
    QVariant value; // number, text, or ISO date-time text
    QString numberFormat;
    bool bold = false;
};

class WorkbookReader {
public:
    // The Python that has openpyxl, or empty (then skipReason() says why).
    static QString python() {
        static const QString found = [] {
            QStringList candidates{QStringLiteral("/usr/bin/python3")};
            const QString onPath = QStandardPaths::findExecutable(QStringLiteral("python3"));
            if (!onPath.isEmpty())
                candidates << onPath;
            for (const QString& py : candidates) {
                if (!QFile::exists(py))
                    continue;
                QProcess p;
                p.start(py, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
                if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
                    p.exitCode() == 0)
                    return py;
            }
            return QString();
        }();
        return found;
    }
    static QString skipReason() {
        return QStringLiteral("no python3 with openpyxl (Debian: python3-openpyxl) to read the "
                              "workbook back");
    }

    // Reads fileName; false with error() set when the reader fails or does not answer.
    bool read(const QString& fileName) {
        QProcess p;
        p.start(python(),
                {QStringLiteral(KELOTARI_SOURCE_DIR "/tests/support/read_xlsx.py"), fileName});
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished(5000);
            m_error = QStringLiteral("the reader did not finish");
            return false;
        }
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_error = QString::fromUtf8(p.readAllStandardError());
            return false;
        }
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &pe);
        if (pe.error != QJsonParseError::NoError) {
            m_error = pe.errorString();
            return false;
        }
        const QJsonObject o = doc.object();
        for (const QJsonValue& v : o.value(QStringLiteral("sheets")).toArray())
            sheets << v.toString();
        properties = o.value(QStringLiteral("properties")).toObject().toVariantHash();
        freeze = o.value(QStringLiteral("freeze")).toString();
        const QJsonObject w = o.value(QStringLiteral("widths")).toObject();
        for (auto it = w.begin(); it != w.end(); ++it)
            widths.insert(it.key(), it.value().toDouble());
        const QJsonObject m = o.value(QStringLiteral("margins")).toObject();
        for (auto it = m.begin(); it != m.end(); ++it)
            margins.insert(it.key(), it.value().toDouble());
        for (const QJsonValue& v : o.value(QStringLiteral("cells")).toArray()) {
            const QJsonArray a = v.toArray();
            SheetCell c;
            c.type = a.at(2).toString();
            c.isDate = a.at(3).toBool();
            c.value = a.at(4).toVariant();
            c.numberFormat = a.at(5).toString();
            c.bold = a.at(6).toBool();
            cells.insert(key(a.at(0).toInt(), a.at(1).toInt()), c);
        }
        return true;
    }
    QString error() const { return m_error; }

    // Cell at a 1-based row and column; an empty cell has an empty type.
    SheetCell cell(int row, int col) const { return cells.value(key(row, col)); }
    bool has(int row, int col) const { return cells.contains(key(row, col)); }

    QStringList sheets;
    QVariantHash properties;
    QString freeze;
    QHash<QString, double> widths;  // by column letter
    QHash<QString, double> margins; // page margins in inches: left, right, top, bottom
    QHash<qint64, SheetCell> cells;

private:
    static qint64 key(int row, int col) { return static_cast<qint64>(row) << 20 | col; }
    QString m_error;
};

} // namespace kelotari
