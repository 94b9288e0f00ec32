#pragma once
// The dialogs interface on real Qt message boxes and file dialogs.
#include "app/Dialogs.h"
#include "lang/MainTexts.h"

class QWidget;

namespace kelotari {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
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

private:
    QWidget* m_parent;
    ProgramTexts m_texts;
};

// Message texts use CR as their line break; Qt's boxes want LF. Every box shows its text as
// plain text: a file name or a language-file text is never read as markup.
QString boxText(const QString& text);

} // namespace kelotari
