#pragma once
// A main window for tests of its file commands: the file list's selection and every call.
#include "app/MainView.h"

#include <QStringList>

namespace kelotari {

class RecordingMainView : public MainView {
public:
    QString selected;   // the file selected in the file list
    QStringList events; // "refresh", "clear selection"

    void refreshFileList() override { events << QStringLiteral("refresh"); }
    QString selectedFile() const override { return selected; }
    void clearGridSelection() override { events << QStringLiteral("clear selection"); }
};

} // namespace kelotari
