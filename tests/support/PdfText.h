#pragma once
// Reading a printed PDF back in a test, through poppler's tools (poppler-utils): its text, its
// words with their positions, and a copy kept to look at.
#include <QByteArray>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>

namespace kelotari {

// The tool's path; empty (with a warning saying how to get it) when it is not installed.
inline QString findTool(const char* name) {
    const QString path = QStandardPaths::findExecutable(QLatin1String(name));
    if (path.isEmpty())
        qWarning("%s is missing: install poppler-utils (scripts/install-deps.sh)", name);
    return path;
}

// What the program writes to its standard output; empty (with a warning) when it fails.
inline QByteArray runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << program << args << p.readAllStandardError();
        return QByteArray();
    }
    return p.readAllStandardOutput();
}

// KELOTARI_PRINT_OUT names a folder that keeps a copy of every PDF read, to look at, named
// `tag`.pdf (by default the test function and the file's own name).
inline void keepPdfCopy(const QString& pdf, QString tag = QString()) {
    const QString out = qEnvironmentVariable("KELOTARI_PRINT_OUT");
    if (out.isEmpty() || !QFileInfo::exists(pdf))
        return;
    if (tag.isEmpty())
        tag = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-') +
              QFileInfo(pdf).completeBaseName();
    const QString target = QDir(out).filePath(tag + QStringLiteral(".pdf"));
    QFile::remove(target);
    QFile::copy(pdf, target);
}

// The text of a PDF: laid out as on the page, or in reading order.
enum class PdfTextOrder { Layout, Reading };
inline QString pdfText(const QString& pdf, PdfTextOrder order = PdfTextOrder::Layout) {
    keepPdfCopy(pdf);
    QStringList args{QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")};
    if (order == PdfTextOrder::Layout)
        args.prepend(QStringLiteral("-layout"));
    return QString::fromUtf8(runTool(findTool("pdftotext"), args));
}

struct PdfWord {
    int page = 0;        // from 0
    double x = 0, y = 0; // top-left, in points
    QString text;
};

// The words of every page with their positions; `pages` gets the page count, `paper` the
// (last) page's size in points.
inline QList<PdfWord> pdfWords(const QString& pdf, int* pages = nullptr, QSizeF* paper = nullptr) {
    keepPdfCopy(pdf);
    const QString html =
        QString::fromUtf8(runTool(findTool("pdftotext"), {"-bbox", "-enc", "UTF-8", pdf, "-"}));
    static const QRegularExpression wordRx(QStringLiteral(
        R"rx(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">([^<]*)</word>)rx"));
    static const QRegularExpression pageRx(
        QStringLiteral(R"rx(<page width="([\d.]+)" height="([\d.]+)">)rx"));
    QList<PdfWord> words;
    int page = -1;
    for (const QString& line : html.split(QLatin1Char('\n'))) {
        if (const auto pm = pageRx.match(line); pm.hasMatch()) {
            ++page;
            if (paper)
                *paper = QSizeF(pm.captured(1).toDouble(), pm.captured(2).toDouble());
        }
        if (const auto m = wordRx.match(line); m.hasMatch()) {
            QString text = m.captured(3);
            text.replace(QLatin1String("&apos;"), QLatin1String("'"));
            text.replace(QLatin1String("&quot;"), QLatin1String("\""));
            text.replace(QLatin1String("&lt;"), QLatin1String("<"));
            text.replace(QLatin1String("&gt;"), QLatin1String(">"));
            text.replace(QLatin1String("&amp;"), QLatin1String("&"));
            words << PdfWord{page, m.captured(1).toDouble(), m.captured(2).toDouble(), text};
        }
    }
    if (pages)
        *pages = page + 1;
    return words;
}

} // namespace kelotari
