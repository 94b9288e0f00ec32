#pragma once
// A page canvas that records every call, for checking report layouts without a printer.
#include "print/PageCanvas.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

namespace kelotari {

class RecordingCanvas : public PageCanvas {
public:
    struct Op {
        QString kind; // "begin", "text", "chart", "newPage", "end", "abort"
        int page = 0; // 0 for the first page
        int x = 0, y = 0;
        QString text;
        QRect rect;
        Histogram bars;
    };

    RecordingCanvas(int width, int height, int lineHeight) : W(width), H(height), h(lineHeight) {}

    int W, H, h;
    QString failAt; // "begin", "newPage" or "end": that call fails
    QList<Op> ops;
    QStringList measured; // texts whose height was asked for
    int page = 0;

    int pageWidth() const override { return W; }
    int pageHeight() const override { return H; }
    int textHeight(const QString& text) override {
        measured << text;
        return h;
    }
    bool beginDocument() override { return record("begin"); }
    void drawText(int x, int y, const QString& text) override {
        Op op{QStringLiteral("text"), page, x, y, text, {}, {}};
        ops << op;
    }
    void drawHistogram(const QRect& rect, const Histogram& bars) override {
        Op op{QStringLiteral("chart"), page, 0, 0, {}, rect, bars};
        ops << op;
    }
    bool newPage() override {
        if (!record("newPage"))
            return false;
        ++page;
        return true;
    }
    bool endDocument() override { return record("end"); }
    void abortDocument() override { record("abort"); }

    QList<Op> texts() const {
        QList<Op> out;
        for (const Op& op : ops)
            if (op.kind == QLatin1String("text"))
                out << op;
        return out;
    }
    QStringList kinds() const {
        QStringList out;
        for (const Op& op : ops)
            out << op.kind;
        return out;
    }

private:
    bool record(const char* kind) {
        Op op;
        op.kind = QLatin1String(kind);
        op.page = page;
        ops << op;
        return failAt != op.kind;
    }
};

} // namespace kelotari
