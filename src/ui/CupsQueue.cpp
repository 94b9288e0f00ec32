#include "CupsQueue.h"

#include "print/PacketReports.h"

#include <QPdfWriter>

namespace kelotari {

std::unique_ptr<QPdfWriter> pdfWriter(const QPageLayout& layout, int resolution, QIODevice& out) {
    auto writer = std::make_unique<QPdfWriter>(&out);
    writer->setResolution(resolution);
    writer->setPageLayout(layout);
    writer->setPageOrientation(QPageLayout::Portrait);
    writer->setTitle(kDocumentTitle);
    return writer;
}

} // namespace kelotari

#ifdef KELOTARI_WITH_CUPS

#include <QDeadlineTimer>
#include <QLocale>
#include <QPageSize>

#include <algorithm>
#include <cmath>
#include <cups/cups.h>
#include <sys/socket.h>

namespace kelotari {

namespace {

// The longest a connection may take to open, within the call's own time.
constexpr int kConnectMs = 2000;
// How often a wait for the scheduler looks whether its time is up or it was cancelled.
constexpr double kLookSeconds = 0.1;
// A job left without its document is cancelled within this time, on a fresh connection when
// the first one broke.
constexpr int kCancelJobMs = 2000;
// Qt's CUPS engine prints at this resolution when the queue does not say.
constexpr int kDefaultQueueResolution = 1200;

// No password prompt: libcups would ask for one on the terminal the program was started from.
const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

// A connection to the scheduler that gives up when the call's time is up or it is cancelled:
// every wait inside libcups asks keepWaiting every tenth of a second.
class Connection {
public:
    explicit Connection(const SchedulerCall& call)
        : m_cancelled(call.cancelled), m_deadline(std::max(0, call.timeoutMs)) {
        // The callback is kept per thread by libcups: set on the thread that makes the calls.
        cupsSetPasswordCB2(noPassword, nullptr);
        const qint64 connectMs = std::min<qint64>(m_deadline.remainingTime(), kConnectMs);
        if (connectMs <= 0 || gaveUp())
            return;
        m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              int(connectMs), nullptr);
        if (m_http)
            httpSetTimeout(m_http, kLookSeconds, &Connection::keepWaiting, this);
    }
    ~Connection() {
        if (m_http)
            httpClose(m_http);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    http_t* http() const { return m_http; }
    // Open, in time and not cancelled.
    bool usable() const { return m_http && !gaveUp(); }
    bool gaveUp() const { return m_deadline.hasExpired() || (m_cancelled && m_cancelled->load()); }

private:
    static int keepWaiting(http_t*, void* self) {
        return static_cast<const Connection*>(self)->gaveUp() ? 0 : 1;
    }

    const std::atomic_bool* m_cancelled;
    QDeadlineTimer m_deadline;
    http_t* m_http = nullptr;
};

// The destinations, freed with the object.
class Dests {
public:
    explicit Dests(http_t* http) : m_count(cupsGetDests2(http, &m_dests)) {}
    ~Dests() { cupsFreeDests(m_count, m_dests); }
    Dests(const Dests&) = delete;
    Dests& operator=(const Dests&) = delete;
    int count() const { return m_count; }
    cups_dest_t* at(int i) const { return &m_dests[i]; }

private:
    cups_dest_t* m_dests = nullptr;
    int m_count = 0;
};

QString destName(const cups_dest_t& dest) {
    QString name = QString::fromUtf8(dest.name);
    if (dest.instance)
        name += QLatin1Char('/') + QString::fromUtf8(dest.instance);
    return name;
}

// The page for a size in hundredths of a millimetre, a standard size by its id when it is one.
QPageLayout layoutFor(const cups_size_t& size) {
    const QSizeF mm(size.width / 100.0, size.length / 100.0);
    const QPageSize::PageSizeId id =
        QPageSize::id(mm, QPageSize::Millimeter, QPageSize::FuzzyMatch);
    const QPageSize page = id != QPageSize::Custom ? QPageSize(id)
                                                   : QPageSize(mm, QPageSize::Millimeter,
                                                               QString::fromUtf8(size.media));
    return QPageLayout(
        page, QPageLayout::Portrait,
        QMarginsF(size.left / 100.0, size.top / 100.0, size.right / 100.0, size.bottom / 100.0),
        QPageLayout::Millimeter);
}

// A queue that names no paper: the paper of the user's region with a laser printer's border.
QPageLayout regionalLayout() {
    const bool letter = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return QPageLayout(QPageSize(letter ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter);
}

int resolutionOf(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
    ipp_attribute_t* attr = cupsFindDestDefault(http, dest, info, "printer-resolution");
    if (!attr)
        return 0;
    int yres = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    const int xres = ippGetResolution(attr, 0, &yres, &units);
    if (xres <= 0 || xres != yres)
        return 0;
    return units == IPP_RES_PER_CM ? int(std::lround(xres * 2.54)) : xres;
}

// The queue's state and its reasons, asked right after a job went to it.
QueueCondition conditionOf(http_t* http, const QByteArray& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.constData());
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char* const wanted[] = {"printer-state", "printer-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                  wanted);
    ipp_t* response = cupsDoRequest(http, request, "/");
    if (!response)
        return QueueCondition::Unknown;
    int state = 0;
    QStringList reasons;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM))
        state = ippGetInteger(a, 0);
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD))
        for (int i = 0; i < ippGetCount(a); ++i)
            reasons << QString::fromUtf8(ippGetString(a, i, nullptr));
    ippDelete(response);
    return queueConditionOf(state, reasons);
}

} // namespace

