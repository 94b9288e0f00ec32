#pragma once
// Every question, message box and file dialog of the program goes through this interface:
// the program uses the Qt implementation, tests a scripted one that answers and records.
#include <QString>

namespace kelotari {

class Dialogs {
public:
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~Dialogs() = default;
    // Confirmation box with Yes (default, Enter) and No (Escape); true only for Yes.
    virtual bool askYesNo(const QString& title, const QString& text) = 0;
    // Plain message box with an OK button.
    virtual void showMessage(const QString& title, const QString& text, Icon icon) = 0;
    // Save dialog: returns the chosen file name, or an empty text when cancelled.
    // defaultSuffix is added to a name typed without an extension. filter may hold several
    // filters separated by ";;" (the first is the one selected at first); when selectedFilter
    // is given it receives the filter the user had selected when accepting.
    virtual QString chooseSaveFileName(const QString& title, const QString& proposed,
                                       const QString& filter, const QString& defaultSuffix,
                                       QString* selectedFilter = nullptr) = 0;
    // Open dialog: the chosen file name, or empty when cancelled.
    virtual QString chooseOpenFileName(const QString& title, const QString& folder,
                                       const QString& filter) = 0;
    // Folder chooser starting in folder: the chosen folder, or empty when cancelled.
    virtual QString chooseFolder(const QString& title, const QString& folder) = 0;
    // The last-resort error box: error icon, OK, titled "Kelotari". Text as passed (see
    // lastResortText for the full-stop rule, applied by the caller).
    virtual void lastResortError(const QString& text) = 0;
};

} // namespace kelotari
