#pragma once
// The dialogs interface on real Qt message boxes and file dialogs.
#include "base/Dialogs.h"
#include "lang/MainTexts.h"

#include <QHash>
#include <QPointer>

#include <memory>

class QFileDialog;
class QWidget;

namespace kelotari {

class FastIconProvider;

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr);
    ~QtDialogs() override;
    QtDialogs(const QtDialogs&) = delete;
    QtDialogs& operator=(const QtDialogs&) = delete;

    void setParent(QWidget* parent);
    // The save dialog's notes (folder missing, file read-only) in the language file's words.
    void setTexts(const ProgramTexts& texts) { m_texts = texts; }

    bool askYesNo(const QString& title, const QString& text) override;
    void showMessage(const QString& title, const QString& text, Icon icon) override;
    QString chooseSaveFileName(const QString& title, const QString& proposed, const QString& filter,
                               const QString& defaultSuffix,
                               QString* selectedFilter = nullptr) override;
    QString chooseOpenFileName(const QString& title, const QString& folder,
                               const QString& filter) override;
    QString chooseFolder(const QString& title, const QString& folder) override;
    void lastResortError(const QString& text) override;

    // The file dialog kept for one purpose (a kind of dialog and its filters), made on its first
    // use: null until then. For tests and the benchmark.
    QFileDialog* keptFileDialog(const QString& kind, const QString& filter = QString()) const;
    // The icon provider every file dialog of this object uses.
    const FastIconProvider& iconProvider() const { return *m_icons; }

private:
    enum class Kind { Save, Open, Folder };
    QFileDialog* fileDialog(Kind kind, const QString& filter, const QString& startPath);

    QPointer<QWidget> m_parent; // null once that window is gone
    ProgramTexts m_texts;
    // Declared before the dialogs: their models point at it until they go.
    std::unique_ptr<FastIconProvider> m_icons;
    // One dialog per purpose, kept and shown again: it is built, and its icons drawn, once.
    // A dialog whose parent window went away is gone from here too.
    QHash<QString, QPointer<QFileDialog>> m_fileDialogs;
};

// Message texts use CR as their line break; Qt's boxes want LF. Every box shows its text as
// plain text: a file name or a language-file text is never read as markup.
QString boxText(const QString& text);

// The one extension a file-dialog filter names ("CSV (*.csv)" gives "csv", "Data files (*.dat
// *.DAT)" gives "dat" as first written), or an empty text when it names none or several.
QString singleFilterSuffix(const QString& filter);

} // namespace kelotari
