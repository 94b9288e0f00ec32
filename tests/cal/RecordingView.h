#pragma once
// A setup dialog for tests: button states, the information box and every call in order.
#include "setup/CalView.h"

#include <QMap>
#include <QStringList>

namespace kelotari {

class RecordingView : public CalView {
public:
    using B = Button;
    // The dialog's idle state after its opening step.
    QMap<B, bool> enabled{{B::MakeCert, true},   {B::Next, false},    {B::Info, true},
                          {B::ProbeInfo, true},  {B::Ok, true},       {B::CertLoad, true},
                          {B::CertPrint, false}, {B::CertSave, false}};
    QStringList info;   // the lines of info_box
    QStringList events; // "line TEXT", "clear", "reset", "on NAME", "off NAME"
    QString port = QStringLiteral("COM7");
    QString handler = QStringLiteral("Matti Meik\u00E4l\u00E4inen");
    int languageIndex = -1;
    // Button states at the moment each line was appended.
    QList<QMap<B, bool>> statesAtLines;

    static QString name(B b) {
        switch (b) {
        case B::MakeCert:
            return QStringLiteral("makecert_btn");
        case B::Next:
            return QStringLiteral("next_btn");
        case B::Info:
            return QStringLiteral("info_btn");
        case B::ProbeInfo:
            return QStringLiteral("probe_info");
        case B::Ok:
            return QStringLiteral("ok_btn");
        case B::CertLoad:
            return QStringLiteral("certLoad");
        case B::CertPrint:
            return QStringLiteral("cert_print");
        case B::CertSave:
            return QStringLiteral("cert_save");
        }
        return {};
    }

    void setButtonEnabled(B b, bool on) override {
        enabled[b] = on;
        events << (on ? QStringLiteral("on ") : QStringLiteral("off ")) + name(b);
    }
    bool isButtonEnabled(B b) const override { return enabled.value(b); }
    void resetButtons() override {
        enabled[B::MakeCert] = true;
        enabled[B::Next] = false;
        enabled[B::Info] = enabled[B::ProbeInfo] = enabled[B::Ok] = true;
        events << QStringLiteral("reset");
    }
    void clearInfo() override {
        info.clear();
        events << QStringLiteral("clear");
    }
    void appendInfo(const QString& line) override {
        info << line;
        statesAtLines << enabled;
        events << QStringLiteral("line ") + line;
    }
    QString selectedPort() const override { return port; }
    QString handlerName() const override { return handler; }
    void setHandlerName(const QString& n) override {
        handler = n;
        events << QStringLiteral("name");
    }
    int certLanguageIndex() const override { return languageIndex; }

    // The names of the enabled buttons, sorted, for comparing whole states.
    QStringList enabledNames() const {
        QStringList out;
        for (auto it = enabled.begin(); it != enabled.end(); ++it)
            if (it.value())
                out << name(it.key());
        out.sort();
        return out;
    }
};

} // namespace kelotari
