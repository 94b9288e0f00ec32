#pragma once
// What the main window's file commands need of the window besides its state: the file list
// and the grid's selection. The window implements it; tests record it.
#include <QString>

namespace kelotari {

class MainView {
public:
    virtual ~MainView() = default;

    // The file list reads the names in the folder it shows again.
    virtual void refreshFileList() = 0;
    // The file selected in the file list, with its folder; empty when none is.
    virtual QString selectedFile() const = 0;
    // No cell of the grid is selected any more.
    virtual void clearGridSelection() = 0;
};

} // namespace kelotari
