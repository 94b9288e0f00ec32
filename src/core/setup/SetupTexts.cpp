#include "setup/SetupTexts.h"

#include "ini/IniProfile.h"

#include <QLocale>

#include <cmath>

namespace kelotari {

namespace {

// The program's own lines of the information text. A distributor who ships the program under
// its own name changes them here and nowhere else.
struct MakerLines {
    const char* copyright; // line 3
    const char* web;       // line 4
    const char* mail;      // line 5
    const char* rights;    // line 7
};
constexpr MakerLines kMaker = {
    "Copyright (C) 2026 Kelotari authors",
    "https://kelotari.example/",
    "kelotari@kelotari.example",
    "All rights reserved.",
};

} // namespace

SetupTexts readSetupTexts(const IniProfile& lang) {
    SetupTexts t;
    auto read = [&lang](const char* key, QString& field) {
        field = lang.readString(QStringLiteral("Setup"), QLatin1String(key), field);
    };
    read("DL1_file", t.DL1_file);
    read("DL1_cp", t.DL1_cp);
    read("DL1_pr", t.DL1_pr);
    read("DL1_inf", t.DL1_inf);
    read("Probe", t.Probe);
    read("Next", t.Next);
    read("Cert", t.Cert);
    read("makecert", t.makecert);
    read("handler", t.handler);
    read("Lang", t.Lang);
    read("Lang_su", t.Lang_su);
    read("Lang_en", t.Lang_en);
    read("Save", t.Save);
    read("Load", t.Load);
    read("Print", t.Print);
    read("Ph1", t.StepText1);
    read("Ph2", t.StepText2);
    read("Ph3", t.StepText3);
    read("Ph4", t.StepText4);
    read("Ph5", t.StepText5);
    read("Ph6", t.StepText6);
    read("Ph7", t.StepText7);
    read("Done", t.DoneText);
    read("FA", t.FailText);
    read("Res", t.ResultLabel);
    read("Now", t.PrintingText);
    read("EMsg", t.CertTimeoutText);
    return t;
}

QStringList programInformation() {
    return {
        QStringLiteral("PC software version : 1.0.15"),
        QString(),
        QString::fromUtf8(kMaker.copyright),
        QString::fromUtf8(kMaker.web),
        QString::fromUtf8(kMaker.mail),
        QStringLiteral("Made in Finland"),
        QString::fromUtf8(kMaker.rights),
    };
}

} // namespace kelotari
