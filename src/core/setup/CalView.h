#pragma once
// What the calibration test and the certificate actions need of the setup dialog: its buttons,
// its information box, the port choice, the handler's name and the certificate language. The
// dialog implements it; tests record it.
#include <QString>

namespace kelotari {

class CalView {
public:
    // The dialog's buttons the test and the certificate actions touch.
    enum class Button {
        MakeCert,  // makecert_btn
        Next,      // next_btn
        Info,      // info_btn
        ProbeInfo, // probe_info
        Ok,        // ok_btn
        CertLoad,  // certLoad
        CertPrint, // cert_print
        CertSave,  // cert_save
    };

    virtual ~CalView() = default;

    virtual void setButtonEnabled(Button button, bool enabled) = 0;
    virtual bool isButtonEnabled(Button button) const = 0;
    // The dialog's ResetButtons.
    virtual void resetButtons() = 0;

    // Gives info_box the dialog's font face and empties it.
    virtual void clearInfo() = 0;
    // Appends one line to info_box.
    virtual void appendInfo(const QString& line) = 0;

    // The entry selected in the COM port selector (empty when none is).
    virtual QString selectedPort() const = 0;
    // The text of certedit.
    virtual QString handlerName() const = 0;
    virtual void setHandlerName(const QString& name) = 0;
    // Selected index of certlang_pnl: 0 Finnish, 1 English, -1 none.
    virtual int certLanguageIndex() const = 0;
};

} // namespace kelotari