std::optional<QStringList> schedulerQueues(const SchedulerCall& call) {
    Connection connection(call);
    if (!connection.usable())
        return std::nullopt;
    const Dests dests(connection.http());
    if (connection.gaveUp())
        return std::nullopt;
    if (dests.count() == 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE &&
        cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
        return std::nullopt; // the scheduler did not list them
    QStringList names;
    for (int i = 0; i < dests.count(); ++i)
        names << destName(*dests.at(i));
    return names;
}

std::optional<QueuePage> queuePageFor(const QString& printerName, const SchedulerCall& call) {
    Connection connection(call);
    if (!connection.usable())
        return std::nullopt;
    http_t* http = connection.http();
    const Dests dests(http);
    if (connection.gaveUp())
        return std::nullopt;
    cups_dest_t* dest = nullptr;
    for (int i = 0; i < dests.count() && !dest; ++i)
        if (destName(*dests.at(i)) == printerName)
            dest = dests.at(i);
    for (int i = 0; i < dests.count() && !dest; ++i)
        if (dests.at(i)->is_default)
            dest = dests.at(i);
    if (!dest)
        return std::nullopt; // no such queue and no default printer
    QueuePage page;
    page.queue = dest->name;
    page.instance = dest->instance ? QByteArray(dest->instance) : QByteArray();
    for (int i = 0; i < dest->num_options; ++i)
        page.options.append(
            std::make_pair(QByteArray(dest->options[i].name), QByteArray(dest->options[i].value)));
    cups_dinfo_t* info = cupsCopyDestInfo(http, dest);
    if (!info || connection.gaveUp()) {
        cupsFreeDestInfo(info);
        return std::nullopt; // gone meanwhile, or no answer
    }
    // The paper the driver prints on by default (for a PPD queue its DefaultPageSize), with its
    // printable area; libcups' own default media is the dest's "media" option, else Letter.
    cups_size_t size{};
    bool sized = false;
    if (ipp_attribute_t* media = cupsFindDestDefault(http, dest, info, "media"))
        if (const char* name = ippGetString(media, 0, nullptr))
            sized = cupsGetDestMediaByName(http, dest, info, name, CUPS_MEDIA_FLAGS_DEFAULT, &size);
    if (!sized)
        sized = cupsGetDestMediaDefault(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &size);
    sized = sized && size.width > 0 && size.length > 0;
    page.layout = sized ? layoutFor(size) : regionalLayout();
    const int dpi = resolutionOf(http, dest, info);
    page.resolution = dpi > 0 ? dpi : kDefaultQueueResolution;
    cupsFreeDestInfo(info);
    if (connection.gaveUp())
        return std::nullopt;
    return page;
}

QueueSubmission submitToQueue(const QueuePage& page, const QByteArray& pdf, const QString& title,
                              const SchedulerCall& call) {
    QueueSubmission result;
    Connection connection(call);
    if (!connection.usable())
        return result;
    http_t* http = connection.http();
    const QByteArray jobTitle = title.toUtf8();
    int numOptions = 0;
    cups_option_t* options = nullptr;
    for (const auto& [name, value] : page.options)
        numOptions = cupsAddOption(name.constData(), value.constData(), numOptions, &options);
    const int job =
        cupsCreateJob(http, page.queue.constData(), jobTitle.constData(), numOptions, options);
    cupsFreeOptions(numOptions, options);
    if (job <= 0)
        return result; // not accepting jobs, no such queue, no answer in time
    bool sent = cupsStartDocument(http, page.queue.constData(), job, jobTitle.constData(),
                                  CUPS_FORMAT_PDF, 1) == HTTP_STATUS_CONTINUE;
    sent = sent && cupsWriteRequestData(http, pdf.constData(), static_cast<size_t>(pdf.size())) ==
                       HTTP_STATUS_CONTINUE;
    // The finish is read even after a failed write: it ends the request on the connection.
    const ipp_status_t finished = cupsFinishDocument(http, page.queue.constData());
    if (sent && finished <= IPP_STATUS_OK_EVENTS_COMPLETE) {
        result.accepted = true;
        result.job = job;
        result.condition = conditionOf(http, page.queue);
        return result;
    }
    // A job without its document would wait in the queue for ever.
    if (connection.usable()) {
        cupsCancelJob2(http, page.queue.constData(), job, 0);
    } else {
        Connection fresh(SchedulerCall{kCancelJobMs, nullptr});
        if (fresh.usable())
            cupsCancelJob2(fresh.http(), page.queue.constData(), job, 0);
    }
    return result;
}

} // namespace kelotari

#endif
