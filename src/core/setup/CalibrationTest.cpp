#include "setup/CalibrationTest.h"

#include "files/FileEntry.h"
#include "setup/CalNumbers.h"
#include "setup/CertFile.h"

#include <cstdlib>

namespace kelotari {

namespace {

const QString kBoxTitle = QStringLiteral("Kelotari");
const QString kCertFilter = QStringLiteral("cal (*.cal)");

// "Com port error!", with the port's own reason (and how to put it right) below it.
QString comPortErrorText(const Failure& failure) {
    QString text = kComPortErrorText;
    if (!failure.message().isEmpty())
        text += QLatin1Char('\r') + failure.message();
    return withAdvice(text, adviceOf(failure));
}

} // namespace

CalibrationTest::CalibrationTest(MeterLink& link, CalView& view, Dialogs& dialogs)
    : m_link(link), m_view(view), m_dialogs(dialogs) {}

CalibrationTest::Exchange CalibrationTest::offsetExchange() {
    try {
        m_link.purge();
        m_link.send(QByteArrayLiteral("O"));
        for (int i = 1; i <= 8; ++i) {
            const ReadResult r = m_link.readResult(kCalTimeoutTicks);
            if (r.kind == ReadResult::Kind::Cancelled)
                return Exchange::Cancelled;
            const std::optional<qint32> v =
                r.kind == ReadResult::Kind::Line ? parseInt32(r.line) : std::nullopt;
            if (!v)
                return Exchange::Failed;
            m_record.OffsetRaw[static_cast<size_t>(i)] = *v;
        }
    } catch (const Failure& e) {
        portError(e);
        return Exchange::PortError;
    }
    return Exchange::Ok;
}

void CalibrationTest::portError(const Failure& failure) {
    m_dialogs.showMessage(kBoxTitle, comPortErrorText(failure), Dialogs::Icon::Error);
    // The device has gone or misbehaves: let it go now rather than when the dialog closes.
    closeQuietly(m_link);
}

void CalibrationTest::endEarly(const QString& line) {
    m_view.appendInfo(line);
    m_view.resetButtons();
    m_view.setButtonEnabled(CalView::Button::CertPrint, m_printWas);
    m_view.setButtonEnabled(CalView::Button::CertSave, m_saveWas);
}

// The wait was cancelled: the program is going away. Nothing more is said.
void CalibrationTest::unwind() {
    closeQuietly(m_link);
    m_view.resetButtons();
    m_view.setButtonEnabled(CalView::Button::CertPrint, m_printWas);
    m_view.setButtonEnabled(CalView::Button::CertSave, m_saveWas);
}

bool CalibrationTest::waitForNext(int step) {
    m_view.appendInfo(m_texts.stepText(step));
    return m_link.waitForNext();
}

bool CalibrationTest::request(const QByteArray& command, ReadResult* answer) {
    try {
        m_link.purge();
        m_link.send(command);
        *answer = m_link.readResult(kCalTimeoutTicks);
        return true;
    } catch (const Failure& e) {
        portError(e);
        return false;
    }
}

void CalibrationTest::run() {
    if (m_running)
        return;
    m_running = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{m_running};
    using B = CalView::Button;

    for (int k = 1; k <= 7; ++k)
        m_record.slot(k) = NotMeasured;

    try {
        m_link.setPort(m_view.selectedPort());
        m_link.open();
    } catch (const Failure& e) {
        m_dialogs.showMessage(kBoxTitle, comPortErrorText(e), Dialogs::Icon::Error);
        m_view.resetButtons();
        return;
    }

    m_view.clearInfo();
    for (B b : {B::Info, B::ProbeInfo, B::MakeCert, B::Ok, B::CertLoad})
        m_view.setButtonEnabled(b, false);
    m_view.setButtonEnabled(B::Next, true);
    // Saving or printing a record the test is rewriting would act on half a result.
    m_printWas = m_view.isButtonEnabled(B::CertPrint);
    m_saveWas = m_view.isButtonEnabled(B::CertSave);
    m_view.setButtonEnabled(B::CertPrint, false);
    m_view.setButtonEnabled(B::CertSave, false);

    // Steps 1 to 3: the meter's internal offsets, each within its limit.
    for (int step = 1; step <= 3; ++step) {
        if (!waitForNext(step))
            return unwind();
        for (int attempt = 1; attempt <= kOffsetAttempts; ++attempt) {
            switch (offsetExchange()) {
            case Exchange::Ok:
                break;
            case Exchange::Failed:
            case Exchange::PortError:
                return endEarly(m_texts.CertTimeoutText);
            case Exchange::Cancelled:
                return unwind();
            }
            // The meter's values are 32-bit; their difference is taken without wrapping, so
            // two far-apart values are never mistaken for a small offset.
            const qint64 value = step == 3 ? qint64(m_record.raw(4)) - m_record.raw(8)
                                           : qint64(m_record.raw(1)) - m_record.raw(5);
            if (std::llabs(value) < offsetLimit(step)) {
                m_record.slot(step) = static_cast<float>(value);
                m_view.appendInfo(m_texts.ResultLabel + QString::number(value) +
                                  QStringLiteral(" = OK."));
                break;
            }
            m_view.appendInfo(QString::number(attempt) + QStringLiteral(". ") +
                              QString::number(value));
            m_link.pause(kCalPauseMs);
        }
    }
    for (int k = 1; k <= 3; ++k)
        if (m_record.slot(k) == NotMeasured)
            return endEarly(m_texts.FailText);

    // Steps 4 to 7: readings on the four reference resistors.
    for (int step = 4; step <= 7; ++step) {
        if (!waitForNext(step))
            return unwind();
        ReadResult r;
        if (!request(QByteArrayLiteral("K"), &r))
            return endEarly(m_texts.CertTimeoutText);
        if (r.kind == ReadResult::Kind::Cancelled)
            return unwind();
        const std::optional<float> v =
            r.kind == ReadResult::Kind::Line ? m_numbers.parse(r.line) : std::nullopt;
        if (!v)
            return endEarly(m_texts.CertTimeoutText);
        m_record.slot(step) = *v;
        m_view.appendInfo(m_texts.ResultLabel + m_numbers.twoDecimals(*v));
    }

    // Completion: the serial number becomes the certificate number.
    m_view.appendInfo(m_texts.DoneText);
    m_link.pause(kCalPauseMs);
    ReadResult r;
    if (!request(QByteArrayLiteral("S"), &r))
        return endEarly(m_texts.CertTimeoutText);
    if (r.kind == ReadResult::Kind::Cancelled)
        return unwind();
    m_record.CertNumber = r.shownBytes(); // a time-out gives its marker
    closeQuietly(m_link);
    m_view.setButtonEnabled(B::CertPrint, true);
    m_view.setButtonEnabled(B::CertSave, true);
}

void CalibrationTest::saveAs(const CertFileContext& context) {
    if (m_running)
        return;
    const QString name = m_dialogs.chooseSaveFileName(
        context.saveTitle, proposedCertFileName(context.dataPath, m_record.CertNumber), kCertFilter,
        QStringLiteral("cal"));
    if (name.isEmpty())
        return;
    if (!confirmOverwrite(m_dialogs, name, context.fileExistsMsg))
        return;
    const WriteOutcome written = saveCertificate(name, m_record, m_view.handlerName(), m_regional);
    if (!written)
        m_dialogs.showMessage(kBoxTitle, context.saveErrorMsg, Dialogs::Icon::Warning);
    m_view.resetButtons();
    // A certificate that did not reach the disk can be saved again.
    if (written)
        m_view.setButtonEnabled(CalView::Button::CertSave, false);
    m_view.clearInfo();
}

void CalibrationTest::load(const CertFileContext& context) {
    if (m_running)
        return;
    m_view.clearInfo();
    m_view.setButtonEnabled(CalView::Button::MakeCert, false);
    const QString name = m_dialogs.chooseOpenFileName(
        context.loadTitle, context.dataPath + QStringLiteral("*.cal"), kCertFilter);
    if (name.isEmpty())
        return;
    QString handler = m_view.handlerName();
    const CertLoadResult loaded = loadCertificate(name, m_record, handler, m_regional);
    if (loaded.nameRead)
        m_view.setHandlerName(handler);
    if (!loaded) {
        m_dialogs.showMessage(kBoxTitle, context.loadErrorMsg, Dialogs::Icon::Warning);
        return;
    }
    m_view.setButtonEnabled(CalView::Button::CertPrint, true);
    m_view.appendInfo(m_texts.DoneText);
}

void CalibrationTest::print(const std::function<CertPrintOutcome(CertLanguage)>& print) {
    if (m_running)
        return;
    finishPrint(print(certLanguageForIndex(m_view.certLanguageIndex())));
}

bool CalibrationTest::startPrint(const std::function<bool(CertLanguage)>& start) {
    if (m_running)
        return false;
    return start(certLanguageForIndex(m_view.certLanguageIndex()));
}

void CalibrationTest::finishPrint(CertPrintOutcome outcome) {
    if (outcome == CertPrintOutcome::Cancelled)
        return;
    if (outcome == CertPrintOutcome::Failed)
        m_dialogs.showMessage(kBoxTitle, kCertPrintFailureText, Dialogs::Icon::Warning);
    if (m_running)
        return; // a test started while the printer was asked: the buttons are the test's
    m_view.appendInfo(m_texts.PrintingText);
    m_view.resetButtons();
}

} // namespace kelotari
