#pragma once
// The dialogs interface on real Qt message boxes and file dialogs.
#include "app/Dialogs.h"

class QWidget;

namespace kelotari {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    bool askYesNo(const QString& title, const QString& text) override;
    void showMessage(const QString& title, const QString& text, Icon icon) override;
    QString chooseSaveFileName(const QString& title, const QString& proposed, const QString& filter,
                               const QString& defaultSuffix) override;
    QString chooseOpenFileName(const QString& title, const QString& folder,
                               const QString& filter) override;
    QString chooseFolder(const QString& title, const QString& folder) override;
    void lastResortError(const QString& text) override;

private:
    QWidget* m_parent;
};

// Message texts use CR as their line break; Qt's boxes want LF.
QString boxText(const QString& text);

} // namespace kelotari
