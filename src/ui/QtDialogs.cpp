#include "QtDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace kelotari {

QString boxText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

bool QtDialogs::askYesNo(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, boxText(text), QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::showMessage(const QString& title, const QString& text, Icon icon) {
    QMessageBox::Icon i = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None:
        i = QMessageBox::NoIcon;
        break;
    case Icon::Information:
        i = QMessageBox::Information;
        break;
    case Icon::Warning:
        i = QMessageBox::Warning;
        break;
    case Icon::Error:
        i = QMessageBox::Critical;
        break;
    case Icon::Question:
        i = QMessageBox::Question;
        break;
    }
    QMessageBox box(i, title, boxText(text), QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::chooseSaveFileName(const QString& title, const QString& proposed,
                                      const QString& filter, const QString& defaultSuffix,
                                      QString* selectedFilter) {
    QFileDialog dlg(m_parent, title, proposed, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    // The program asks its own overwrite question.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setDefaultSuffix(defaultSuffix);
    // With several filters, a name typed without an extension gets the selected filter's one.
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg](const QString& f) {
        const qsizetype star = f.indexOf(QStringLiteral("(*."));
        if (star >= 0) {
            const QString suffix =
                f.mid(star + 3).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0);
            if (!suffix.isEmpty() && !suffix.contains(QLatin1Char('*')))
                dlg.setDefaultSuffix(suffix);
        }
    });
    dlg.selectFile(proposed);
    for (;;) {
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        const QString name = dlg.selectedFiles().constFirst();
        const QFileInfo fi(name);
        if (!fi.absoluteDir().exists()) {
            showMessage(title, m_texts.SaveFolderMissing.arg(fi.absolutePath()), Icon::Warning);
            continue;
        }
        if (fi.exists() && !fi.isWritable()) {
            showMessage(title, m_texts.SaveFolderReadOnly.arg(name), Icon::Warning);
            continue;
        }
        if (selectedFilter)
            *selectedFilter = dlg.selectedNameFilter();
        return name;
    }
}

QString QtDialogs::chooseOpenFileName(const QString& title, const QString& folder,
                                      const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, title, folder, filter);
}

QString QtDialogs::chooseFolder(const QString& title, const QString& folder) {
    return QFileDialog::getExistingDirectory(m_parent, title, folder);
}

void QtDialogs::lastResortError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kelotari"), boxText(text),
                    QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace kelotari
