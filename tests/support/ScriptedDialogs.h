#pragma once
// Dialogs for tests: answers come from queues, every call is recorded.
#include "base/Dialogs.h"

#include <QEventLoop>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace kelotari {

class ScriptedDialogs : public Dialogs {
public:
    struct Call {
        QString kind; // "ask", "message", "save", "open", "folder", "error"
        QString title;
        QString text; // question/message text, or proposed name / folder for file dialogs
    };

    QQueue<bool> yesNoAnswers; // empty queue answers No
    QQueue<QString> saveNames; // empty queue cancels
    // The filter selected when a save dialog is accepted, in order (empty queue: the first
    // filter of the call's list).
    QQueue<QString> saveFilters;
    QStringList saveFilterLists; // the filter argument of each save dialog, in order
    QQueue<QString> openNames;   // empty queue cancels
    QList<Call> calls;
    // How long each box or file dialog stays open, in order (empty queue: answered at once).
    // An open box runs a nested event loop, as a modal one does: timers fire, the port is
    // read, and whatever waits behind it stays held up until the box closes.
    QQueue<int> holdMs;
    QQueue<QString> folderNames; // folder chooser answers; empty queue cancels

    bool askYesNo(const QString& title, const QString& text) override {
        calls.append({QStringLiteral("ask"), title, text});
        hold();
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.dequeue();
    }
    void showMessage(const QString& title, const QString& text, Icon) override {
        calls.append({QStringLiteral("message"), title, text});
        hold();
    }
    QString chooseSaveFileName(const QString& title, const QString& proposed, const QString& filter,
                               const QString&, QString* selectedFilter = nullptr) override {
        calls.append({QStringLiteral("save"), title, proposed});
        saveFilterLists << filter;
        hold();
        if (saveNames.isEmpty())
            return QString();
        const QString chosen = saveFilters.isEmpty() ? filter.section(QStringLiteral(";;"), 0, 0)
                                                     : saveFilters.dequeue();
        if (selectedFilter)
            *selectedFilter = chosen;
        return saveNames.dequeue();
    }
    QString chooseOpenFileName(const QString& title, const QString& folder,
                               const QString&) override {
        calls.append({QStringLiteral("open"), title, folder});
        hold();
        return openNames.isEmpty() ? QString() : openNames.dequeue();
    }
    QString chooseFolder(const QString& title, const QString& folder) override {
        calls.append({QStringLiteral("folder"), title, folder});
        return folderNames.isEmpty() ? QString() : folderNames.dequeue();
    }
    void lastResortError(const QString& text) override {
        calls.append({QStringLiteral("error"), QStringLiteral("Kelotari"), text});
        hold();
    }

    // Keeps the current box open for its time from holdMs.
    void hold() {
        const int ms = holdMs.isEmpty() ? 0 : holdMs.dequeue();
        if (ms <= 0)
            return;
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QStringList kinds() const {
        QStringList k;
        for (const Call& c : calls)
            k << c.kind;
        return k;
    }
    QList<Call> callsOf(const QString& kind) const {
        QList<Call> out;
        for (const Call& c : calls)
            if (c.kind == kind)
                out << c;
        return out;
    }
};

} // namespace kelotari
